#include "tools/kv7946-sim/scenario/transcript.h"

namespace scenario {

void Transcript::add(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
    if (out_) *out_ << line << std::endl;
}

std::vector<std::string> Transcript::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> Transcript::events() const {
    std::vector<std::string> out;
    for (const std::string& line : lines())
        if (line.rfind("> ", 0) != 0) out.push_back(line);
    return out;
}

std::string Transcript::quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

} // namespace scenario

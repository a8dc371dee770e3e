#include "tools/kv7946-emu/options.h"

#include <cstdio>
#include <sys/stat.h>

std::optional<std::string> Options::value(const std::string& name) const {
    std::optional<std::string> last;
    for (const auto& [n, v] : given)
        if (n == name) last = v;
    return last;
}

int fail(const char* command, const std::string& message) {
    std::fprintf(stderr, "kv7946-emu %s: %s\n", command, message.c_str());
    return 1;
}

std::optional<Options> parseOptions(const char* command, int argc, char** argv,
                                    const OptionSpec& spec) {
    Options o;
    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            o.positional.push_back(a);
        } else if (spec.flags.count(a)) {
            o.flags.insert(a);
        } else if (spec.withValue.count(a)) {
            if (i + 1 >= argc) {
                fail(command, "option " + a + " needs a value");
                return std::nullopt;
            }
            o.given.emplace_back(a, argv[++i]);
        } else {
            fail(command, "unknown option " + a);
            return std::nullopt;
        }
    }
    return o;
}

std::optional<uint32_t> parseNumber(const char* command, const std::string& option,
                                    const std::string& text, uint32_t min, uint32_t max) {
    uint64_t v = 0;
    bool ok = !text.empty() && text.size() <= 10;
    for (char c : text) {
        if (c < '0' || c > '9') ok = false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (!ok || v < min || v > max) {
        fail(command, option + " must be a number from " + std::to_string(min) + " to " +
                          std::to_string(max) + ", not \"" + text + "\"");
        return std::nullopt;
    }
    return static_cast<uint32_t>(v);
}

std::optional<bool> parseOnOff(const char* command, const std::string& option,
                               const std::string& text) {
    if (text == "on" || text == "yes" || text == "1") return true;
    if (text == "off" || text == "no" || text == "0") return false;
    fail(command, option + " must be on or off, not \"" + text + "\"");
    return std::nullopt;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

#include "tools/kv7946-sim/scenario/script.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <sstream>

namespace scenario {

namespace {

struct Token {
    std::string text;
    bool quoted = false; // the whole token was one quoted string
};

// Splits a line into tokens; a quoted part may stand alone or follow
// "key=". Returns false on an unterminated string.
bool tokenize(const std::string& line, std::vector<Token>& tokens, std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#') break;
        Token token;
        token.quoted = c == '"';
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] != '"') {
                token.text += line[i++];
                continue;
            }
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        token.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                token.text += line[i++];
            }
            if (!closed) {
                error = "unterminated string";
                return false;
            }
            if (token.quoted) break; // a string ends its token
        }
        if (token.quoted && i < line.size() && line[i] != ' ' && line[i] != '\t' &&
            line[i] != '\r') {
            error = "text after a closing quote";
            return false;
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

bool parseInt(const std::string& s, long& out) {
    if (s.empty()) return false;
    int base = 10;
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        first += 2;
    }
    auto r = std::from_chars(first, last, out, base);
    return r.ec == std::errc() && r.ptr == last;
}

bool parseDuration(const std::string& s, std::chrono::nanoseconds& out) {
    std::string digits = s;
    std::chrono::nanoseconds unit{};
    auto ends = [&](const std::string& suffix) {
        return digits.size() > suffix.size() &&
               digits.compare(digits.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (ends("ms")) {
        unit = std::chrono::milliseconds(1);
        digits.resize(digits.size() - 2);
    } else if (ends("s")) {
        unit = std::chrono::seconds(1);
        digits.resize(digits.size() - 1);
    } else {
        return false;
    }
    long n = 0;
    if (!parseInt(digits, n) || n < 0) return false;
    out = unit * n;
    return true;
}

// FORM or FORM.COMPONENT, plain identifiers.
bool parseTarget(const Token& t, Target& out, bool componentRequired) {
    if (t.quoted || t.text.empty()) return false;
    auto dot = t.text.find('.');
    out.form = t.text.substr(0, dot);
    out.component = dot == std::string::npos ? "" : t.text.substr(dot + 1);
    auto ident = [](const std::string& s) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
        });
    };
    if (!ident(out.form)) return false;
    if (dot != std::string::npos && !ident(out.component)) return false;
    return !componentRequired || !out.component.empty();
}

const std::map<std::string, int>& requestNames() {
    static const std::map<std::string, int> names = {
        {"CMD_VERIFY_PASSWORD", 0x00},   {"CMD_SET_PASSWORD", 0x40},
        {"CMD_ERASE_BLOCK", 0xB9},       {"CMD_GET_PASSWORD_ERROR", 0xF6},
        {"CMD_READ_SPARE", 0xF7},        {"CMD_GET_PASSWORD_FLAG", 0xF8},
        {"CMD_GET_WRITE_PROTECT", 0xF9}, {"CMD_GET_GEOMETRY", 0xFA},
        {"CMD_WRITE_PAGE", 0xFB},        {"CMD_READ_PAGE", 0xFC},
        {"CMD_GET_STATUS", 0xFE},        {"CMD_WRITE_CONFIG_PAGE", 0xFF},
        {"GET_DEVICE_NAME", 0x107}, // the string descriptor 7 request
    };
    return names;
}

class LineParser {
  public:
    LineParser(int line, std::vector<Token> tokens) : line_(line), t_(std::move(tokens)) {}

    bool parse(Step& step, std::string& error) {
        step.line = line_;
        const std::string& verb = t_[0].text;
        static const std::map<std::string, Verb> verbs = {
            {"machine", Verb::Machine}, {"device", Verb::Device},
            {"unplug", Verb::Unplug},   {"plug", Verb::Plug},
            {"fault", Verb::Fault},     {"start", Verb::Start},
            {"wait", Verb::Wait},       {"type", Verb::Type},
            {"key", Verb::Key},         {"click", Verb::Click},
            {"select", Verb::Select},   {"check", Verb::Check},
            {"close", Verb::Close},     {"tray", Verb::Tray},
            {"menu", Verb::Menu},       {"answer", Verb::Answer},
            {"save-as", Verb::SaveAs},  {"save-cancel", Verb::SaveCancel},
            {"expect", Verb::Expect},   {"trace", Verb::Trace},
            {"export", Verb::Export},   {"registry", Verb::Registry},
        };
        auto it = t_[0].quoted ? verbs.end() : verbs.find(verb);
        if (it == verbs.end()) return fail(error, "unknown verb '" + verb + "'");
        step.verb = it->second;
        switch (step.verb) {
        case Verb::Machine:
            if (!count(2, error)) return false;
            step.word = t_[1].text;
            if (!oneOf(step.word, {"xp", "2000", "98se", "me"}))
                return fail(error, "machine must be xp, 2000, 98se or me");
            return true;
        case Verb::Device:
            return parseDevice(step, error);
        case Verb::Unplug:
        case Verb::Plug:
            return count(2, error) && deviceNumber(1, step, error);
        case Verb::Fault:
            return parseFault(step, error);
        case Verb::Start:
            if (!count(2, error)) return false;
            step.word = t_[1].text;
            return true;
        case Verb::Wait:
            if (!count(2, error)) return false;
            if (!parseDuration(t_[1].text, step.duration))
                return fail(error, "bad duration '" + t_[1].text + "' (use 2s or 150ms)");
            return true;
        case Verb::Type:
        case Verb::Select:
            return count(3, error) && target(1, step, true, error) && string(2, step, error);
        case Verb::Key:
            if (!count(3, error) || !target(1, step, true, error)) return false;
            step.word = t_[2].text;
            if (!oneOf(step.word, {"Enter", "Backspace", "Delete", "Tab"}))
                return fail(error, "key must be Enter, Backspace, Delete or Tab");
            return true;
        case Verb::Click:
            return count(2, error) && target(1, step, true, error);
        case Verb::Check:
            if (!count(3, error) || !target(1, step, true, error)) return false;
            step.word = t_[2].text;
            if (!oneOf(step.word, {"on", "off"})) return fail(error, "check takes on or off");
            return true;
        case Verb::Close:
            return count(2, error) && target(1, step, false, error) &&
                   (step.target.component.empty() || fail(error, "close takes a form"));
        case Verb::Tray:
            if (!count(2, error)) return false;
            step.word = t_[1].text;
            if (!oneOf(step.word, {"dblclick", "rightclick"}))
                return fail(error, "tray takes dblclick or rightclick");
            return true;
        case Verb::Menu:
            if (!count(2, error)) return false;
            step.word = t_[1].text;
            return true;
        case Verb::Answer:
            if (!count(2, error)) return false;
            step.word = t_[1].text;
            if (!oneOf(step.word, {"OK", "Cancel", "Yes", "No"}))
                return fail(error, "answer takes OK, Cancel, Yes or No");
            return true;
        case Verb::SaveAs:
            if (!count(2, error)) return false;
            step.path = t_[1].text;
            return true;
        case Verb::SaveCancel:
            return count(1, error);
        case Verb::Expect:
            return parseExpect(step, error);
        case Verb::Registry:
            return parseRegistry(step, error);
        case Verb::Trace:
            if (!count(3, error) || !deviceNumber(1, step, error)) return false;
            step.path = t_[2].text;
            return true;
        case Verb::Export:
            if (!count(4, error) || !deviceNumber(1, step, error)) return false;
            step.word = t_[2].text;
            if (!oneOf(step.word, {"standard", "security", "whole"}))
                return fail(error, "export takes standard, security or whole");
            step.path = t_[3].text;
            return true;
        }
        return fail(error, "unknown verb");
    }

  private:
    static bool oneOf(const std::string& s, std::initializer_list<const char*> options) {
        return std::any_of(options.begin(), options.end(), [&](const char* o) { return s == o; });
    }

    bool fail(std::string& error, const std::string& message) {
        error = message;
        return false;
    }

    bool count(size_t n, std::string& error) {
        if (t_.size() == n) return true;
        return fail(error, "'" + t_[0].text + "' takes " + std::to_string(n - 1) + " argument" +
                               (n == 2 ? "" : "s") + ", got " + std::to_string(t_.size() - 1));
    }

    bool target(size_t i, Step& step, bool componentRequired, std::string& error) {
        if (parseTarget(t_[i], step.target, componentRequired)) return true;
        return fail(error, std::string("expected ") +
                               (componentRequired ? "FORM.COMPONENT" : "FORM") + ", got '" +
                               t_[i].text + "'");
    }

    bool string(size_t i, Step& step, std::string& error) {
        if (!t_[i].quoted) return fail(error, "expected a quoted string, got '" + t_[i].text + "'");
        step.strings.push_back(t_[i].text);
        return true;
    }

    bool deviceNumber(size_t i, Step& step, std::string& error) {
        long n = 0;
        if (t_[i].quoted || !parseInt(t_[i].text, n) || n < 1 || n > 32)
            return fail(error, "bad device number '" + t_[i].text + "' (1 to 32)");
        step.device = static_cast<int>(n);
        return true;
    }

    bool parseDevice(Step& step, std::string& error) {
        if (t_.size() < 2) return fail(error, "device takes a number");
        if (!deviceNumber(1, step, error)) return false;
        for (size_t i = 2; i < t_.size(); ++i) {
            const std::string& s = t_[i].text;
            auto eq = s.find('=');
            std::string key = s.substr(0, eq);
            std::string value = eq == std::string::npos ? "" : s.substr(eq + 1);
            long n = 0;
            if (t_[i].quoted) {
                return fail(error, "unexpected string in device line");
            } else if (key == "write-protect" && eq == std::string::npos) {
                step.spec.writeProtect = true;
            } else if (eq == std::string::npos) {
                return fail(error, "unknown device option '" + s + "'");
            } else if (key == "zones" || key == "units") {
                if (!parseInt(value, n) || n < 1 || n > 64)
                    return fail(error, "bad " + key + " '" + value + "'");
                (key == "zones" ? step.spec.zones : step.spec.units) = static_cast<int>(n);
            } else if (key == "name") {
                step.spec.name = value;
            } else if (key == "password") {
                if (value.size() > 8) return fail(error, "a password has at most 8 characters");
                step.spec.password = value;
            } else if (key == "image") {
                if (value.empty()) return fail(error, "image needs a path");
                step.spec.image = value;
            } else {
                return fail(error, "unknown device option '" + key + "'");
            }
        }
        return true;
    }

    bool parseFault(Step& step, std::string& error) {
        // fault N REQUEST stall|no-answer|gone [times=K]
        if (t_.size() != 4 && t_.size() != 5)
            return fail(error, "fault takes N REQUEST stall|no-answer|gone [times=K]");
        if (!deviceNumber(1, step, error)) return false;
        auto request = requestByName(t_[2].text);
        if (!request) return fail(error, "unknown request '" + t_[2].text + "'");
        step.fault.request = *request;
        step.fault.kind = t_[3].text;
        if (!oneOf(step.fault.kind, {"stall", "no-answer", "gone"}))
            return fail(error, "fault kind must be stall, no-answer or gone");
        if (t_.size() == 5) {
            long n = 0;
            const std::string& s = t_[4].text;
            if (s.rfind("times=", 0) != 0 || !parseInt(s.substr(6), n) || n < 1)
                return fail(error, "bad '" + s + "' (times=K, K at least 1)");
            step.fault.times = static_cast<int>(n);
        }
        return true;
    }

    bool parseRegistry(Step& step, std::string& error) {
        // registry set "KEY" "VALUE" N | registry delete "KEY" ["VALUE"]
        const char* usage = "registry set \"KEY\" \"VALUE\" NUMBER or registry delete \"KEY\" "
                            "[\"VALUE\"]";
        if (t_.size() < 3) return fail(error, usage);
        step.word = t_[1].text;
        bool set = step.word == "set";
        if (!set && step.word != "delete") return fail(error, usage);
        for (size_t i = 2; i < t_.size() && i < 4; ++i)
            if (!t_[i].quoted) return fail(error, usage);
        step.path = t_[2].text;
        if (set) {
            long n = 0;
            if (t_.size() != 5 || t_[4].quoted || !parseInt(t_[4].text, n) || n < 0 ||
                n > 0xFFFFFFFFL)
                return fail(error, usage);
            step.strings.push_back(t_[3].text);
            step.number = static_cast<unsigned long>(n);
            return true;
        }
        if (t_.size() > 4) return fail(error, usage);
        if (t_.size() == 4) step.strings.push_back(t_[3].text);
        return true;
    }

    bool parseExpect(Step& step, std::string& error) {
        if (t_.size() < 2) return fail(error, "expect needs what to expect");
        static const std::map<std::string, ExpectKind> kinds = {
            {"message", ExpectKind::Message},
            {"no-message", ExpectKind::NoMessage},
            {"visible", ExpectKind::Visible},
            {"hidden", ExpectKind::Hidden},
            {"enabled", ExpectKind::Enabled},
            {"disabled", ExpectKind::Disabled},
            {"text", ExpectKind::Text},
            {"items", ExpectKind::Items},
            {"checked", ExpectKind::Checked},
            {"unchecked", ExpectKind::Unchecked},
            {"running", ExpectKind::Running},
            {"ended", ExpectKind::Ended},
            {"registry", ExpectKind::Registry},
            {"stay-on-top", ExpectKind::StayOnTop},
            {"normal-style", ExpectKind::NormalStyle},
        };
        auto it = t_[1].quoted ? kinds.end() : kinds.find(t_[1].text);
        if (it == kinds.end()) return fail(error, "unknown expectation '" + t_[1].text + "'");
        step.expect = it->second;
        switch (step.expect) {
        case ExpectKind::Message:
            if (!count(4, error)) return false;
            step.word = t_[2].text;
            return string(3, step, error);
        case ExpectKind::NoMessage:
            return count(2, error);
        case ExpectKind::Visible:
        case ExpectKind::Hidden:
            return count(3, error) && target(2, step, false, error);
        case ExpectKind::Enabled:
        case ExpectKind::Disabled:
        case ExpectKind::Checked:
        case ExpectKind::Unchecked:
            return count(3, error) && target(2, step, true, error);
        case ExpectKind::Text:
            return count(4, error) && target(2, step, true, error) && string(3, step, error);
        case ExpectKind::Items:
            if (t_.size() < 3) return count(3, error);
            if (!target(2, step, true, error)) return false;
            for (size_t i = 3; i < t_.size(); ++i)
                if (!string(i, step, error)) return false;
            return true;
        case ExpectKind::StayOnTop:
        case ExpectKind::NormalStyle:
            return count(3, error) && target(2, step, false, error) &&
                   (step.target.component.empty() || fail(error, "a style belongs to a form"));
        case ExpectKind::Running:
        case ExpectKind::Ended:
            if (!count(3, error)) return false;
            step.word = t_[2].text;
            return true;
        case ExpectKind::Registry: {
            if (!count(5, error)) return false;
            if (!t_[2].quoted || !t_[3].quoted)
                return fail(error, "registry takes \"KEY\" \"VALUE\" NUMBER|absent");
            step.path = t_[2].text;
            step.strings.push_back(t_[3].text);
            long n = 0;
            if (t_[4].text == "absent" && !t_[4].quoted) {
                step.number.reset();
            } else if (!t_[4].quoted && parseInt(t_[4].text, n) && n >= 0 && n <= 0xFFFFFFFFL) {
                step.number = static_cast<unsigned long>(n);
            } else {
                return fail(error, "bad registry value '" + t_[4].text + "' (number or absent)");
            }
            return true;
        }
        }
        return fail(error, "unknown expectation");
    }

    int line_;
    std::vector<Token> t_;
};

} // namespace

std::optional<int> requestByName(const std::string& name) {
    auto it = requestNames().find(name);
    if (it != requestNames().end()) return it->second;
    long n = 0;
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X') &&
        parseInt(name, n) && n >= 0 && n <= 0xFF)
        return static_cast<int>(n);
    return std::nullopt;
}

bool parseScript(const std::string& text, Script& script, ParseError& error) {
    script = Script{};
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool anyStep = false;
    while (std::getline(in, line)) {
        ++number;
        std::vector<Token> tokens;
        std::string message;
        if (!tokenize(line, tokens, message)) {
            error = {number, message};
            return false;
        }
        if (tokens.empty()) continue;
        Step step;
        if (!LineParser(number, std::move(tokens)).parse(step, message)) {
            error = {number, message};
            return false;
        }
        if (step.verb == Verb::Machine) {
            if (anyStep) {
                error = {number, "machine must come before every other step"};
                return false;
            }
            script.machine = step.word;
        } else {
            script.steps.push_back(std::move(step));
        }
        anyStep = true;
    }
    return true;
}

} // namespace scenario

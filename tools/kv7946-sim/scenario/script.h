// The scenario language: one step per line, '#' starts a comment, strings
// in double quotes (a doubled quote inside stands for one quote; backslashes
// are plain characters, so registry paths need no escaping).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace scenario {

enum class Verb {
    Machine,
    Device,
    Unplug,
    Plug,
    Fault,
    Start,
    Wait,
    Type,
    Key,
    Click,
    Select,
    Check,
    Close,
    Tray,
    Menu,
    Answer,
    SaveAs,
    SaveCancel,
    Expect,
    Trace,
    Export,
    Registry, // registry set "KEY" "VALUE" N | registry delete "KEY" ["VALUE"]
};

enum class ExpectKind {
    Message,
    NoMessage,
    Visible,
    Hidden,
    Enabled,
    Disabled,
    Text,
    Items,
    Checked,
    Unchecked,
    Running,
    Ended,
    Registry,
    StayOnTop,   // FORM has the stay-on-top style
    NormalStyle, // FORM has the normal style
};

// FORM or FORM.COMPONENT.
struct Target {
    std::string form;
    std::string component; // empty: the form itself
    std::string str() const { return component.empty() ? form : form + "." + component; }
};

struct DeviceSpec {
    int zones = 4;
    int units = 1;
    std::string name = "USB DISK";
    std::optional<std::string> password;
    bool writeProtect = false;
    std::optional<std::string> image;
};

struct FaultSpec {
    int request = 0;          // bRequest of the vendor command, or 7 for the name query
    std::string kind;         // stall | no-answer | gone
    std::optional<int> times; // none: every time from now on
};

struct Step {
    int line = 0;
    Verb verb = Verb::Wait;
    ExpectKind expect = ExpectKind::Message; // for Verb::Expect
    std::string word;                        // machine kind, key, tray action, on/off,
                                             // answer, disk, program, caption, menu item
    Target target;
    int device = 0;
    std::string path;                    // save-as, trace, export, registry key
    std::vector<std::string> strings;    // quoted arguments (text, items, value name)
    std::optional<unsigned long> number; // registry value; none: absent
    std::chrono::nanoseconds duration{0};
    DeviceSpec spec;
    FaultSpec fault;
};

struct ParseError {
    int line;
    std::string message;
};

struct Script {
    std::string machine = "xp";
    std::vector<Step> steps;
};

// Parses a whole scenario. On failure returns false and fills error.
bool parseScript(const std::string& text, Script& script, ParseError& error);

// Names of the vendor commands accepted by `fault` (CMD_GET_STATUS or 0xFE).
std::optional<int> requestByName(const std::string& name);

} // namespace scenario

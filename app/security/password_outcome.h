// The classified result of presenting a password to the controller.
#pragma once

namespace kv {

enum class PasswordOutcome {
    Accepted,       // the controller accepted the request
    Wrong,          // refused; counts as a wrong password
    Corrupted,      // refused; the password record is corrupted
    FormatRepaired, // refused for a format error; the record was rewritten blank
    RepairFailed,   // as FormatRepaired, but rewriting the record failed
    UnknownReason,  // refused with an unexpected reason byte
    NoReason,       // refused, and asking for the reason failed
};

const char* ToString(PasswordOutcome outcome);

} // namespace kv

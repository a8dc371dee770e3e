// Presenting a password (or a set/change/clear request) to the controller and
// explaining a refusal.
#pragma once

#include "app/security/password_outcome.h"
#include "platform/win32/types.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace kv {

// When to ask the controller why a request was refused.
struct PasswordGate {
    enum class Kind { StatusGate, AlwaysAsk, NoAsk };
    Kind kind = Kind::NoAsk;
    uint8_t status = 0; // the status byte read before (StatusGate only)
};

// Ask only when the status byte read before is 0x10 or 0x20.
constexpr PasswordGate StatusGate(uint8_t statusByte) {
    return {PasswordGate::Kind::StatusGate, statusByte};
}
// Always ask after a refusal.
constexpr PasswordGate AlwaysAsk{PasswordGate::Kind::AlwaysAsk, 0};
// Every refusal is Wrong.
constexpr PasswordGate NoAsk{PasswordGate::Kind::NoAsk, 0};

// Sends command (CMD_VERIFY_PASSWORD or CMD_SET_PASSWORD) with payload as its
// data on an open device and classifies the result. A reason 2 refusal
// rewrites the password record blank. Another command, or a payload that
// does not fit the block's data area, is not sent and gives Wrong.
PasswordOutcome PresentPassword(win32::HANDLE handle, uint8_t command,
                                std::span<const uint8_t> payload, PasswordGate gate);
PasswordOutcome PresentPassword(win32::HANDLE handle, uint8_t command, std::string_view payload,
                                PasswordGate gate);

// Classifies a refusal reason byte (CMD_GET_PASSWORD_ERROR reply); reason 2
// runs the repair on handle.
PasswordOutcome ClassifyRefusal(win32::HANDLE handle, uint8_t reason);

// Rewrites the password record blank: FormatRepaired or RepairFailed.
PasswordOutcome RepairPasswordRecord(win32::HANDLE handle);

} // namespace kv

// Presenting a password and classifying a refusal.
#include "app/security/present_password.h"

#include "app/channel/device_channel.h"

#include <cstring>

namespace kv {

namespace {

bool StatusTellsReason(uint8_t status) {
    return status == kStatusReasonAvailableA || status == kStatusReasonAvailableB;
}

} // namespace

PasswordOutcome RepairPasswordRecord(win32::HANDLE handle) {
    return DeviceChannel::ResetPasswordPage(handle) ? PasswordOutcome::FormatRepaired
                                                    : PasswordOutcome::RepairFailed;
}

PasswordOutcome ClassifyRefusal(win32::HANDLE handle, uint8_t reason) {
    switch (reason) {
    case kReasonWrongPassword:
        return PasswordOutcome::Wrong;
    case kReasonCorrupted:
        return PasswordOutcome::Corrupted;
    case kReasonFormatError:
        return RepairPasswordRecord(handle);
    default:
        return PasswordOutcome::UnknownReason;
    }
}

PasswordOutcome PresentPassword(win32::HANDLE handle, uint8_t command,
                                std::span<const uint8_t> payload, PasswordGate gate) {
    if (command != CMD_VERIFY_PASSWORD && command != CMD_SET_PASSWORD)
        return PasswordOutcome::Wrong;
    if (payload.size() > kCommandDataSize) return PasswordOutcome::Wrong;

    CommandBlock block;
    if (!payload.empty()) std::memcpy(block.data, payload.data(), payload.size());
    const auto length = static_cast<uint16_t>(payload.size());
    const bool accepted = command == CMD_VERIFY_PASSWORD
                              ? DeviceChannel::VerifyPassword(handle, block, length)
                              : DeviceChannel::SetPassword(handle, block, length);
    if (accepted) return PasswordOutcome::Accepted;

    switch (gate.kind) {
    case PasswordGate::Kind::NoAsk:
        return PasswordOutcome::Wrong;
    case PasswordGate::Kind::StatusGate:
        if (!StatusTellsReason(gate.status)) return PasswordOutcome::Wrong;
        break;
    case PasswordGate::Kind::AlwaysAsk:
        break;
    }

    CommandBlock query;
    if (!DeviceChannel::GetPasswordError(handle, query)) return PasswordOutcome::NoReason;
    return ClassifyRefusal(handle, query.data[0]);
}

PasswordOutcome PresentPassword(win32::HANDLE handle, uint8_t command, std::string_view payload,
                                PasswordGate gate) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(payload.data());
    return PresentPassword(handle, command, std::span<const uint8_t>(bytes, payload.size()), gate);
}

} // namespace kv

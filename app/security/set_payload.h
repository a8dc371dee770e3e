// The data of CMD_SET_PASSWORD: Lold, the old characters, Lnew, the new ones.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kv {

// Set a first password: old empty. Change: both. Clear: new empty.
// Passwords are the bytes of the system code page, without terminator.
// Empty when a password is longer than its length byte allows (255).
std::optional<std::vector<uint8_t>> BuildSetPayload(std::string_view oldPassword,
                                                    std::string_view newPassword);

} // namespace kv

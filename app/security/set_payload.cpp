#include "app/security/set_payload.h"

namespace kv {

std::optional<std::vector<uint8_t>> BuildSetPayload(std::string_view oldPassword,
                                                    std::string_view newPassword) {
    if (oldPassword.size() > 0xFF || newPassword.size() > 0xFF) return std::nullopt;
    std::vector<uint8_t> payload;
    payload.reserve(oldPassword.size() + newPassword.size() + 2);
    payload.push_back(static_cast<uint8_t>(oldPassword.size()));
    payload.insert(payload.end(), oldPassword.begin(), oldPassword.end());
    payload.push_back(static_cast<uint8_t>(newPassword.size()));
    payload.insert(payload.end(), newPassword.begin(), newPassword.end());
    return payload;
}

} // namespace kv

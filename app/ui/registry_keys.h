// Where the application keeps its one setting.
#pragma once

namespace kv::ui {

// Under HKEY_LOCAL_MACHINE; never created by the application.
inline constexpr const char* kSettingsKey = "Software\\KV7946\\V1.0";
// REG_DWORD: 1 auto pop-up on, 0 off.
inline constexpr const char* kPopValue = "Pop";

} // namespace kv::ui

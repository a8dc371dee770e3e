// The icon resources of KV7946AP.exe.
#pragma once

#include "platform/win32/types.h"

namespace kv::ui {

// The program's icon, shown in the notification area.
inline constexpr const char* kMainIconName = "MAINICON";

// Icons of owner-drawn items, numbered by the item's control id.
inline constexpr win32::WORD kItemIconDevice = 101;
inline constexpr win32::WORD kItemIconLocked = 102;
inline constexpr win32::WORD kItemIconUnlocked = 103;
inline constexpr win32::WORD kItemIconIds[] = {kItemIconDevice, kItemIconLocked, kItemIconUnlocked};

// The size at which owner-drawn items show their icon.
inline constexpr int kItemIconSize = 16;

} // namespace kv::ui

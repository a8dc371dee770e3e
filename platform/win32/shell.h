// The notification area of the taskbar.
#pragma once

#include "platform/win32/types.h"

namespace win32 {

// A handle kept in 32 bits, as in the platform's 32-bit structures. Our
// handle values always fit.
struct Handle32 {
    DWORD value = 0;
    Handle32() = default;
    Handle32(HandleTag* h) : value(static_cast<DWORD>(reinterpret_cast<uintptr_t>(h))) {}
    operator HandleTag*() const { return reinterpret_cast<HandleTag*>(uintptr_t{value}); }
};
static_assert(sizeof(Handle32) == 4);

struct NOTIFYICONDATAA {
    DWORD cbSize;
    Handle32 hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    Handle32 hIcon;
    CHAR szTip[128];
    DWORD dwState;
    DWORD dwStateMask;
    CHAR szInfo[256];
    union {
        UINT uTimeout;
        UINT uVersion;
    };
    CHAR szInfoTitle[64];
    DWORD dwInfoFlags;
};
static_assert(sizeof(NOTIFYICONDATAA) == 488);
using PNOTIFYICONDATAA = NOTIFYICONDATAA*;

// The size of the first form of the structure (tip of 64 characters).
constexpr DWORD NOTIFYICONDATAA_V1_SIZE = 88;

constexpr DWORD NIM_ADD = 0;
constexpr DWORD NIM_MODIFY = 1;
constexpr DWORD NIM_DELETE = 2;

constexpr UINT NIF_MESSAGE = 0x01;
constexpr UINT NIF_ICON = 0x02;
constexpr UINT NIF_TIP = 0x04;

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData);

} // namespace win32

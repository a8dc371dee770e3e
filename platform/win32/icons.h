// Icon resources of programs, and drawing icons into windows.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/user.h"

namespace win32 {

using HDC = HandleTag*;
using ULONG_PTR = uintptr_t;

// A numbered resource passed where a resource name is expected.
inline LPCSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id));
}
inline bool IS_INTRESOURCE(LPCSTR name) {
    return (reinterpret_cast<uintptr_t>(name) >> 16) == 0;
}

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;

constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;

constexpr UINT DI_MASK = 0x0001;
constexpr UINT DI_IMAGE = 0x0002;
constexpr UINT DI_NORMAL = 0x0003;
constexpr UINT DI_DEFAULTSIZE = 0x0008;

// Owner-drawn items (WM_DRAWITEM: wParam the control id, lParam this).
struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

constexpr UINT ODT_MENU = 1;
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODT_STATIC = 5;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODA_SELECT = 0x0002;
constexpr UINT ODA_FOCUS = 0x0004;
constexpr UINT ODS_SELECTED = 0x0001;

// An icon of the program behind hInst, of cx x cy pixels (0: the size of
// its first image; with LR_DEFAULTSIZE the standard 32x32). Null on
// failure: ERROR_RESOURCE_TYPE_NOT_FOUND when the program has no icons
// (or uType is not IMAGE_ICON), ERROR_RESOURCE_NAME_NOT_FOUND when it has
// none of that name or id. Without LR_SHARED the caller destroys it.
HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT uType, int cx, int cy, UINT fuLoad);
// LoadImageA at the standard size, shared.
HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName);
BOOL DestroyIcon(HICON hIcon);

// A drawing context for a window of the machine, until ReleaseDC.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);
// Draws an icon of the calling process at (xLeft, yTop); cx/cy 0 take the
// icon's own size (with DI_DEFAULTSIZE the standard size).
BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth,
                UINT istepIfAniCur, HBRUSH hbrFlickerFreeDraw, UINT diFlags);

} // namespace win32

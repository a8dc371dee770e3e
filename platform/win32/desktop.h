// The machine's desktop as tests and the frontend see it: top-level
// windows, notification icons, the cursor.
#pragma once

#include "platform/win32/types.h"

#include <string>
#include <vector>

namespace win32 {

struct WindowInfo {
    HWND hwnd = nullptr;
    std::string className;
    std::string title;
    bool visible = false;
    int showState = 0; // the last SW_* value
    DWORD processId = 0;
    DWORD threadId = 0;
};

struct TrayIcon {
    HWND owner = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;
    HICON icon = nullptr;
    std::string tip;
};

class Machine;

class Desktop {
  public:
    explicit Desktop(Machine& machine) : machine_(machine) {}

    std::vector<WindowInfo> windows() const;
    HWND foreground() const;
    std::vector<TrayIcon> trayIcons() const;
    // Posts the icon's callback message to its owner window, with the icon's
    // id in wParam and mouseMessage (WM_LBUTTONDBLCLK, WM_RBUTTONUP...) in
    // lParam. False when there is no such icon, it has no callback message
    // or its window is gone.
    bool clickTrayIcon(HWND owner, UINT id, UINT mouseMessage);

    // Posts to a window's queue from anywhere (a test, the frontend's thread).
    bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    void setCursorPos(POINT pos);
    // While set, GetCursorPos fails.
    void setCursorPosFails(bool fails);

  private:
    Machine& machine_;
};

} // namespace win32

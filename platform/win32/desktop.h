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

// What an icon handle stands for: the program resource it was loaded from
// ("MAINICON", or "#101" for a numbered one) and its size in pixels.
struct IconImage {
    std::string resource;
    int width = 0;
    int height = 0;
};

struct TrayIcon {
    HWND owner = nullptr;
    UINT id = 0;
    UINT flags = 0;
    UINT callbackMessage = 0;
    HICON icon = nullptr;
    IconImage image; // empty when icon is not an icon of the owner's process
    std::string tip;
};

// One DrawIconEx into a window.
struct DrawnIcon {
    HICON icon = nullptr;
    IconImage image;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
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

    // The icons drawn into a window, oldest first (empty for a gone window).
    std::vector<DrawnIcon> drawnIcons(HWND hwnd) const;

    // Posts to a window's queue from anywhere (a test, the frontend's thread).
    bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    void setCursorPos(POINT pos);
    // While set, GetCursorPos fails.
    void setCursorPosFails(bool fails);

  private:
    Machine& machine_;
};

} // namespace win32

#include "platform/win32/desktop.h"

#include "platform/win32/machine_impl.h"
#include "platform/win32/shell.h"

namespace win32 {

std::vector<WindowInfo> Desktop::windows() const {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    std::vector<WindowInfo> list;
    for (uintptr_t value : m.windowOrder) {
        const Window& w = m.windows.at(value);
        if (w.parent) continue;
        list.push_back({w.hwnd, w.className, w.title, w.visible, w.showState,
                        w.thread->process->id(), w.thread->id});
    }
    return list;
}

HWND Desktop::foreground() const {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    return reinterpret_cast<HWND>(m.foreground);
}

std::vector<TrayIcon> Desktop::trayIcons() const {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    return m.trayIcons;
}

bool Desktop::clickTrayIcon(HWND owner, UINT id, UINT mouseMessage) {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    for (const TrayIcon& icon : m.trayIcons) {
        if (icon.owner != owner || icon.id != id) continue;
        if (!(icon.flags & NIF_MESSAGE)) return false;
        return win32::postMessage(m, owner, icon.callbackMessage, id,
                                  static_cast<LPARAM>(mouseMessage));
    }
    return false;
}

std::vector<DrawnIcon> Desktop::drawnIcons(HWND hwnd) const {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    Window* w = findWindow(m, hwnd);
    return w ? w->drawn : std::vector<DrawnIcon>{};
}

bool Desktop::postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return win32::postMessage(machine_.impl(), hwnd, msg, wParam, lParam);
}

void Desktop::setCursorPos(POINT pos) {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    m.cursor = pos;
}

void Desktop::setCursorPosFails(bool fails) {
    auto& m = machine_.impl();
    std::lock_guard g(m.lock);
    m.cursorFails = fails;
}

} // namespace win32

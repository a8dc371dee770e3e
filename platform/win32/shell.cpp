#include "platform/win32/shell.h"

#include "platform/win32/machine_impl.h"

#include <cstring>

namespace win32 {

BOOL Shell_NotifyIconA(DWORD dwMessage, PNOTIFYICONDATAA lpData) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    if (!lpData ||
        (lpData->cbSize != sizeof(NOTIFYICONDATAA) && lpData->cbSize != NOTIFYICONDATAA_V1_SIZE)) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    size_t tipSize = lpData->cbSize == NOTIFYICONDATAA_V1_SIZE ? 64 : 128;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    HWND owner = lpData->hWnd;
    auto it = std::find_if(m.trayIcons.begin(), m.trayIcons.end(), [&](const TrayIcon& icon) {
        return icon.owner == owner && icon.id == lpData->uID;
    });
    auto apply = [&](TrayIcon& icon) {
        if (lpData->uFlags & NIF_MESSAGE) icon.callbackMessage = lpData->uCallbackMessage;
        if (lpData->uFlags & NIF_ICON) {
            icon.icon = lpData->hIcon;
            auto it = t->process->handles.find(handleValue(icon.icon));
            auto object = it == t->process->handles.end()
                              ? nullptr
                              : std::dynamic_pointer_cast<IconObject>(it->second);
            icon.image = object ? object->image : IconImage{};
        }
        if (lpData->uFlags & NIF_TIP)
            icon.tip.assign(lpData->szTip, strnlen(lpData->szTip, tipSize));
        icon.flags |= lpData->uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    };
    switch (dwMessage) {
    case NIM_ADD: {
        if (it != m.trayIcons.end()) return FALSE;
        TrayIcon icon;
        icon.owner = owner;
        icon.id = lpData->uID;
        apply(icon);
        m.trayIcons.push_back(icon);
        return TRUE;
    }
    case NIM_MODIFY:
        if (it == m.trayIcons.end()) return FALSE;
        apply(*it);
        return TRUE;
    case NIM_DELETE:
        if (it == m.trayIcons.end()) return FALSE;
        m.trayIcons.erase(it);
        return TRUE;
    default:
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
}

} // namespace win32

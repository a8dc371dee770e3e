// The main window's notification icon, its callback and the pop-up menu.
#include "app/ui/form_lookup.h"
#include "app/ui/icons.h"
#include "app/ui/main_form.h"
#include "app/ui/program.h"
#include "app/ui/utility_form.h"
#include "platform/win32/icons.h"
#include "platform/win32/shell.h"
#include "platform/win32/user.h"

#include <cstring>

namespace kv::ui {

void TMainForm::SetTrayIcon(int action) {
    win32::NOTIFYICONDATAA data{};
    data.cbSize = sizeof(data);
    data.hWnd = Handle();
    data.uID = kTrayIconId;
    data.uFlags = win32::NIF_MESSAGE | win32::NIF_ICON | win32::NIF_TIP;
    data.uCallbackMessage = kTrayCallbackMessage;
    switch (action) {
    case 0:
        win32::Shell_NotifyIconA(win32::NIM_ADD, &data);
        break;
    case 1:
        data.hIcon = ImgICON->Icon;
        std::strncpy(data.szTip, kTrayTip, sizeof(data.szTip) - 1);
        win32::Shell_NotifyIconA(win32::NIM_MODIFY, &data);
        break;
    case 2:
        win32::Shell_NotifyIconA(win32::NIM_DELETE, &data);
        break;
    default:
        break;
    }
}

void TMainForm::WndProc(vcl::TMessage& message) {
    if (message.Msg == kTrayCallbackMessage)
        TrayIconMessage(message);
    else if (message.Msg == vcl::WM_DRAWITEM)
        DrawItemMessage(message);
    vcl::TForm::WndProc(message);
}

void TMainForm::TrayIconMessage(vcl::TMessage& message) {
    switch (static_cast<win32::UINT>(message.LParam)) {
    case win32::WM_LBUTTONDBLCLK:
        if (!Visible && !UtilityMenuVisible()) Show();
        break;
    case win32::WM_RBUTTONUP: {
        win32::POINT at{};
        if (win32::GetCursorPos(&at)) {
            PopupMenu->PopupOwner = Handle();
            win32::SetForegroundWindow(Handle());
            PopupMenu->Popup(at.x, at.y);
        } else {
            Show();
        }
        break;
    }
    default:
        break;
    }
}

void TMainForm::DrawItemMessage(vcl::TMessage& message) {
    const auto* item = reinterpret_cast<const win32::DRAWITEMSTRUCT*>(message.LParam);
    if (!item) return;
    auto icon = static_cast<win32::HICON>(win32::LoadImageA(
        ProgramInstance(), win32::MAKEINTRESOURCEA(static_cast<win32::WORD>(item->CtlID)),
        win32::IMAGE_ICON, kItemIconSize, kItemIconSize, 0));
    if (!icon) return;
    win32::DrawIconEx(item->hDC, item->rcItem.left, item->rcItem.top, icon, kItemIconSize,
                      kItemIconSize, 0, nullptr, win32::DI_NORMAL);
    win32::DestroyIcon(icon);
}

} // namespace kv::ui

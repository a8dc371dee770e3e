// Basic types of the forms toolkit: strings, events, enums, messages.
#pragma once

#include "platform/win32/types.h"
#include "platform/win32/user.h"

#include <functional>
#include <string>

namespace vcl {

using win32::HWND;
using win32::LPARAM;
using win32::LRESULT;
using win32::UINT;
using win32::WORD;
using win32::WPARAM;

using String = std::string;

class TObject {
  public:
    virtual ~TObject() = default;
};

class TComponent;
class TControl;
class TWinControl;
class TForm;
class TApplication;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };
enum TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };
using TBorderIcons = int; // or-ed TBorderIcon
enum TShiftState { ssNone = 0, ssShift = 1, ssAlt = 2, ssCtrl = 4 };

using TNotifyEvent = std::function<void(TObject* Sender)>;
// Key is the character typed; a handler discards it by setting it to 0.
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
// Key is the virtual-key code.
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

// Binds a member handler: btnOk->OnClick = vcl::bind(this, &TMainForm::btnOkClick);
template <class C, class R, class... A> auto bind(C* self, R (C::*handler)(A...)) {
    return [self, handler](A... args) { return (self->*handler)(args...); };
}

// Virtual-key codes and window messages, the platform's own.
using win32::VK_BACK;
using win32::VK_ESCAPE;
using win32::VK_RETURN;
using win32::VK_SPACE;
using win32::VK_TAB;
constexpr UINT VK_END = 0x23;
constexpr UINT VK_HOME = 0x24;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DELETE = 0x2E;

using win32::WM_APP;
using win32::WM_CLOSE;
using win32::WM_DRAWITEM;
using win32::WM_LBUTTONDBLCLK;
using win32::WM_NULL;
using win32::WM_RBUTTONUP;
using win32::WM_USER;

// A window message as a form's handler sees it.
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

} // namespace vcl

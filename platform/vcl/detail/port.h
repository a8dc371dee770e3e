// The window system under an application: its windows and the message
// queue of its thread. On a simulated machine these are the machine's own
// windows and queue; without one, a queue of the toolkit's.
#pragma once

#include "platform/vcl/types.h"

#include <memory>
#include <vector>

namespace vt {
class Clock;
}

namespace win32 {
class Machine;
}

namespace vcl {
class TApplication;
class TForm;
} // namespace vcl

namespace vcl::detail {

struct Msg {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// A message the application window turns into a call of queued work.
constexpr UINT CM_INVOKE = WM_APP + 0x3F01;

class Port {
  public:
    virtual ~Port() = default;
    // form null: the application window. Calls route(form, ...) for its
    // messages.
    virtual HWND createWindow(const String& className, const String& title, TForm* form,
                              bool topmost) = 0;
    virtual void destroyWindow(HWND hwnd) = 0;
    virtual void setTitle(HWND hwnd, const String& title) = 0;
    virtual void showWindow(HWND hwnd, bool visible) = 0;
    virtual void setForeground(HWND hwnd) = 0;
    // From the application's thread.
    virtual bool post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // From any thread: makes a waiting get return (with nothing, or CM_INVOKE).
    virtual void wake() = 0;
    // The next message; false when there is none and wait is false.
    virtual bool get(Msg& msg, bool wait) = 0;
    virtual void dispatch(const Msg& msg) = 0;
    // Default handling of a message a form did not take.
    virtual LRESULT defaultHandling(const Msg& msg) = 0;
};

// The calling thread's machine, or null.
const win32::Machine* currentMachine();

// Drive letters of the calling thread's machine ({c} without one).
std::vector<char> machineDrives();

// An icon resource of the calling thread's program at size x size pixels,
// to be freed with destroyIcon; null without one (or without a machine).
win32::HICON loadProgramIcon(const String& name, int size);
void destroyIcon(win32::HICON icon);

// Without a machine.
std::unique_ptr<Port> makeLocalPort(TApplication& app, vt::Clock& clock);
// On the calling thread's machine; null when the thread has none.
std::unique_ptr<Port> makeMachinePort(TApplication& app, vt::Clock& clock);

// Handling of a message for a window: the form's WndProc, or the
// application window's own.
LRESULT route(TApplication& app, TForm* form, const Msg& msg);

} // namespace vcl::detail

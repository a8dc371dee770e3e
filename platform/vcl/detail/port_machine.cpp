// An application's windows and queue on the simulated machine: real
// windows of the machine (found by FindWindowA, owning notification icons)
// and the message queue of the application's thread.
#include "platform/clock/clock.h"
#include "platform/vcl/application.h"
#include "platform/vcl/detail/port.h"
#include "platform/vcl/forms.h"
#include "platform/win32/win32.h"

#include <map>
#include <mutex>

namespace vcl::detail {

namespace {

struct WindowRec {
    TApplication* app = nullptr;
    TForm* form = nullptr;
    bool ready = false; // creation finished
    bool dead = false;  // being destroyed
};

win32::LRESULT windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == win32::WM_NCCREATE) {
        auto* cs = reinterpret_cast<win32::CREATESTRUCTA*>(lParam);
        win32::SetWindowLongPtrA(hwnd, win32::GWLP_USERDATA,
                                 reinterpret_cast<win32::LONG_PTR>(cs->lpCreateParams));
        return win32::DefWindowProcA(hwnd, msg, wParam, lParam);
    }
    auto* rec = reinterpret_cast<WindowRec*>(win32::GetWindowLongPtrA(hwnd, win32::GWLP_USERDATA));
    if (!rec || !rec->ready || rec->dead) return win32::DefWindowProcA(hwnd, msg, wParam, lParam);
    return route(*rec->app, rec->form, {hwnd, msg, wParam, lParam});
}

// Wakes the loop for threads that cannot post to the machine's queues (a
// GUI thread, a runner outside the machine): a simulated thread that posts
// in the name of the application's thread.
struct Relay {
    explicit Relay(vt::Clock& clock) : wanted(clock, false, false) {}
    vt::Event wanted;
    std::mutex lock;
    bool stop = false;
    HWND target = nullptr;
};

class MachinePort : public Port {
  public:
    MachinePort(TApplication& app, vt::Clock& clock, const win32::Machine* machine)
        : app_(app), machine_(machine), relay_(std::make_shared<Relay>(clock)) {
        vt::Thread* ui = vt::Clock::currentThread();
        auto relay = relay_;
        relayThread_ = clock.spawn("vcl-input", [relay] {
            for (;;) {
                relay->wanted.wait();
                HWND target;
                {
                    std::lock_guard<std::mutex> g(relay->lock);
                    if (relay->stop) return;
                    target = relay->target;
                }
                if (target) win32::PostMessageA(target, CM_INVOKE, 0, 0);
            }
        });
        relayThread_->setSlot(vt::SlotWin32, ui->slot(vt::SlotWin32));
    }

    ~MachinePort() override {
        {
            std::lock_guard<std::mutex> g(relay_->lock);
            relay_->stop = true;
            relay_->target = nullptr;
        }
        relayThread_->setSlot(vt::SlotWin32, nullptr);
        relayThread_->terminate();
        for (auto& [h, rec] : windows_) {
            rec->dead = true;
            win32::DestroyWindow(h);
        }
    }

    HWND createWindow(const String& className, const String& title, TForm* form,
                      bool topmost) override {
        win32::WNDCLASSA wc{};
        wc.lpfnWndProc = &windowProc;
        wc.hInstance = win32::GetModuleHandleA(nullptr);
        wc.lpszClassName = className.c_str();
        win32::RegisterClassA(&wc); // already registered: the same procedure
        auto rec = std::make_unique<WindowRec>();
        rec->app = &app_;
        rec->form = form;
        const win32::DWORD style =
            form ? win32::WS_OVERLAPPED | win32::WS_CAPTION | win32::WS_SYSMENU : win32::WS_POPUP;
        HWND h = win32::CreateWindowExA(topmost ? win32::WS_EX_TOPMOST : 0, className.c_str(),
                                        title.c_str(), style, 0, 0, 0, 0, nullptr, nullptr,
                                        wc.hInstance, rec.get());
        if (!h) return nullptr;
        rec->ready = true;
        windows_[h] = std::move(rec);
        if (!form) {
            std::lock_guard<std::mutex> g(relay_->lock);
            relay_->target = h;
        }
        return h;
    }

    void destroyWindow(HWND hwnd) override {
        auto it = windows_.find(hwnd);
        if (it == windows_.end()) return;
        it->second->dead = true;
        win32::DestroyWindow(hwnd);
        {
            std::lock_guard<std::mutex> g(relay_->lock);
            if (relay_->target == hwnd) relay_->target = nullptr;
        }
        windows_.erase(it);
    }

    void setTitle(HWND hwnd, const String& title) override {
        win32::SetWindowTextA(hwnd, title.c_str());
    }
    void showWindow(HWND hwnd, bool visible) override {
        win32::ShowWindow(hwnd, visible ? win32::SW_SHOW : win32::SW_HIDE);
    }
    void setForeground(HWND hwnd) override { win32::SetForegroundWindow(hwnd); }

    bool post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        return win32::PostMessageA(hwnd, msg, wParam, lParam) != 0;
    }

    void wake() override {
        if (app_.onOwnThread()) return; // the loop looks at its work next anyway
        if (win32::Machine::current() == machine_) {
            win32::PostMessageA(app_.Handle(), CM_INVOKE, 0, 0);
            return;
        }
        relay_->wanted.set();
    }

    bool get(Msg& msg, bool wait) override {
        win32::MSG m{};
        if (wait) {
            if (win32::GetMessageA(&m, nullptr, 0, 0) <= 0) return false;
        } else if (!win32::PeekMessageA(&m, nullptr, 0, 0, win32::PM_REMOVE)) {
            return false;
        }
        msg = {m.hwnd, m.message, m.wParam, m.lParam};
        return true;
    }

    void dispatch(const Msg& msg) override {
        win32::MSG m{};
        m.hwnd = msg.hwnd;
        m.message = msg.message;
        m.wParam = msg.wParam;
        m.lParam = msg.lParam;
        win32::TranslateMessage(&m);
        win32::DispatchMessageA(&m);
    }

    LRESULT defaultHandling(const Msg& msg) override {
        return win32::DefWindowProcA(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }

  private:
    TApplication& app_;
    const win32::Machine* machine_;
    std::shared_ptr<Relay> relay_;
    std::shared_ptr<vt::Thread> relayThread_;
    std::map<HWND, std::unique_ptr<WindowRec>> windows_;
};

} // namespace

const win32::Machine* currentMachine() {
    return win32::Machine::current();
}

std::vector<char> machineDrives() {
    if (!win32::Machine::current()) return {'c'};
    std::vector<char> out;
    const win32::DWORD bits = win32::GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
        if (bits & (1u << i)) out.push_back(static_cast<char>('a' + i));
    return out;
}

std::unique_ptr<Port> makeMachinePort(TApplication& app, vt::Clock& clock) {
    const win32::Machine* m = win32::Machine::current();
    if (!m) return nullptr;
    return std::make_unique<MachinePort>(app, clock, m);
}

win32::HICON loadProgramIcon(const String& name, int size) {
    return static_cast<win32::HICON>(win32::LoadImageA(
        win32::GetModuleHandleA(nullptr), name.c_str(), win32::IMAGE_ICON, size, size, 0));
}

void destroyIcon(win32::HICON icon) {
    if (icon) win32::DestroyIcon(icon);
}

} // namespace vcl::detail

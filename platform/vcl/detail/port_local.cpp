// The toolkit's own windows and queue, for applications on no machine.
#include "platform/clock/clock.h"
#include "platform/vcl/application.h"
#include "platform/vcl/detail/port.h"
#include "platform/vcl/forms.h"

#include <deque>
#include <map>
#include <mutex>

namespace vcl::detail {

namespace {

class LocalPort : public Port {
  public:
    LocalPort(TApplication& app, vt::Clock& clock) : app_(app), wake_(clock, false, false) {}

    HWND createWindow(const String&, const String&, TForm* form, bool) override {
        std::lock_guard<std::mutex> g(lock_);
        HWND h = reinterpret_cast<HWND>(next_);
        next_ += 4;
        windows_[h] = form;
        return h;
    }
    void destroyWindow(HWND hwnd) override {
        std::lock_guard<std::mutex> g(lock_);
        windows_.erase(hwnd);
    }
    void setTitle(HWND, const String&) override {}
    void showWindow(HWND, bool) override {}
    void setForeground(HWND) override {}

    bool post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override {
        {
            std::lock_guard<std::mutex> g(lock_);
            if (!windows_.count(hwnd)) return false;
            queue_.push_back({hwnd, msg, wParam, lParam});
        }
        wake_.set();
        return true;
    }
    void wake() override { wake_.set(); }

    bool get(Msg& msg, bool wait) override {
        if (take(msg)) return true;
        if (!wait) return false;
        wake_.wait();
        return take(msg);
    }

    void dispatch(const Msg& msg) override {
        TForm* form = nullptr;
        {
            std::lock_guard<std::mutex> g(lock_);
            auto it = windows_.find(msg.hwnd);
            if (it == windows_.end()) return;
            form = it->second;
        }
        route(app_, form, msg);
    }
    LRESULT defaultHandling(const Msg&) override { return 0; }

  private:
    bool take(Msg& msg) {
        std::lock_guard<std::mutex> g(lock_);
        if (queue_.empty()) return false;
        msg = queue_.front();
        queue_.pop_front();
        return true;
    }
    TApplication& app_;
    std::mutex lock_;
    std::map<HWND, TForm*> windows_;
    std::deque<Msg> queue_;
    uintptr_t next_ = 0x20010;
    vt::Event wake_;
};

} // namespace

std::unique_ptr<Port> makeLocalPort(TApplication& app, vt::Clock& clock) {
    return std::make_unique<LocalPort>(app, clock);
}

LRESULT route(TApplication& app, TForm* form, const Msg& msg) {
    if (!form) {
        // The application window: queued work is run by the loop itself.
        if (msg.message == CM_INVOKE) return 0;
        return app.port().defaultHandling(msg);
    }
    TMessage m{msg.message, msg.wParam, msg.lParam, 0};
    form->WndProc(m);
    return m.Result;
}

} // namespace vcl::detail

#include "platform/vcl/application.h"

#include "platform/vcl/desktop.h"
#include "platform/vcl/detail/port.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>

namespace vcl {

namespace {

std::mutex gAppsLock;
std::map<const vt::Thread*, TApplication*> gApps;

vt::Clock& callerClock() {
    vt::Clock* c = vt::Clock::current();
    if (!c) {
        std::fprintf(stderr, "vcl: an application must be made on a simulated thread\n");
        std::abort();
    }
    return *c;
}

} // namespace

TApplication::TApplication() : TApplication(Desktop::current()) {}

TApplication::TApplication(Desktop& desktop)
    : TComponent(nullptr), desktop_(desktop), clock_(callerClock()),
      thread_(vt::Clock::currentThread()), idle_(clock_, true, false) {
    Name = "Application";
    port_ = detail::makeMachinePort(*this, clock_);
    if (!port_) port_ = detail::makeLocalPort(*this, clock_);
    handle_ = port_->createWindow("TApplication", title_, nullptr, false);
    {
        std::lock_guard<std::mutex> g(gAppsLock);
        gApps[thread_] = this;
    }
    desktop_.added(this);
    desktop_.notify([&](Observer& o) { o.applicationStarted(*this); });
}

TApplication::~TApplication() {
    markEnded();
    // Forms are destroyed last created first; their OnDestroy runs while
    // every form still exists. Not while the thread is being torn down.
    const bool unwinding = std::uncaught_exceptions() > 0;
    for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
        TForm* f = *it;
        f->destroying_ = true;
        if (!unwinding && f->OnDestroy) f->OnDestroy(f);
        desktop_.notify([&](Observer& o) { o.formDestroyed(*f); });
        f->destroyHandle();
    }
    DestroyComponents();
    forms_.clear();
    mainForm_ = nullptr;
    if (handle_) port_->destroyWindow(handle_);
    handle_ = nullptr;
    desktop_.notify([&](Observer& o) { o.applicationEnded(*this); });
    desktop_.removed(this);
    {
        std::lock_guard<std::mutex> g(gAppsLock);
        gApps.erase(thread_);
    }
    port_.reset();
}

TApplication* TApplication::current() {
    const vt::Thread* t = vt::Clock::currentThread();
    if (!t) return nullptr;
    std::lock_guard<std::mutex> g(gAppsLock);
    auto it = gApps.find(t);
    return it == gApps.end() ? nullptr : it->second;
}

TApplication* ApplicationRef::operator->() const {
    TApplication* app = TApplication::current();
    if (!app) {
        std::fprintf(stderr, "vcl: no application on this thread\n");
        std::abort();
    }
    return app;
}

bool TApplication::onOwnThread() const {
    return vt::Clock::currentThread() == thread_;
}

void TApplication::SetTitle(const String& title) {
    title_ = title;
    if (handle_) port_->setTitle(handle_, title);
}

void TApplication::adoptForm(TForm* form) {
    forms_.push_back(form);
    form->recreateHandle();
    form->DoCreate();
    if (!mainForm_) mainForm_ = form;
    desktop_.notify([&](Observer& o) { o.formCreated(*form); });
}

TForm* TApplication::FindForm(const String& name) const {
    for (TForm* f : forms_)
        if (f->Name == name || f->ClassName() == name) return f;
    return nullptr;
}

void TApplication::Run() {
    running_ = true;
    if (mainForm_ && ShowMainForm && !terminated_) mainForm_->Show();
    while (!terminated_)
        HandleMessage();
    running_ = false;
    markEnded();
}

bool TApplication::hasWork() const {
    std::lock_guard<std::mutex> g(queueLock_);
    return !work_.empty();
}

bool TApplication::runWork() {
    bool any = false;
    for (;;) {
        std::function<void()> w;
        {
            std::lock_guard<std::mutex> g(queueLock_);
            if (work_.empty()) break;
            w = std::move(work_.front());
            work_.pop_front();
        }
        any = true;
        w();
        if (terminated_) break;
    }
    return any;
}

void TApplication::HandleMessage() {
    if (runWork() || terminated_) return;
    detail::Msg m;
    if (port_->get(m, false)) {
        port_->dispatch(m);
        return;
    }
    {
        std::lock_guard<std::mutex> g(queueLock_);
        if (!work_.empty()) return;
        idle_.set();
    }
    if (port_->get(m, true)) {
        idle_.reset();
        port_->dispatch(m);
    }
}

void TApplication::ProcessMessages() {
    for (;;) {
        bool any = runWork();
        if (terminated_) return;
        detail::Msg m;
        if (port_->get(m, false)) {
            port_->dispatch(m);
            any = true;
        }
        if (!any || terminated_) break;
    }
    // Let the other simulated threads (a GUI's input, a runner) take a turn.
    clock_.yield();
}

void TApplication::Terminate() {
    terminated_ = true;
    if (!running_) markEnded();
    port_->wake();
}

void TApplication::Minimize() {
    if (mainForm_) mainForm_->WindowState = wsMinimized;
}

void TApplication::Restore() {
    if (mainForm_) mainForm_->WindowState = wsNormal;
}

int TApplication::MessageBox(const String& text, const String& caption, UINT flags) {
    return vcl::MessageBox(nullptr, text, caption, flags);
}

void TApplication::ShowError(const String& text) {
    vcl::MessageBox(nullptr, text, title_, MB_OK | MB_ICONERROR);
}

void TApplication::Post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> g(queueLock_);
        if (ended_) return;
        work_.push_back(std::move(work));
        idle_.reset();
    }
    port_->wake();
}

void TApplication::PostMessage(TForm* target, UINT msg, WPARAM wParam, LPARAM lParam) {
    Post([this, target, msg, wParam, lParam] {
        for (TForm* f : forms_)
            if (f == target && f->Handle()) port_->post(f->Handle(), msg, wParam, lParam);
    });
}

bool TApplication::Invoke(std::function<void()> work) {
    if (onOwnThread()) {
        work();
        return true;
    }
    auto ran = std::make_shared<bool>(false);
    Post([ran, w = std::move(work)] {
        *ran = true;
        w();
    });
    WaitIdle();
    return *ran;
}

void TApplication::WaitIdle() {
    if (onOwnThread()) return;
    idle_.wait();
}

bool TApplication::Ended() const {
    std::lock_guard<std::mutex> g(queueLock_);
    return ended_;
}

void TApplication::markEnded() {
    {
        std::lock_guard<std::mutex> g(queueLock_);
        ended_ = true;
        work_.clear();
    }
    idle_.set();
}

} // namespace vcl

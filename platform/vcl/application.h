// The application object: forms, the message loop, the title window.
#pragma once

#include "platform/clock/clock.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/forms.h"

#include <deque>
#include <memory>
#include <mutex>

namespace vcl {

class Desktop;
namespace detail {
class Port;
}

// One per program, made on its user-interface thread (a simulated thread).
// Everything that touches its forms runs on that thread; other threads
// (a runner, a GUI) hand work to it with Post.
class TApplication : public TComponent {
  public:
    // The desktop of the calling thread's machine (Desktop::current()).
    TApplication();
    explicit TApplication(Desktop& desktop);
    ~TApplication() override;
    Kind kind() const override { return Kind::Application; }

    void Initialize() {}
    // The title of the application window (found by that title).
    String Title() const { return title_; }
    void SetTitle(const String& title);
    HWND Handle() const { return handle_; }
    TForm* MainForm() const { return mainForm_; }
    bool Terminated() const { return terminated_; }
    bool ShowMainForm = true;

    // Creates a form owned by the application: ref is set before OnCreate
    // runs; the first form created becomes the main form after its OnCreate.
    template <class T> void CreateForm(T*& ref) {
        T* form = new T(this);
        ref = form;
        adoptForm(form);
    }
    const std::vector<TForm*>& Forms() const { return forms_; }
    // By Name or ClassName.
    TForm* FindForm(const String& name) const;

    // Shows the main form and runs the message loop until Terminate.
    void Run();
    // Handles every message waiting, without waiting for more.
    void ProcessMessages();
    // Waits for one message and handles it.
    void HandleMessage();
    void Terminate();
    void Minimize();
    void Restore();

    // Application->MessageBox(text, caption, flags): a box without owner.
    int MessageBox(const String& text, const String& caption, UINT flags = MB_OK);
    // The framework's display of an error that reached it: a box captioned
    // with the title, error icon, OK.
    void ShowError(const String& text);

    // Thread-safe, from any thread (registered or not).
    void Post(std::function<void()> work);
    void PostMessage(TForm* target, UINT msg, WPARAM wParam, LPARAM lParam);
    // From a registered thread other than the application's: posts work and
    // waits until the application is idle again (or has ended). False when
    // the application has ended before the work ran.
    bool Invoke(std::function<void()> work);
    // Waits until the loop waits for messages with none queued, or the
    // application has ended.
    void WaitIdle();
    // True once Run has returned (or Terminate was called outside Run).
    bool Ended() const;

    Desktop& desktop() const { return desktop_; }
    vt::Clock& clock() const { return clock_; }
    bool onOwnThread() const;

    // The application of the calling thread, or null.
    static TApplication* current();

    // The window system under it (internal to the toolkit).
    detail::Port& port() const { return *port_; }

  private:
    void adoptForm(TForm* form);
    bool runWork();
    bool hasWork() const;
    void markEnded();
    friend class TForm;

    Desktop& desktop_;
    vt::Clock& clock_;
    vt::Thread* thread_;
    std::unique_ptr<detail::Port> port_;
    String title_;
    HWND handle_ = nullptr;
    TForm* mainForm_ = nullptr;
    std::vector<TForm*> forms_;
    bool terminated_ = false;
    bool running_ = false;

    mutable std::mutex queueLock_;
    std::deque<std::function<void()>> work_;
    vt::Event idle_;
    bool ended_ = false;
};

// Application->CreateForm(...), as the program entry writes it: the
// application of the calling thread.
struct ApplicationRef {
    TApplication* operator->() const;
};
inline constexpr ApplicationRef Application{};

} // namespace vcl

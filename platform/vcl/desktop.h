// The desktop a simulated machine's programs show their forms on: the
// screen, the services that answer modal boxes, and the observers that see
// everything the forms do. A runner (kv7946-sim, tests) or the Qt frontend
// installs one per machine before the programs start.
#pragma once

#include "platform/clock/clock.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/property.h"

#include <mutex>
#include <optional>
#include <vector>

namespace win32 {
class Machine;
}

namespace vcl {

class TApplication;
class TControl;
class TForm;
class TWinControl;
class TPopupMenu;

// Answers message boxes. Called on the application's thread, which it may
// block on the clock until the answer comes (see Reply).
class MessageBoxService {
  public:
    virtual ~MessageBoxService() = default;
    virtual int Ask(TApplication& app, const MessageBoxRequest& request) = 0;
};

// Answers the file-save dialog: a Windows path, or none when cancelled.
class SaveDialogService {
  public:
    virtual ~SaveDialogService() = default;
    virtual std::optional<String> Ask(TApplication& app, const SaveDialogRequest& request) = 0;
};

// Sees what the forms do. Called on the application's thread, right after
// the change; must not block. Defaults do nothing.
class Observer {
  public:
    virtual ~Observer() = default;
    virtual void applicationStarted(TApplication&) {}
    virtual void applicationEnded(TApplication&) {}
    // After the form's OnCreate: every component exists.
    virtual void formCreated(TForm&) {}
    virtual void formDestroyed(TForm&) {}
    virtual void formShown(TForm&) {}
    virtual void formHidden(TForm&) {}
    // Any property of a control or form (Visible of a form also comes as
    // formShown/formHidden).
    virtual void propertyChanged(TControl&, Prop) {}
    virtual void focusChanged(TForm&, TWinControl*) {}
    virtual void messageBox(TApplication&, const MessageBoxRequest&, int /*answer*/) {}
    virtual void saveDialog(TApplication&, const SaveDialogRequest&,
                            const std::optional<String>& /*answer*/) {}
    virtual void popupMenu(TPopupMenu&, bool /*open*/) {}
};

// A one-shot answer handed from any thread to a simulated thread waiting on
// the clock.
template <class T> class Reply {
  public:
    explicit Reply(vt::Clock& clock) : done_(clock, true) {}
    void give(T value) {
        {
            std::lock_guard<std::mutex> g(lock_);
            value_ = std::move(value);
        }
        done_.set();
    }
    // On a simulated thread.
    T wait() {
        done_.wait();
        std::lock_guard<std::mutex> g(lock_);
        return *value_;
    }

  private:
    std::mutex lock_;
    std::optional<T> value_;
    vt::Event done_;
};

// Answers with the first button and cancels save dialogs.
class DefaultServices : public MessageBoxService, public SaveDialogService {
  public:
    int Ask(TApplication&, const MessageBoxRequest& r) override { return r.answers().front(); }
    std::optional<String> Ask(TApplication&, const SaveDialogRequest&) override {
        return std::nullopt;
    }
};

class Desktop {
  public:
    Desktop();
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    int screenWidth = 1024;
    int screenHeight = 768;
    // Drive letters for drive lists ("c", "e"...); none set: asks the machine.
    std::vector<char> drives;

    void setMessageBoxService(MessageBoxService* s) { messages_ = s ? s : &defaults_; }
    void setSaveDialogService(SaveDialogService* s) { saves_ = s ? s : &defaults_; }
    MessageBoxService& messageBoxes() const { return *messages_; }
    SaveDialogService& saveDialogs() const { return *saves_; }

    void addObserver(Observer* o);
    void removeObserver(Observer* o);
    template <class F> void notify(F&& f) {
        std::vector<Observer*> copy;
        {
            std::lock_guard<std::mutex> g(lock_);
            copy = observers_;
        }
        for (Observer* o : copy)
            f(*o);
    }

    // Applications running on this desktop.
    std::vector<TApplication*> applications() const;
    // The application whose title is title, or null.
    TApplication* findApplication(const String& title) const;

    // Makes this the desktop of a machine's programs (null: of programs
    // that run on no machine). Uninstalls itself on destruction.
    void install(const win32::Machine* machine);
    // The desktop of the calling thread's machine; a built-in default one
    // when none is installed.
    static Desktop& current();

  private:
    friend class TApplication;
    void added(TApplication* app);
    void removed(TApplication* app);
    DefaultServices defaults_;
    MessageBoxService* messages_ = &defaults_;
    SaveDialogService* saves_ = &defaults_;
    mutable std::mutex lock_;
    std::vector<Observer*> observers_;
    std::vector<TApplication*> apps_;
};

} // namespace vcl

// Shows every form of a desktop's applications as a real Qt window, bound
// both ways: what the forms do is copied to the widgets on the GUI thread,
// and what a person does in the widgets is handed to the application's
// thread as user input. Message boxes and the save dialog are real modal
// dialogs; the asking thread waits on the clock until they are answered.
#pragma once

#include "frontend/qt/state.h"
#include "platform/vcl/desktop.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class QObject;

namespace win32 {
class Machine;
}

namespace kvqt {

class FormWindow;

class Frontend : public vcl::Observer,
                 public vcl::MessageBoxService,
                 public vcl::SaveDialogService {
  public:
    // On the GUI thread, with a QApplication, before the programs start.
    // machine (optional) maps the save dialog's host paths to drive letters.
    Frontend(vcl::Desktop& desktop, win32::Machine* machine = nullptr);
    ~Frontend() override;
    Frontend(const Frontend&) = delete;
    Frontend& operator=(const Frontend&) = delete;

    // GUI thread. The window of a form ("TMainForm") of the newest
    // application showing one, and a component's widget ("TMainForm.edtPwd").
    FormWindow* window(const std::string& formClass) const;
    QWidget* widget(const std::string& path) const;
    // The message box or save dialog on screen, or null.
    QWidget* openDialog() const;
    // Presses the open message box's button for answer (IDOK...); false
    // when no message box with that button is open.
    bool answer(int id);
    // Called on the GUI thread when the last application has ended.
    std::function<void()> onAllEnded;

    // GUI thread: runs fn on the application's thread (dropped when the
    // application has ended meanwhile).
    void input(uintptr_t app, std::function<void(vcl::TApplication&)> fn);

    // vcl::Observer (application's thread)
    void applicationStarted(vcl::TApplication& app) override;
    void applicationEnded(vcl::TApplication& app) override;
    void formCreated(vcl::TForm& f) override;
    void formShown(vcl::TForm& f) override;
    void formHidden(vcl::TForm& f) override;
    void propertyChanged(vcl::TControl& c, vcl::Prop which) override;
    void focusChanged(vcl::TForm& f, vcl::TWinControl* c) override;
    void popupMenu(vcl::TPopupMenu& menu, bool open) override;
    // Services (application's thread)
    int Ask(vcl::TApplication& app, const vcl::MessageBoxRequest& r) override;
    std::optional<vcl::String> Ask(vcl::TApplication& app,
                                   const vcl::SaveDialogRequest& r) override;

  private:
    struct Pending;
    using Key = std::pair<uintptr_t, std::string>;
    static uintptr_t keyOf(const vcl::TApplication* app) {
        return reinterpret_cast<uintptr_t>(app);
    }
    // Runs fn on the GUI thread.
    void gui(std::function<void()> fn);
    void formChanged(vcl::TForm& f);
    std::string windowsPath(const std::string& hostPath) const;

    vcl::Desktop& desktop_;
    win32::Machine* machine_;
    std::unique_ptr<QObject> context_;                   // lives on the GUI thread
    std::map<Key, std::unique_ptr<FormWindow>> windows_; // GUI thread
    std::vector<uintptr_t> order_;                       // GUI thread: applications, oldest first
    QPointer<QWidget> dialog_;                           // GUI thread

    std::mutex lock_;
    std::map<uintptr_t, vcl::TApplication*> apps_;  // live applications
    std::vector<std::shared_ptr<Pending>> pending_; // unanswered dialogs
};

} // namespace kvqt

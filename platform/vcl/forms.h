// Forms: top-level windows that are created once and shown or hidden.
#pragma once

#include "platform/vcl/component.h"

#include <type_traits>

namespace vcl {

enum TWindowState { wsNormal, wsMinimized, wsMaximized };

class TForm : public TWinControl {
  public:
    // className is the form's type name ("TMainForm"); Name defaults to it
    // without the leading T.
    TForm(TComponent* AOwner, const String& className);
    ~TForm() override;
    Kind kind() const override { return Kind::Form; }
    const String& ClassName() const { return className_; }

    Property<TFormStyle> FormStyle{this, Prop::FormStyle, fsNormal};
    Property<TWindowState> WindowState{this, Prop::WindowState, wsNormal};
    TBorderStyle BorderStyle = bsSizeable;
    TBorderIcons BorderIcons = biSystemMenu | biMinimize | biMaximize;
    TWinControl* ActiveControl() const { return active_; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TNotifyEvent OnDestroy;

    // The window handle. A change of FormStyle makes a new window, so the
    // handle changes.
    HWND Handle() const { return handle_; }

    // Close asks OnClose (default action caHide); the main form's close
    // ends the application.
    void Close();
    void BringToFront();
    // Centres the form on the screen, rounding towards zero.
    void CenterOnScreen();

    // Window messages sent to this form. Forms override it for their own
    // messages and call TForm::WndProc for the default handling.
    virtual void WndProc(TMessage& message);
    LRESULT Perform(UINT msg, WPARAM wParam, LPARAM lParam);

    // Moves the focus to the next (or previous) focusable control.
    void SelectNext(bool forward = true);

    // Called by Application->CreateForm after construction; runs OnCreate.
    void DoCreate();

  protected:
    void Changed(Prop which) override;

  private:
    friend class TWinControl;
    friend class TApplication;
    void setActive(TWinControl* control);
    void recreateHandle();
    void destroyHandle();
    String className_;
    TWinControl* active_ = nullptr;
    HWND handle_ = nullptr;
    bool destroying_ = false;
};

// The screen the forms are shown on.
class TScreen {
  public:
    int Width() const;
    int Height() const;
    TForm* ActiveForm() const;
};

// Screen->Width(), as the forms write it; the screen of the calling
// application's desktop.
struct ScreenRef {
    TScreen* operator->() const;
};
inline constexpr ScreenRef Screen{};

template <class T> T* create(TComponent* owner, const String& name, TWinControl* parent) {
    T* c = new T(owner);
    c->Name = name;
    if constexpr (std::is_base_of_v<TControl, T>) {
        if (!parent) {
            if (auto* f = dynamic_cast<TWinControl*>(owner)) parent = f;
        }
        if (parent) c->SetParent(parent);
    }
    return c;
}

} // namespace vcl

#include "platform/vcl/forms.h"

#include "platform/vcl/application.h"
#include "platform/vcl/desktop.h"
#include "platform/vcl/detail/port.h"

namespace vcl {

TForm::TForm(TComponent* AOwner, const String& className)
    : TWinControl(AOwner), className_(className) {
    Name = className.size() > 1 && className[0] == 'T' ? className.substr(1) : className;
    Visible.setQuietly(false);
    TabStop = false;
    recreateHandle();
}

TForm::~TForm() {
    destroyHandle();
}

void TForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void TForm::recreateHandle() {
    TApplication* app = OwnerApplication();
    if (!app) return;
    destroyHandle();
    handle_ = app->port().createWindow(className_, Caption, this, FormStyle == fsStayOnTop);
    if (Visible) app->port().showWindow(handle_, true);
}

void TForm::destroyHandle() {
    if (!handle_) return;
    if (TApplication* app = OwnerApplication()) app->port().destroyWindow(handle_);
    handle_ = nullptr;
}

void TForm::Changed(Prop which) {
    TApplication* app = OwnerApplication();
    if (!app) return;
    switch (which) {
    case Prop::Caption:
        if (handle_) app->port().setTitle(handle_, Caption);
        break;
    case Prop::FormStyle:
        // A new window with the new style; observers hear of the handle.
        recreateHandle();
        PropertyChanged(Prop::Handle);
        break;
    case Prop::Visible:
        if (handle_) app->port().showWindow(handle_, Visible);
        if (Visible) {
            if (OnShow) OnShow(this);
            if (Visible) app->desktop().notify([&](Observer& o) { o.formShown(*this); });
        } else {
            if (OnHide) OnHide(this);
            app->desktop().notify([&](Observer& o) { o.formHidden(*this); });
        }
        break;
    default:
        break;
    }
}

void TForm::setActive(TWinControl* control) {
    if (active_ == control) return;
    TWinControl* old = active_;
    if (old && old->OnExit) old->OnExit(old);
    active_ = control;
    if (control && control->OnEnter) control->OnEnter(control);
    if (TApplication* app = OwnerApplication())
        app->desktop().notify([&](Observer& o) { o.focusChanged(*this, control); });
}

void TForm::Close() {
    TCloseAction action = caHide;
    TApplication* app = OwnerApplication();
    const bool isMain = app && app->MainForm() == this;
    if (OnClose) OnClose(this, action);
    if (action == caNone) return;
    if (isMain) {
        app->Terminate();
    } else if (action == caMinimize) {
        WindowState = wsMinimized;
    } else {
        // caFree too: forms live until the application ends.
        Hide();
    }
}

void TForm::BringToFront() {
    if (TApplication* app = OwnerApplication(); app && handle_) app->port().setForeground(handle_);
}

void TForm::CenterOnScreen() {
    Top = (Screen->Height() - Height) / 2;
    Left = (Screen->Width() - Width) / 2;
}

void TForm::WndProc(TMessage& message) {
    if (message.Msg == WM_CLOSE) {
        Close();
        message.Result = 0;
        return;
    }
    if (TApplication* app = OwnerApplication())
        message.Result =
            app->port().defaultHandling({handle_, message.Msg, message.WParam, message.LParam});
}

LRESULT TForm::Perform(UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m{msg, wParam, lParam, 0};
    WndProc(m);
    return m.Result;
}

void TForm::SelectNext(bool forward) {
    std::vector<TWinControl*> order;
    std::function<void(TWinControl*)> collect = [&](TWinControl* w) {
        for (TControl* c : w->Controls()) {
            auto* wc = dynamic_cast<TWinControl*>(c);
            if (!wc) continue;
            if (wc->TabStop && wc->CanFocus()) order.push_back(wc);
            collect(wc);
        }
    };
    collect(this);
    if (order.empty()) return;
    auto it = std::find(order.begin(), order.end(), active_);
    size_t i = 0;
    if (it == order.end()) {
        i = forward ? 0 : order.size() - 1;
    } else {
        size_t at = static_cast<size_t>(it - order.begin());
        i = forward ? (at + 1) % order.size() : (at + order.size() - 1) % order.size();
    }
    setActive(order[i]);
}

namespace {
Desktop& screenDesktop() {
    TApplication* app = TApplication::current();
    return app ? app->desktop() : Desktop::current();
}
TScreen theScreen;
} // namespace

int TScreen::Width() const {
    return screenDesktop().screenWidth;
}
int TScreen::Height() const {
    return screenDesktop().screenHeight;
}

TForm* TScreen::ActiveForm() const {
    TApplication* app = TApplication::current();
    if (!app) return nullptr;
    for (TForm* f : app->Forms())
        if (f->Visible && f->ActiveControl()) return f;
    return nullptr;
}

TScreen* ScreenRef::operator->() const {
    return &theScreen;
}

} // namespace vcl

#include "frontend/qt/state.h"

namespace kvqt {

using namespace vcl;

ControlState captureControl(const TComponent& c) {
    ControlState s;
    s.name = c.Name;
    s.kind = c.kind();
    if (auto* menu = dynamic_cast<const TPopupMenu*>(&c)) {
        for (TMenuItem* i : menu->Items()) {
            s.items.push_back(i->Caption);
            s.itemNames.push_back(i->Name);
        }
        s.left = menu->PopupX();
        s.top = menu->PopupY();
        s.visible = menu->IsOpen();
        return s;
    }
    auto* ctl = dynamic_cast<const TControl*>(&c);
    if (!ctl) {
        s.visible = false;
        return s;
    }
    if (ctl->Parent() && !dynamic_cast<const TForm*>(ctl->Parent())) s.parent = ctl->Parent()->Name;
    s.caption = ctl->Caption;
    s.text = ctl->Text;
    s.visible = ctl->Visible;
    s.enabled = ctl->Enabled;
    s.left = ctl->Left;
    s.top = ctl->Top;
    s.width = ctl->Width;
    s.height = ctl->Height;
    if (auto* e = dynamic_cast<const TEdit*>(&c)) {
        s.readOnly = e->ReadOnly;
        s.maxLength = e->MaxLength;
        s.passwordChar = e->PasswordChar;
        s.selStart = e->SelStart;
    } else if (auto* b = dynamic_cast<const TCheckBox*>(&c)) {
        s.checked = b->Checked;
    } else if (auto* r = dynamic_cast<const TRadioButton*>(&c)) {
        s.checked = r->Checked;
    } else if (auto* cb = dynamic_cast<const TComboBox*>(&c)) {
        s.items = cb->Items.items();
        s.itemIndex = cb->ItemIndex;
    } else if (auto* p = dynamic_cast<const TProgressBar*>(&c)) {
        s.position = p->Position;
        s.min = p->Min;
        s.max = p->Max;
    } else if (auto* m = dynamic_cast<const TMemo*>(&c)) {
        s.items = m->Lines.items();
        s.readOnly = m->ReadOnly;
        s.color = m->Color;
    }
    return s;
}

FormState captureForm(const TForm& f) {
    FormState s;
    s.className = f.ClassName();
    s.caption = f.Caption;
    s.visible = f.Visible;
    s.enabled = f.Enabled;
    s.stayOnTop = f.FormStyle == fsStayOnTop;
    s.minimized = f.WindowState == wsMinimized;
    s.borderIcons = f.BorderIcons;
    s.borderStyle = f.BorderStyle;
    s.left = f.Left;
    s.top = f.Top;
    s.width = f.Width;
    s.height = f.Height;
    if (f.ActiveControl()) s.focus = f.ActiveControl()->Name;
    for (int i = 0; i < f.ComponentCount(); ++i) {
        const TComponent* c = f.Components(i);
        if (c->kind() == Kind::MenuItem || c->kind() == Kind::SaveDialog) continue;
        s.controls.push_back(captureControl(*c));
    }
    return s;
}

} // namespace kvqt

#include "platform/vcl/user.h"

#include <cctype>

namespace vcl::user {

namespace {

String describe(const TComponent& c) {
    const TForm* f = c.OwnerForm();
    if (f && f != &c) return f->ClassName() + "." + c.Name;
    if (f) return f->ClassName();
    return c.Name;
}

// A control a user can reach: on a shown form, visible and enabled.
Result reachable(const TComponent& c) {
    auto* ctl = dynamic_cast<const TControl*>(&c);
    if (!ctl) return Result::refused(describe(c) + " is not a control");
    if (!ctl->Showing()) return Result::refused(describe(c) + " is not visible");
    if (!ctl->EffectivelyEnabled()) return Result::refused(describe(c) + " is disabled");
    return {};
}

String lower(String s) {
    for (char& ch : s)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return s;
}

TWinControl* focusable(TComponent& c) {
    auto* w = dynamic_cast<TWinControl*>(&c);
    if (!w || dynamic_cast<TForm*>(w)) return nullptr;
    return w;
}

} // namespace

TComponent* find(const TApplication& app, const String& path) {
    const size_t dot = path.find('.');
    TForm* form = app.FindForm(path.substr(0, dot));
    if (!form || dot == String::npos) return form;
    return form->FindComponent(path.substr(dot + 1));
}

Result click(TComponent& c) {
    if (auto* item = dynamic_cast<TMenuItem*>(&c)) {
        if (!item->Menu || !item->Menu->IsOpen())
            return Result::refused(describe(c) + ": its menu is not open");
        if (!item->Visible || !item->Enabled) return Result::refused(describe(c) + " is disabled");
        item->Click();
        return {};
    }
    if (Result r = reachable(c); !r) return r;
    if (dynamic_cast<TForm*>(&c)) return Result::refused(describe(c) + " is a form");
    auto& ctl = static_cast<TControl&>(c);
    if (TWinControl* w = focusable(c)) {
        if (w->TabStop) w->SetFocus();
    }
    switch (c.kind()) {
    case Kind::Button:
    case Kind::BitBtn:
    case Kind::CheckBox:
    case Kind::RadioButton:
    case Kind::Label:
    case Kind::Image:
        ctl.Click();
        return {};
    case Kind::Edit:
    case Kind::ComboBox:
    case Kind::DriveComboBox:
    case Kind::Memo:
        return {};
    default:
        return Result::refused(describe(c) + " cannot be clicked");
    }
}

Result type(TComponent& c, const String& text) {
    if (Result r = reachable(c); !r) return r;
    TWinControl* w = focusable(c);
    if (!w) return Result::refused(describe(c) + " takes no keys");
    w->SetFocus();
    for (char ch : text) {
        // Each character as the keyboard gives it: down, the character, up.
        WORD vk = static_cast<WORD>(std::toupper(static_cast<unsigned char>(ch)));
        w->UserKeyDown(vk);
        w->UserChar(ch);
        WORD up = vk;
        if (w->OnKeyUp) w->OnKeyUp(w, up, ssNone);
        if (!w->Showing() || !w->EffectivelyEnabled()) break;
    }
    return {};
}

WORD keyFromName(const String& name) {
    const String n = lower(name);
    if (n == "enter" || n == "return") return VK_RETURN;
    if (n == "backspace") return VK_BACK;
    if (n == "delete") return VK_DELETE;
    if (n == "tab") return VK_TAB;
    if (n == "escape" || n == "esc") return VK_ESCAPE;
    if (n == "space") return VK_SPACE;
    if (n == "left") return VK_LEFT;
    if (n == "right") return VK_RIGHT;
    if (n == "home") return VK_HOME;
    if (n == "end") return VK_END;
    return 0;
}

Result key(TComponent& c, WORD vk) {
    if (Result r = reachable(c); !r) return r;
    TWinControl* w = focusable(c);
    if (!w) return Result::refused(describe(c) + " takes no keys");
    w->SetFocus();
    TForm* form = w->OwnerForm();
    w->UserKeyDown(vk);
    if (vk == VK_TAB) {
        if (form) form->SelectNext(true);
    } else if (vk == VK_RETURN) {
        w->UserChar('\r');
    } else if (vk == VK_BACK) {
        w->UserChar('\b');
    } else if (vk == VK_ESCAPE) {
        w->UserChar('\x1b');
    } else if (vk == VK_SPACE) {
        w->UserChar(' ');
    }
    // The key comes up where the focus is now.
    TWinControl* now = form ? form->ActiveControl() : w;
    if (!now) now = w;
    WORD up = vk;
    if (now->OnKeyUp && now->Showing()) now->OnKeyUp(now, up, ssNone);
    return {};
}

Result select(TComponent& c, const String& item) {
    if (Result r = reachable(c); !r) return r;
    auto* box = dynamic_cast<TComboBox*>(&c);
    if (!box) return Result::refused(describe(c) + " is not a list");
    if (!box->UserSelect(item))
        return Result::refused(describe(c) + " has no entry \"" + item + "\"");
    return {};
}

Result check(TComponent& c, bool on) {
    if (Result r = reachable(c); !r) return r;
    if (auto* b = dynamic_cast<TCheckBox*>(&c)) {
        if (b->Checked != on) return click(c);
        return {};
    }
    if (auto* r = dynamic_cast<TRadioButton*>(&c)) {
        if (!on) {
            if (r->Checked)
                return Result::refused(describe(c) +
                                       ": a radio button is unchecked by checking another");
            return {};
        }
        return click(c);
    }
    return Result::refused(describe(c) + " is not a check box or radio button");
}

Result close(TComponent& c) {
    auto* f = dynamic_cast<TForm*>(&c);
    if (!f) return Result::refused(describe(c) + " is not a form");
    if (!f->Visible) return Result::refused(describe(c) + " is not visible");
    if (!(f->BorderIcons & biSystemMenu))
        return Result::refused(describe(c) + " has no close button");
    if (!f->Enabled) return Result::refused(describe(c) + " is disabled");
    f->Perform(WM_CLOSE, 0, 0);
    return {};
}

Result minimize(TComponent& c) {
    auto* f = dynamic_cast<TForm*>(&c);
    if (!f) return Result::refused(describe(c) + " is not a form");
    if (!f->Visible) return Result::refused(describe(c) + " is not visible");
    if (!(f->BorderIcons & biMinimize))
        return Result::refused(describe(c) + " has no minimise button");
    f->WindowState = wsMinimized;
    return {};
}

Result restore(TComponent& c) {
    auto* f = dynamic_cast<TForm*>(&c);
    if (!f) return Result::refused(describe(c) + " is not a form");
    f->WindowState = wsNormal;
    return {};
}

Result chooseMenu(TApplication& app, const String& item) {
    for (TForm* f : app.Forms()) {
        for (int i = 0; i < f->ComponentCount(); ++i) {
            auto* menu = dynamic_cast<TPopupMenu*>(f->Components(i));
            if (!menu || !menu->IsOpen()) continue;
            if (TMenuItem* it = menu->FindItem(item)) return click(*it);
            return Result::refused("the open menu has no item \"" + item + "\"");
        }
    }
    return Result::refused("no menu is open");
}

} // namespace vcl::user

#include "platform/vcl/component.h"

#include "platform/vcl/application.h"
#include "platform/vcl/desktop.h"
#include "platform/vcl/forms.h"

#include <algorithm>

namespace vcl {

const char* kindName(Kind k) {
    switch (k) {
    case Kind::Application:
        return "application";
    case Kind::Form:
        return "form";
    case Kind::Label:
        return "label";
    case Kind::Edit:
        return "edit";
    case Kind::Button:
        return "button";
    case Kind::BitBtn:
        return "bitmap button";
    case Kind::CheckBox:
        return "check box";
    case Kind::RadioButton:
        return "radio button";
    case Kind::GroupBox:
        return "group box";
    case Kind::ComboBox:
        return "combo box";
    case Kind::ProgressBar:
        return "progress bar";
    case Kind::Memo:
        return "memo";
    case Kind::Image:
        return "image";
    case Kind::PopupMenu:
        return "pop-up menu";
    case Kind::MenuItem:
        return "menu item";
    case Kind::DriveComboBox:
        return "drive list";
    case Kind::SaveDialog:
        return "file-save dialog";
    }
    return "component";
}

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
    if (owner_) owner_->owned_.emplace_back(this);
}

TComponent::~TComponent() {
    DestroyComponents();
}

void TComponent::DestroyComponents() {
    while (!owned_.empty()) {
        std::unique_ptr<TComponent> last = std::move(owned_.back());
        owned_.pop_back();
        last->owner_ = nullptr;
        last.reset();
    }
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) return nullptr;
    return owned_[static_cast<size_t>(index)].get();
}

TComponent* TComponent::FindComponent(const String& name) const {
    for (const auto& c : owned_)
        if (c->Name == name) return c.get();
    return nullptr;
}

// dynamic_cast, so that a component half destroyed is no longer taken for
// what it was.
TForm* TComponent::OwnerForm() const {
    for (const TComponent* c = this; c; c = c->owner_)
        if (auto* f = dynamic_cast<const TForm*>(c)) return const_cast<TForm*>(f);
    return nullptr;
}

TApplication* TComponent::OwnerApplication() const {
    for (const TComponent* c = this; c; c = c->owner_)
        if (auto* a = dynamic_cast<const TApplication*>(c)) return const_cast<TApplication*>(a);
    return nullptr;
}

TControl::TControl(TComponent* AOwner) : TComponent(AOwner) {}

TControl::~TControl() {
    detachQuietly();
}

void TControl::detachQuietly() {
    if (parent_) {
        auto& list = parent_->children_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    parent_ = nullptr;
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    detachQuietly();
    parent_ = parent;
    if (parent_) parent_->children_.push_back(this);
    PropertyChanged(Prop::Parent);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

bool TControl::Showing() const {
    for (const TControl* c = this; c; c = c->parent_) {
        if (!c->Visible) return false;
        if (dynamic_cast<const TForm*>(c)) return true;
    }
    // A control outside any form (a menu item) shows with its owner form.
    const TForm* f = OwnerForm();
    return f && f != static_cast<const TComponent*>(this) && f->Visible;
}

bool TControl::EffectivelyEnabled() const {
    for (const TControl* c = this; c; c = c->parent_)
        if (!c->Enabled) return false;
    return true;
}

void TControl::PropertyChanged(Prop which) {
    Changed(which);
    TApplication* app = OwnerApplication();
    if (!app) return;
    app->desktop().notify([&](Observer& o) { o.propertyChanged(*this, which); });
}

TWinControl::~TWinControl() {
    for (TControl* c : std::vector<TControl*>(children_))
        c->detachQuietly();
    TForm* f = OwnerForm();
    if (f && f->active_ == this) f->active_ = nullptr;
}

bool TWinControl::CanFocus() const {
    if (kind() == Kind::Form) return false;
    return Showing() && EffectivelyEnabled();
}

bool TWinControl::SetFocus() {
    if (!CanFocus()) return false;
    TForm* f = OwnerForm();
    if (!f) return false;
    f->setActive(this);
    return true;
}

bool TWinControl::Focused() const {
    const TForm* f = OwnerForm();
    return f && f->ActiveControl() == this;
}

bool TWinControl::UserKeyDown(WORD key) {
    if (!Showing() || !EffectivelyEnabled()) return false;
    WORD k = key;
    if (OnKeyDown) OnKeyDown(this, k, ssNone);
    if (k != 0) KeyDowned(k);
    return true;
}

bool TWinControl::UserChar(char c) {
    if (!Showing() || !EffectivelyEnabled()) return false;
    char k = c;
    if (OnKeyPress) OnKeyPress(this, k);
    if (k != 0) KeyPressed(k);
    return true;
}

} // namespace vcl

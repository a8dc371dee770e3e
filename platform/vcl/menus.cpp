#include "platform/vcl/menus.h"

#include "platform/vcl/application.h"
#include "platform/vcl/desktop.h"

namespace vcl {

void TMenuItem::Click() {
    if (Menu) Menu->CloseUp();
    TControl::Click();
}

TMenuItem* TPopupMenu::AddItem(const String& name, const String& caption, TNotifyEvent onClick) {
    auto* item = new TMenuItem(Owner() ? Owner() : this);
    item->Name = name;
    item->Caption = caption;
    item->OnClick = std::move(onClick);
    item->Menu = this;
    items_.push_back(item);
    return item;
}

TMenuItem* TPopupMenu::FindItem(const String& nameOrCaption) const {
    for (TMenuItem* i : items_)
        if (i->Name == nameOrCaption || i->Caption == nameOrCaption) return i;
    return nullptr;
}

void TPopupMenu::Popup(int x, int y) {
    x_ = x;
    y_ = y;
    open_ = true;
    if (TApplication* app = OwnerApplication())
        app->desktop().notify([&](Observer& o) { o.popupMenu(*this, true); });
}

void TPopupMenu::CloseUp() {
    if (!open_) return;
    open_ = false;
    if (TApplication* app = OwnerApplication())
        app->desktop().notify([&](Observer& o) { o.popupMenu(*this, false); });
}

} // namespace vcl

// Pop-up menus.
#pragma once

#include "platform/vcl/component.h"

namespace vcl {

class TPopupMenu;

class TMenuItem : public TControl {
  public:
    explicit TMenuItem(TComponent* AOwner) : TControl(AOwner) {}
    Kind kind() const override { return Kind::MenuItem; }
    TPopupMenu* Menu = nullptr;
    // Runs OnClick (closing the menu first when it is open).
    void Click() override;
};

// Popup opens the menu at a screen point and returns at once; the menu
// stays open until an item is chosen (TMenuItem::Click) or CloseUp.
class TPopupMenu : public TComponent {
  public:
    explicit TPopupMenu(TComponent* AOwner) : TComponent(AOwner) {}
    Kind kind() const override { return Kind::PopupMenu; }

    // Adds an item owned by the menu's owner, so the form finds it by name.
    TMenuItem* AddItem(const String& name, const String& caption, TNotifyEvent onClick = {});
    const std::vector<TMenuItem*>& Items() const { return items_; }
    TMenuItem* FindItem(const String& nameOrCaption) const;

    // The window that receives the menu's messages.
    HWND PopupOwner = nullptr;
    void Popup(int x, int y);
    void CloseUp();
    bool IsOpen() const { return open_; }
    int PopupX() const { return x_; }
    int PopupY() const { return y_; }

  private:
    std::vector<TMenuItem*> items_;
    bool open_ = false;
    int x_ = 0;
    int y_ = 0;
};

} // namespace vcl

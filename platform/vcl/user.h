// What a user does to the forms: clicks, keys, typing, choosing. Each call
// runs on the application's thread (hand it over with TApplication::Post or
// Invoke) and refuses what a user could not do: a control that is hidden,
// disabled or of the wrong kind.
#pragma once

#include "platform/vcl/application.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/menus.h"

namespace vcl::user {

struct Result {
    bool ok = true;
    String why; // why it was refused
    explicit operator bool() const { return ok; }
    static Result refused(String why) { return {false, std::move(why)}; }
};

// "TMainForm.btnOk" or "TMainForm" (forms by ClassName or Name; components
// by Name, menu items too). Null when there is none.
TComponent* find(const TApplication& app, const String& path);

// Buttons, check boxes, radio buttons, menu items (of an open menu); an edit
// or combo box takes the focus.
Result click(TComponent& c);
// Focuses the control and gives each character as a key press.
Result type(TComponent& c, const String& text);
// Enter, Backspace, Delete, Tab... (VK_ codes) to the control, focusing it.
Result key(TComponent& c, WORD vk);
// Names for key: "Enter", "Backspace", "Delete", "Tab", "Escape"; 0 unknown.
WORD keyFromName(const String& name);
// Picks the entry of a combo box (or drive list) by its text.
Result select(TComponent& c, const String& item);
// Sets a check box or radio button by clicking it when it differs.
Result check(TComponent& c, bool on);
// The close button of the title bar.
Result close(TComponent& form);
// The minimise button of the title bar.
Result minimize(TComponent& form);
Result restore(TComponent& form);
// Chooses an item of the open pop-up menu by its name or caption.
Result chooseMenu(TApplication& app, const String& item);

} // namespace vcl::user

// Copies of the forms' state, taken on the application's thread and handed
// to the GUI thread, which never reads the forms themselves.
#pragma once

#include "platform/vcl/vcl.h"

#include <string>
#include <vector>

namespace kvqt {

struct ControlState {
    std::string name;
    std::string parent; // name of the parent control; empty: the form
    vcl::Kind kind = vcl::Kind::Label;
    std::string caption;
    std::string text;
    bool visible = true;
    bool enabled = true;
    bool readOnly = false;
    bool checked = false;
    int maxLength = 0;
    char passwordChar = 0;
    int selStart = 0;
    std::vector<std::string> items;     // list entries, memo lines, menu items
    std::vector<std::string> itemNames; // menu items' names
    int itemIndex = -1;
    int position = 0;
    int min = 0;
    int max = 100;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int color = 0;
};

struct FormState {
    std::string className;
    std::string caption;
    bool visible = false;
    bool enabled = true;
    bool stayOnTop = false;
    bool minimized = false;
    int borderIcons = 0;
    vcl::TBorderStyle borderStyle = vcl::bsSizeable;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::string focus;                  // name of the focused control
    std::vector<ControlState> controls; // creation order, menus included
};

ControlState captureControl(const vcl::TComponent& c);
FormState captureForm(const vcl::TForm& f);

} // namespace kvqt

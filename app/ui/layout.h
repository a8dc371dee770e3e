// Placing controls on a form.
#pragma once

#include "platform/vcl/forms.h"

namespace kv::ui {

// Creates a control of the form, named, at the given position and size.
template <class T>
T* Place(vcl::TForm* form, const char* name, int left, int top, int width, int height) {
    T* c = vcl::create<T>(form, name);
    c->Left = left;
    c->Top = top;
    c->Width = width;
    c->Height = height;
    return c;
}

} // namespace kv::ui

// The application's forms find each other through the application that
// owns them.
#pragma once

#include "platform/vcl/application.h"

namespace kv::ui {

template <class T> T* FindForm(const vcl::TComponent& from, const char* className) {
    vcl::TApplication* app = from.OwnerApplication();
    return app ? dynamic_cast<T*>(app->FindForm(className)) : nullptr;
}

} // namespace kv::ui

#include "platform/vcl/registry.h"

#include "platform/vcl/application.h"
#include "platform/win32/registry.h"

namespace vcl {

TRegistry::TRegistry() : TRegistry(win32::KEY_ALL_ACCESS) {}

TRegistry::TRegistry(win32::DWORD access) : RootKey(win32::HKEY_CURRENT_USER), Access(access) {}

TRegistry::~TRegistry() {
    CloseKey();
}

bool TRegistry::OpenKey(const String& path, bool canCreate) {
    String sub = path;
    const bool absolute = !sub.empty() && sub[0] == '\\';
    if (absolute) sub.erase(0, 1);
    String full = absolute || path_.empty() ? sub : path_ + "\\" + sub;
    win32::HKEY base = RootKey;
    win32::HKEY key = nullptr;
    win32::LONG r;
    if (canCreate) {
        win32::DWORD disposition = 0;
        r = win32::RegCreateKeyExA(base, full.c_str(), 0, nullptr, win32::REG_OPTION_NON_VOLATILE,
                                   Access, nullptr, &key, &disposition);
    } else {
        r = win32::RegOpenKeyExA(base, full.c_str(), 0, Access, &key);
    }
    if (r != win32::ERROR_SUCCESS) return false;
    CloseKey();
    current_ = key;
    path_ = full;
    return true;
}

void TRegistry::CloseKey() {
    if (current_) win32::RegCloseKey(current_);
    current_ = nullptr;
    path_.clear();
}

bool TRegistry::ValueExists(const String& name) {
    if (!current_) return false;
    return win32::RegQueryValueExA(current_, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
           win32::ERROR_SUCCESS;
}

std::optional<int> TRegistry::ReadInteger(const String& name) {
    win32::DWORD type = 0;
    win32::DWORD value = 0;
    win32::DWORD size = sizeof value;
    if (!current_ ||
        win32::RegQueryValueExA(current_, name.c_str(), nullptr, &type,
                                reinterpret_cast<win32::BYTE*>(&value),
                                &size) != win32::ERROR_SUCCESS ||
        type != win32::REG_DWORD || size != sizeof value) {
        fail("Cannot read the registry value '" + name + "'");
        return std::nullopt;
    }
    error_.clear();
    return static_cast<int>(value);
}

bool TRegistry::WriteInteger(const String& name, int value) {
    const win32::DWORD v = static_cast<win32::DWORD>(value);
    if (!current_ || win32::RegSetValueExA(current_, name.c_str(), 0, win32::REG_DWORD,
                                           reinterpret_cast<const win32::BYTE*>(&v),
                                           sizeof v) != win32::ERROR_SUCCESS) {
        fail("Cannot write the registry value '" + name + "'");
        return false;
    }
    error_.clear();
    return true;
}

void TRegistry::fail(const String& text) {
    error_ = text;
    if (TApplication* app = TApplication::current()) app->ShowError(text);
}

} // namespace vcl

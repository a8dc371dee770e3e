// The toolkit's registry class. A value that cannot be read is the
// framework's registry error: it is shown as an error box captioned with the
// application title, and the read returns no value, so the caller stops
// where the error would have left it.
#pragma once

#include "platform/vcl/types.h"

#include <optional>

namespace vcl {

class TRegistry {
  public:
    // access: the rights keys are opened with (KEY_ALL_ACCESS by default).
    TRegistry();
    explicit TRegistry(win32::DWORD access);
    ~TRegistry(); // closes the key
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // HKEY_CURRENT_USER by default.
    win32::HKEY RootKey;
    win32::DWORD Access;

    // Opens path (relative to RootKey) as the current key, creating it only
    // when canCreate. False when it does not open.
    bool OpenKey(const String& path, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const { return current_ != nullptr; }
    const String& CurrentPath() const { return path_; }

    bool ValueExists(const String& name);
    // A REG_DWORD value; the registry error (shown) and none when it is
    // missing, of another type, or there is no current key.
    std::optional<int> ReadInteger(const String& name);
    // The registry error (shown) and false when it cannot be written.
    bool WriteInteger(const String& name, int value);

    // The text of the last registry error, empty when none.
    const String& LastError() const { return error_; }

  private:
    void fail(const String& text);
    win32::HKEY current_ = nullptr;
    String path_;
    String error_;
};

} // namespace vcl

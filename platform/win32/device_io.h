// The join between user mode and the simulated kernel: CreateFileA on
// "\\.\NAME", DeviceIoControl and CloseHandle on such handles are served by
// whatever the machine's kernel registers here (the I/O manager of
// platform/wdm). Without one, device names are not found.
#pragma once

#include "platform/win32/types.h"

#include <memory>
#include <string>

namespace win32 {

// An open device file (the kernel's FILE_OBJECT behind a user handle).
class DeviceFile {
  public:
    virtual ~DeviceFile() = default;
};

class KernelDevices {
  public:
    virtual ~KernelDevices() = default;
    // name is what follows "\\.\" (e.g. "KV7946-0"). On failure returns null
    // and sets *error to a Win32 error code.
    virtual std::shared_ptr<DeviceFile> open(const std::string& name, DWORD desiredAccess,
                                             DWORD shareMode, DWORD* error) = 0;
    // METHOD_BUFFERED semantics. On failure returns false, *returned = 0 and
    // *error = the Win32 error mapped from the request's status.
    virtual bool ioControl(DeviceFile& file, DWORD code, const void* in, DWORD inLength, void* out,
                           DWORD outLength, DWORD* returned, DWORD* error) = 0;
    // The last user handle of the file was closed (IRP_MJ_CLOSE).
    virtual void close(DeviceFile& file) = 0;
};

} // namespace win32

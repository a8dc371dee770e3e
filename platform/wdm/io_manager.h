// The I/O manager's user-mode side: serves "\\.\NAME" opens, device control
// and close for the simulated Win32 machine, with METHOD_BUFFERED copies and
// share access as the real one does them.
#pragma once

#include "platform/wdm/kernel.h"
#include "platform/win32/device_io.h"

namespace wdm {

// Sends a kernel-owned IRP (allocateManagerIrp) to target, waits for it to
// complete and returns its final status. Checks that STATUS_PENDING and
// IoMarkIrpPending go together.
NTSTATUS sendAndWait(Kernel& kernel, PDEVICE_OBJECT target, PIRP irp);

class IoManager : public win32::KernelDevices {
  public:
    explicit IoManager(Kernel& kernel) : kernel_(kernel) {}

    std::shared_ptr<win32::DeviceFile> open(const std::string& name, win32::DWORD desiredAccess,
                                            win32::DWORD shareMode, win32::DWORD* error) override;
    bool ioControl(win32::DeviceFile& file, win32::DWORD code, const void* in,
                   win32::DWORD inLength, void* out, win32::DWORD outLength, win32::DWORD* returned,
                   win32::DWORD* error) override;
    void close(win32::DeviceFile& file) override;

    // The NTSTATUS of the last request that ioControl or open sent.
    NTSTATUS lastStatus() const { return lastStatus_; }

  private:
    Kernel& kernel_;
    NTSTATUS lastStatus_ = STATUS_SUCCESS;
};

} // namespace wdm

#include "drivers/filter/filter.h"

#include "platform/usb/usbd.h"

namespace kv7946 {

namespace {
constexpr LONGLONG kUrbTimeout = -100000000LL; // 10 seconds, relative
} // namespace

NTSTATUS SubmitUrbSync(PDEVICE_OBJECT LowerDeviceObject, usb::PURB Urb) {
    KEVENT event;
    IO_STATUS_BLOCK ioStatus{};
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    PIRP irp = IoBuildDeviceIoControlRequest(usb::IOCTL_INTERNAL_USB_SUBMIT_URB, LowerDeviceObject,
                                             nullptr, 0, nullptr, 0, TRUE, &event, &ioStatus);
    if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = Urb;
    // The request comes back to us before it is freed, so a cancelled one
    // can be waited for.
    IoSetCompletionRoutine(irp, OnRequestComplete, &event, TRUE, TRUE, TRUE);

    NTSTATUS status = IofCallDriver(LowerDeviceObject, irp);
    bool timedOut = false;
    if (status == STATUS_PENDING) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = kUrbTimeout;
        if (KeWaitForSingleObject(&event, Suspended, KernelMode, FALSE, &timeout) ==
            STATUS_TIMEOUT) {
            timedOut = true;
            IoCancelIrp(irp);
            KeWaitForSingleObject(&event, Suspended, KernelMode, FALSE, nullptr);
        }
        status = irp->IoStatus.Status;
    }
    // Let the I/O manager finish and free the request.
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    if (timedOut) {
        ioStatus.Status = STATUS_IO_TIMEOUT;
        ioStatus.Information = 0;
        return STATUS_IO_TIMEOUT;
    }
    return status;
}

NTSTATUS UnconfigureDevice(PDEVICE_OBJECT DeviceObject) {
    constexpr USHORT size = sizeof(usb::_URB_SELECT_CONFIGURATION);
    auto* urb = static_cast<usb::PURB>(ExAllocatePoolWithTag(NonPagedPool, size, kPoolTag));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(urb, size);
    urb->UrbHeader.Length = size;
    urb->UrbHeader.Function = usb::URB_FUNCTION_SELECT_CONFIGURATION;
    urb->UrbSelectConfiguration.ConfigurationDescriptor = nullptr;
    SubmitUrbSync(Extension(DeviceObject)->LowerDeviceObject, urb);
    ExFreePool(urb);
    return STATUS_SUCCESS;
}

} // namespace kv7946

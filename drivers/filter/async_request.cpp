#include "drivers/filter/control_codes.h"
#include "drivers/filter/filter.h"

#include "platform/usb/usbd.h"

namespace kv7946 {

NTSTATUS SendVendorRequestAsync(PDEVICE_OBJECT DeviceObject, const UCHAR* Block) {
    constexpr USHORT size = sizeof(usb::_URB_CONTROL_VENDOR_OR_CLASS_REQUEST);
    PDEVICE_OBJECT lower = Extension(DeviceObject)->LowerDeviceObject;
    auto* urb = static_cast<usb::PURB>(ExAllocatePoolWithTag(NonPagedPool, size, kPoolTag));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(urb, size);

    USHORT length = static_cast<USHORT>(Block[6] | Block[7] << 8);
    PVOID copy = nullptr;
    if (length) {
        copy = ExAllocatePoolWithTag(NonPagedPool, length, kPoolTag);
        if (!copy) {
            ExFreePool(urb);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
        RtlCopyMemory(copy, Block + kBlockHeaderSize, length);
    }

    auto& r = urb->UrbControlVendorClassRequest;
    r.Hdr.Length = size;
    r.Hdr.Function = usb::URB_FUNCTION_VENDOR_DEVICE;
    r.TransferFlags = usb::USBD_TRANSFER_DIRECTION_OUT;
    r.Request = Block[0];
    r.Value = static_cast<USHORT>(Block[2] | Block[3] << 8);
    r.Index = static_cast<USHORT>(Block[4] | Block[5] << 8);
    r.TransferBufferLength = length;
    r.TransferBuffer = copy;

    PIRP irp = IoAllocateIrp(lower->StackSize, FALSE);
    if (!irp) {
        if (copy) ExFreePool(copy);
        ExFreePool(urb);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = usb::IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = urb;
    IoSetCompletionRoutine(irp, OnAsyncRequestComplete, urb, TRUE, TRUE, TRUE);
    IofCallDriver(lower, irp);
    return STATUS_SUCCESS;
}

NTSTATUS OnAsyncRequestComplete(PDEVICE_OBJECT, PIRP Irp, PVOID Context) {
    auto* urb = static_cast<usb::PURB>(Context);
    auto& r = urb->UrbControlVendorClassRequest;
    Irp->IoStatus.Information = r.TransferBufferLength;
    if (r.TransferBuffer) ExFreePool(r.TransferBuffer);
    IoFreeIrp(Irp);
    ExFreePool(urb);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

} // namespace kv7946

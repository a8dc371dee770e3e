#include "drivers/filter/filter.h"

#include "drivers/filter/transfer_map.h"

namespace kv7946 {

namespace {
constexpr USHORT kControlUrbSize = sizeof(usb::_URB_CONTROL_VENDOR_OR_CLASS_REQUEST);
static_assert(sizeof(usb::_URB_CONTROL_DESCRIPTOR_REQUEST) == kControlUrbSize);
} // namespace

NTSTATUS SendVendorRequest(PDEVICE_OBJECT DeviceObject, ULONG TransferFlags, UCHAR Request,
                           USHORT Value, USHORT Index, ULONG Length, PVOID Buffer) {
    auto* urb =
        static_cast<usb::PURB>(ExAllocatePoolWithTag(NonPagedPool, kControlUrbSize, kPoolTag));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(urb, kControlUrbSize);
    auto& r = urb->UrbControlVendorClassRequest;
    r.Hdr.Length = kControlUrbSize;
    r.Hdr.Function = usb::URB_FUNCTION_VENDOR_DEVICE;
    r.TransferFlags = TransferFlags;
    r.TransferBufferLength = Length;
    r.TransferBuffer = Buffer;
    r.TransferBufferMDL = nullptr;
    r.UrbLink = nullptr;
    r.RequestTypeReservedBits = 0;
    r.Request = Request;
    r.Value = Value;
    r.Index = Index;
    NTSTATUS status = SubmitUrbSync(Extension(DeviceObject)->LowerDeviceObject, urb);
    ExFreePool(urb);
    return status;
}

NTSTATUS GetDescriptor(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length,
                       UCHAR DescriptorType, UCHAR Index, PULONG ByteCount) {
    *ByteCount = 0;
    if (!Buffer) return STATUS_INSUFFICIENT_RESOURCES;
    auto* urb =
        static_cast<usb::PURB>(ExAllocatePoolWithTag(NonPagedPool, kControlUrbSize, kPoolTag));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(urb, kControlUrbSize);
    auto& r = urb->UrbControlDescriptorRequest;
    r.Hdr.Length = kControlUrbSize;
    r.Hdr.Function = usb::URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;
    r.TransferBufferLength = Length;
    r.TransferBuffer = Buffer;
    r.TransferBufferMDL = nullptr;
    r.UrbLink = nullptr;
    r.Index = Index;
    r.DescriptorType = DescriptorType;
    r.LanguageId = 0;
    NTSTATUS status = SubmitUrbSync(Extension(DeviceObject)->LowerDeviceObject, urb);
    *ByteCount = r.TransferBufferLength;
    ExFreePool(urb);
    return status;
}

NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    IoIncrement(DeviceObject);
    PFILTER_EXTENSION ext = Extension(DeviceObject);
    NTSTATUS status;
    ULONG information = 0;
    if (!ext->Accepting) {
        status = STATUS_DELETE_PENDING;
    } else {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
        ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
        auto* buffer = static_cast<PUCHAR>(Irp->AssociatedIrp.SystemBuffer);
        TransferPlan plan =
            PlanTransfer(stack->Parameters.DeviceIoControl.IoControlCode, buffer,
                         stack->Parameters.DeviceIoControl.InputBufferLength, outputLength);
        status = plan.refusal;
        if (NT_SUCCESS(status)) {
            switch (plan.kind) {
            case TransferKind::None:
                status = STATUS_SUCCESS;
                break;
            case TransferKind::Vendor:
                status = SendVendorRequest(DeviceObject, plan.transferFlags, plan.request,
                                           plan.value, plan.index, plan.length,
                                           plan.noBuffer ? nullptr : buffer + plan.bufferOffset);
                if (NT_SUCCESS(status) && plan.byteCount == ByteCount::OutputLengthOnSuccess)
                    information = outputLength;
                break;
            case TransferKind::Descriptor:
                status = GetDescriptor(DeviceObject, buffer, plan.length, plan.descriptorType,
                                       plan.descriptorIndex, &information);
                break;
            case TransferKind::VendorAsync:
                status = SendVendorRequestAsync(DeviceObject, buffer);
                break;
            }
        }
    }
    Irp->IoStatus.Information = information;
    Irp->IoStatus.Status = status;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    IoDecrement(DeviceObject);
    return status;
}

} // namespace kv7946

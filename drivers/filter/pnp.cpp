#include "drivers/filter/filter.h"

namespace kv7946 {

namespace {

NTSTATUS PassDown(PFILTER_EXTENSION ext, PIRP Irp) {
    IoCopyCurrentIrpStackLocationToNext(Irp);
    return IofCallDriver(ext->LowerDeviceObject, Irp);
}

void SetSuccess(PIRP Irp) {
    Irp->IoStatus.Status = STATUS_SUCCESS;
    Irp->IoStatus.Information = 0;
}

// Sends the request down and waits until the lower drivers are done with it.
NTSTATUS ForwardAndWait(PFILTER_EXTENSION ext, PIRP Irp) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(Irp);
    IoSetCompletionRoutine(Irp, OnRequestComplete, &event, TRUE, TRUE, TRUE);
    NTSTATUS status = IofCallDriver(ext->LowerDeviceObject, Irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Suspended, KernelMode, FALSE, nullptr);
        status = Irp->IoStatus.Status;
    }
    return status;
}

NTSTATUS CompleteWith(PIRP Irp, NTSTATUS status) {
    Irp->IoStatus.Status = status;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
}

} // namespace

NTSTATUS OnRequestComplete(PDEVICE_OBJECT, PIRP, PVOID Context) {
    KeSetEvent(static_cast<PKEVENT>(Context), 1, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS DispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PFILTER_EXTENSION ext = Extension(DeviceObject);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    IoIncrement(DeviceObject);

    if (stack->MajorFunction == IRP_MJ_SYSTEM_CONTROL) {
        IoCopyCurrentIrpStackLocationToNext(Irp);
        IoDecrement(DeviceObject);
        return IofCallDriver(ext->LowerDeviceObject, Irp);
    }

    NTSTATUS status;
    switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
        SetSuccess(Irp);
        ForwardAndWait(ext, Irp);
        ext->DevicePowerState = PowerDeviceD0;
        // A start after a stop reopens the channel.
        ext->Accepting = TRUE;
        Irp->IoStatus.Information = 0;
        CompleteWith(Irp, STATUS_SUCCESS);
        IoDecrement(DeviceObject);
        return STATUS_SUCCESS;

    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
        ext->Accepting = FALSE;
        ext->DevicePowerState = PowerDeviceD3;
        SetSuccess(Irp);
        status = PassDown(ext, Irp);
        IoDecrement(DeviceObject);
        return status;

    case IRP_MN_REMOVE_DEVICE: {
        ext->Accepting = FALSE;
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, ext->LinkName);
        IoDeleteSymbolicLink(&link);
        IoDecrement(DeviceObject);
        IoDecrement(DeviceObject);
        KeWaitForSingleObject(&ext->RemoveEvent, Executive, KernelMode, FALSE, nullptr);
        PDEVICE_OBJECT lower = ext->LowerDeviceObject;
        IoDetachDevice(lower);
        IoDeleteDevice(DeviceObject);
        SetSuccess(Irp);
        IoCopyCurrentIrpStackLocationToNext(Irp);
        return IofCallDriver(lower, Irp);
    }

    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        ext->DevicePowerState = PowerDeviceD0;
        ext->Accepting = TRUE;
        SetSuccess(Irp);
        status = PassDown(ext, Irp);
        IoDecrement(DeviceObject);
        return status;

    case IRP_MN_STOP_DEVICE:
        status = UnconfigureDevice(DeviceObject);
        Irp->IoStatus.Status = status;
        Irp->IoStatus.Information = 0;
        ext->Accepting = FALSE;
        status = NT_SUCCESS(status) ? PassDown(ext, Irp) : CompleteWith(Irp, status);
        IoDecrement(DeviceObject);
        return status;

    case IRP_MN_QUERY_CAPABILITIES: {
        SetSuccess(Irp);
        ForwardAndWait(ext, Irp);
        PDEVICE_CAPABILITIES caps = stack->Parameters.DeviceCapabilities.Capabilities;
        if (caps) caps->SurpriseRemovalOK = 1;
        Irp->IoStatus.Information = 0;
        CompleteWith(Irp, STATUS_SUCCESS);
        IoDecrement(DeviceObject);
        return STATUS_SUCCESS;
    }

    case IRP_MN_SURPRISE_REMOVAL:
        IoDecrement(DeviceObject);
        ext->Accepting = FALSE;
        SetSuccess(Irp);
        return PassDown(ext, Irp);

    default:
        // Requests this driver does not handle keep the status their sender set.
        status = PassDown(ext, Irp);
        IoDecrement(DeviceObject);
        return status;
    }
}

} // namespace kv7946

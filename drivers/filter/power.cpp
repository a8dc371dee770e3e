#include "drivers/filter/filter.h"

namespace kv7946 {

namespace {

NTSTATUS PassDownPower(PFILTER_EXTENSION ext, PIRP Irp) {
    PoStartNextPowerIrp(Irp);
    IoCopyCurrentIrpStackLocationToNext(Irp);
    return PoCallDriver(ext->LowerDeviceObject, Irp);
}

} // namespace

NTSTATUS DispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PFILTER_EXTENSION ext = Extension(DeviceObject);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    IoIncrement(DeviceObject);

    if (stack->MinorFunction == IRP_MN_SET_POWER &&
        stack->Parameters.Power.Type == SystemPowerState) {
        DEVICE_POWER_STATE wanted = stack->Parameters.Power.State.SystemState == PowerSystemWorking
                                        ? PowerDeviceD0
                                        : PowerDeviceD3;
        if (wanted == ext->DevicePowerState) {
            NTSTATUS status = PassDownPower(ext, Irp);
            IoDecrement(DeviceObject);
            return status;
        }
        ext->PendingSystemPowerIrp = Irp;
        IoMarkIrpPending(Irp);
        POWER_STATE state;
        state.DeviceState = wanted;
        NTSTATUS status = PoRequestPowerIrp(ext->PhysicalDeviceObject, IRP_MN_SET_POWER, state,
                                            OnDevicePowerRequestComplete, DeviceObject, nullptr);
        if (!NT_SUCCESS(status)) {
            // No device request will come back: the system request goes on now.
            ext->PendingSystemPowerIrp = nullptr;
            PassDownPower(ext, Irp);
            IoDecrement(DeviceObject);
        }
        return STATUS_PENDING;
    }

    if (stack->MinorFunction == IRP_MN_SET_POWER &&
        stack->Parameters.Power.Type == DevicePowerState) {
        DEVICE_POWER_STATE state = stack->Parameters.Power.State.DeviceState;
        if (state != PowerDeviceD0) {
            ext->DevicePowerState = state;
            NTSTATUS status = PassDownPower(ext, Irp);
            IoDecrement(DeviceObject);
            return status;
        }
        IoCopyCurrentIrpStackLocationToNext(Irp);
        IoSetCompletionRoutine(Irp, OnDeviceD0Complete, nullptr, TRUE, TRUE, TRUE);
        PoStartNextPowerIrp(Irp);
        return PoCallDriver(ext->LowerDeviceObject, Irp);
    }

    // Query power, power sequence, wait-wake and the rest.
    NTSTATUS status = PassDownPower(ext, Irp);
    IoDecrement(DeviceObject);
    return status;
}

void OnDevicePowerRequestComplete(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID Context,
                                  PIO_STATUS_BLOCK) {
    auto* deviceObject = static_cast<PDEVICE_OBJECT>(Context);
    PFILTER_EXTENSION ext = Extension(deviceObject);
    PIRP systemIrp = ext->PendingSystemPowerIrp;
    ext->PendingSystemPowerIrp = nullptr;
    PassDownPower(ext, systemIrp);
    IoDecrement(deviceObject);
}

NTSTATUS OnDeviceD0Complete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID) {
    if (Irp->PendingReturned) IoMarkIrpPending(Irp);
    PFILTER_EXTENSION ext = Extension(DeviceObject);
    ext->DevicePowerState = PowerDeviceD0;
    Irp->IoStatus.Status = STATUS_SUCCESS;
    IoDecrement(DeviceObject);
    return STATUS_SUCCESS;
}

} // namespace kv7946

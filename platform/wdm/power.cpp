// The power manager's calls.
#include "platform/wdm/kernel_impl.h"

namespace wdm {

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP* Irp) {
    Kernel& k = currentKernel();
    {
        std::lock_guard lock(k.impl().m);
        k.impl().powerRequests++;
    }
    if (MinorFunction != IRP_MN_SET_POWER && MinorFunction != IRP_MN_QUERY_POWER &&
        MinorFunction != IRP_MN_WAIT_WAKE)
        return STATUS_INVALID_PARAMETER;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(DeviceObject);
    if (k.injectIrpFailure()) return STATUS_INSUFFICIENT_RESOURCES;
    PIRP irp = allocateManagerIrp(k, top->StackSize);
    int depth = top->StackSize;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    irp->State->freeOnFinal = true;
    irp->State->onFinal = [&k, DeviceObject, MinorFunction, PowerState, CompletionFunction, Context,
                           depth](PIRP done) {
        if (MinorFunction != IRP_MN_WAIT_WAKE && done->State->startNextPowerCalls < depth)
            k.verifier().report("power IRP completed without PoStartNextPowerIrp in every driver");
        if (CompletionFunction)
            CompletionFunction(DeviceObject, MinorFunction, PowerState, Context, &done->IoStatus);
    };
    PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_POWER;
    s->MinorFunction = MinorFunction;
    if (MinorFunction == IRP_MN_WAIT_WAKE) {
        s->Parameters.WaitWake.PowerState = PowerState.SystemState;
    } else {
        s->Parameters.Power.Type = DevicePowerState;
        s->Parameters.Power.State = PowerState;
    }
    if (Irp) *Irp = irp;
    PoCallDriver(top, irp);
    return STATUS_PENDING;
}

void PoStartNextPowerIrp(PIRP Irp) {
    if (Irp && Irp->State) Irp->State->startNextPowerCalls++;
}

NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    return IofCallDriver(DeviceObject, Irp);
}

POWER_STATE PoSetPowerState(PDEVICE_OBJECT, POWER_STATE_TYPE, POWER_STATE State) {
    return State;
}

} // namespace wdm

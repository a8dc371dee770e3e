// IRPs: allocation, sending, completion and cancel.
#include "platform/wdm/kernel_impl.h"

#include <cstdlib>
#include <cstring>

namespace wdm {

namespace {

void initialize(PIRP irp, USHORT size, CCHAR stackSize) {
    IrpState* state = irp->State;
    std::memset(irp, 0, size);
    irp->State = state;
    irp->Type = 6;
    irp->Size = size;
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CCHAR>(stackSize + 1);
    auto* stack = reinterpret_cast<IO_STACK_LOCATION*>(irp + 1);
    irp->Tail.Overlay.CurrentStackLocation = stack + stackSize;
}

PIRP allocate(Kernel& k, CCHAR stackSize, IrpState::Kind kind) {
    auto& impl = k.impl();
    std::lock_guard lock(impl.m);
    if (kind != IrpState::Kind::Manager && k.injectIrpFailure()) return nullptr;
    USHORT size = IoSizeOfIrp(stackSize);
    auto* irp = static_cast<PIRP>(std::calloc(1, size));
    irp->State = new IrpState;
    irp->State->kind = kind;
    initialize(irp, size, stackSize);
    impl.irps.insert(irp);
    return irp;
}

bool live(Kernel& k, PIRP irp) {
    std::lock_guard lock(k.impl().m);
    return k.impl().irps.count(irp) != 0;
}

Kernel& kernelOf(PIRP) {
    return currentKernel();
}

// The I/O manager's part of completion, once no stack location is left.
void finalCompletion(Kernel& k, PIRP irp) {
    IrpState* st = irp->State;
    switch (st->kind) {
    case IrpState::Kind::Built: {
        if (st->outputBuffer && irp->AssociatedIrp.SystemBuffer &&
            !NT_ERROR(irp->IoStatus.Status)) {
            ULONG n = static_cast<ULONG>(irp->IoStatus.Information);
            if (n > st->outputLength) {
                k.verifier().report("IRP Information larger than its output buffer");
                n = st->outputLength;
            }
            std::memcpy(st->outputBuffer, irp->AssociatedIrp.SystemBuffer, n);
        }
        if (irp->UserIosb) *irp->UserIosb = irp->IoStatus;
        PKEVENT event = irp->UserEvent;
        freeIrpMemory(k, irp);
        if (event) KeSetEvent(event, IO_NO_INCREMENT, FALSE);
        return;
    }
    case IrpState::Kind::Manager: {
        st->completedToTop = true;
        if (st->onFinal) st->onFinal(irp);
        if (st->freeOnFinal) {
            freeIrpMemory(k, irp);
        } else {
            st->done.Header.SignalState = 1;
            k.wakeWaiters();
        }
        return;
    }
    case IrpState::Kind::Allocated:
    case IrpState::Kind::DriverMemory:
        st->completedToTop = true;
        k.verifier().report("IRP from IoAllocateIrp completed with no completion routine to "
                            "take it back");
        return;
    }
}

} // namespace

void freeIrpMemory(Kernel& k, PIRP irp) {
    {
        std::lock_guard lock(k.impl().m);
        k.impl().irps.erase(irp);
    }
    IrpState* st = irp->State;
    if (st->ownSystemBuffer) std::free(irp->AssociatedIrp.SystemBuffer);
    bool driverMemory = st->kind == IrpState::Kind::DriverMemory;
    delete st;
    if (!driverMemory) std::free(irp);
}

USHORT IoSizeOfIrp(CCHAR StackSize) {
    return static_cast<USHORT>(sizeof(IRP) + StackSize * sizeof(IO_STACK_LOCATION));
}

PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN) {
    return allocate(currentKernel(), StackSize, IrpState::Kind::Allocated);
}

void IoInitializeIrp(PIRP Irp, USHORT PacketSize, CCHAR StackSize) {
    Kernel& k = currentKernel();
    if (PacketSize < IoSizeOfIrp(StackSize)) {
        k.verifier().report("IoInitializeIrp with a packet too small for its stack");
        return;
    }
    if (live(k, Irp)) {
        if (Irp->CancelRoutine)
            k.verifier().report("IoInitializeIrp on an IRP with a cancel routine");
        IrpState* st = Irp->State;
        st->completedToTop = false;
        st->startNextPowerCalls = 0;
        initialize(Irp, PacketSize, StackSize);
        return;
    }
    // Memory the driver allocated itself.
    Irp->State = new IrpState;
    Irp->State->kind = IrpState::Kind::DriverMemory;
    initialize(Irp, PacketSize, StackSize);
    std::lock_guard lock(k.impl().m);
    k.impl().irps.insert(Irp);
}

void IoReuseIrp(PIRP Irp, NTSTATUS Status) {
    IoInitializeIrp(Irp, Irp->Size, Irp->StackCount);
    Irp->IoStatus.Status = Status;
}

void IoFreeIrp(PIRP Irp) {
    Kernel& k = currentKernel();
    if (!live(k, Irp)) {
        k.verifier().report("IoFreeIrp of an IRP that is not allocated");
        return;
    }
    if (Irp->State->kind != IrpState::Kind::Allocated) {
        k.verifier().report("IoFreeIrp of an IRP not from IoAllocateIrp");
        return;
    }
    if (Irp->CancelRoutine) k.verifier().report("IoFreeIrp of an IRP with a cancel routine set");
    freeIrpMemory(k, Irp);
}

PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock) {
    Kernel& k = currentKernel();
    PIRP irp = allocate(k, DeviceObject->StackSize, IrpState::Kind::Built);
    if (!irp) return nullptr;
    PIO_STACK_LOCATION s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction =
        InternalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    s->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
    s->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
    s->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
    if (METHOD_FROM_CTL_CODE(IoControlCode) == METHOD_BUFFERED) {
        ULONG n = InputBufferLength > OutputBufferLength ? InputBufferLength : OutputBufferLength;
        if (n) {
            irp->AssociatedIrp.SystemBuffer = std::calloc(1, n);
            irp->State->ownSystemBuffer = true;
            if (InputBuffer && InputBufferLength)
                std::memcpy(irp->AssociatedIrp.SystemBuffer, InputBuffer, InputBufferLength);
            irp->State->outputBuffer = OutputBuffer;
            irp->State->outputLength = OutputBufferLength;
        }
    } else {
        s->Parameters.DeviceIoControl.Type3InputBuffer = InputBuffer;
        irp->UserBuffer = OutputBuffer;
    }
    irp->UserIosb = IoStatusBlock;
    irp->UserEvent = Event;
    irp->RequestorMode = KernelMode;
    return irp;
}

NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    Kernel& k = kernelOf(Irp);
    if (!live(k, Irp)) {
        k.verifier().report("IofCallDriver with an IRP that is not allocated");
        return STATUS_INVALID_PARAMETER;
    }
    ThreadContext* ctx = currentContext();
    if (ctx->irql > DISPATCH_LEVEL) k.verifier().report("IofCallDriver above DISPATCH_LEVEL");
    {
        std::lock_guard lock(k.impl().m);
        if (!k.impl().allDevices.count(DeviceObject)) {
            k.verifier().report("IRP sent to a device object that does not exist");
            return STATUS_NO_SUCH_DEVICE;
        }
    }
    IoSetNextIrpStackLocation(Irp);
    if (Irp->CurrentLocation <= 0) {
        k.verifier().report("IRP sent with no stack location left");
        IoSkipCurrentIrpStackLocation(Irp);
        return STATUS_INVALID_PARAMETER;
    }
    PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(Irp);
    s->DeviceObject = DeviceObject;
    KIRQL before = ctx->irql;
    NTSTATUS status =
        DeviceObject->DriverObject->MajorFunction[s->MajorFunction](DeviceObject, Irp);
    if (ctx->irql != before) {
        k.verifier().report("dispatch routine returned at another IRQL");
        ctx->irql = before;
    }
    return status;
}

void IofCompleteRequest(PIRP Irp, KPRIORITY) {
    Kernel& k = kernelOf(Irp);
    if (!live(k, Irp)) {
        k.verifier().report("IRP completed twice (or completed after it was freed)");
        return;
    }
    IrpState* st = Irp->State;
    if (Irp->CurrentLocation > Irp->StackCount + 1 || st->completedToTop) {
        k.verifier().report("IRP completed twice");
        return;
    }
    if (Irp->IoStatus.Status == STATUS_PENDING) {
        k.verifier().report("IRP completed with STATUS_PENDING");
    }
    if (Irp->CancelRoutine) {
        k.verifier().report("IRP completed with its cancel routine still set");
        Irp->CancelRoutine = nullptr;
    }
    while (Irp->CurrentLocation <= Irp->StackCount) {
        PIO_STACK_LOCATION s = IoGetCurrentIrpStackLocation(Irp);
        Irp->PendingReturned = (s->Control & SL_PENDING_RETURNED) != 0;
        NTSTATUS status = Irp->IoStatus.Status;
        bool invoke =
            s->CompletionRoutine && ((NT_SUCCESS(status) && (s->Control & SL_INVOKE_ON_SUCCESS)) ||
                                     (NT_ERROR(status) && (s->Control & SL_INVOKE_ON_ERROR)) ||
                                     (Irp->Cancel && (s->Control & SL_INVOKE_ON_CANCEL)) ||
                                     (NT_WARNING(status) && (s->Control & SL_INVOKE_ON_ERROR)));
        PIO_COMPLETION_ROUTINE routine = s->CompletionRoutine;
        PVOID context = s->Context;
        s->Control = 0;
        s->CompletionRoutine = nullptr;
        s->Context = nullptr;
        IoSkipCurrentIrpStackLocation(Irp);
        if (invoke) {
            PDEVICE_OBJECT device = Irp->CurrentLocation <= Irp->StackCount
                                        ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                                        : nullptr;
            if (routine(device, Irp, context) == STATUS_MORE_PROCESSING_REQUIRED) return;
        } else if (Irp->PendingReturned && Irp->CurrentLocation <= Irp->StackCount) {
            IoMarkIrpPending(Irp);
        }
    }
    finalCompletion(k, Irp);
}

void IoAcquireCancelSpinLock(PKIRQL Irql) {
    ThreadContext* ctx = currentContext();
    auto& impl = ctx->kernel->impl();
    if (impl.cancelLockHeld) ctx->kernel->verifier().report("cancel spin lock acquired twice");
    impl.cancelLockHeld = true;
    KeRaiseIrql(DISPATCH_LEVEL, Irql);
}

void IoReleaseCancelSpinLock(KIRQL Irql) {
    ThreadContext* ctx = currentContext();
    auto& impl = ctx->kernel->impl();
    if (!impl.cancelLockHeld) ctx->kernel->verifier().report("cancel spin lock released twice");
    impl.cancelLockHeld = false;
    KeLowerIrql(Irql);
}

PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL CancelRoutine) {
    PDRIVER_CANCEL old = Irp->CancelRoutine;
    Irp->CancelRoutine = CancelRoutine;
    return old;
}

BOOLEAN IoCancelIrp(PIRP Irp) {
    Kernel& k = kernelOf(Irp);
    if (!live(k, Irp)) {
        k.verifier().report("IoCancelIrp of an IRP that is not allocated");
        return FALSE;
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    Irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, nullptr);
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    Irp->CancelIrql = irql;
    PDEVICE_OBJECT device = Irp->CurrentLocation <= Irp->StackCount
                                ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                                : nullptr;
    routine(device, Irp);
    return TRUE;
}

PIRP allocateManagerIrp(Kernel& kernel, CCHAR stackSize) {
    return allocate(kernel, stackSize, IrpState::Kind::Manager);
}

void freeManagerIrp(PIRP irp) {
    if (irp->State->freeOnFinal) return; // abandoned by its sender
    freeIrpMemory(currentKernel(), irp);
}

void waitManagerIrp(PIRP irp) {
    KeWaitForSingleObject(&irp->State->done, Executive, KernelMode, FALSE, nullptr);
}

} // namespace wdm

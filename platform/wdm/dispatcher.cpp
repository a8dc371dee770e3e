// Events, waits, IRQL, spin locks and interlocked operations.
#include "platform/wdm/kernel_impl.h"

#include <atomic>
#include <optional>

namespace wdm {

namespace {

// 100-ns units from 1601 to the simulated machine's epoch (2004-01-01).
constexpr LONGLONG kEpoch = 127174464000000000LL;

bool satisfied(DISPATCHER_HEADER* h) {
    return h->SignalState > 0;
}

void consume(DISPATCHER_HEADER* h) {
    if (h->Type == DispatcherSynchronizationEvent) h->SignalState = 0;
}

std::optional<vt::Duration> toDuration(Kernel& k, PLARGE_INTEGER timeout) {
    if (!timeout) return std::nullopt;
    LONGLONG t = timeout->QuadPart;
    if (t <= 0) return vt::Duration(-t * 100);
    LONGLONG now = kEpoch + k.clock().now().count() / 100;
    return vt::Duration(t > now ? (t - now) * 100 : 0);
}

} // namespace

void KeInitializeEvent(PKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
    Event->Header.Type =
        Type == NotificationEvent ? DispatcherNotificationEvent : DispatcherSynchronizationEvent;
    Event->Header.SignalState = State ? 1 : 0;
}

LONG KeSetEvent(PKEVENT Event, KPRIORITY, BOOLEAN) {
    LONG old = Event->Header.SignalState;
    Event->Header.SignalState = 1;
    if (ThreadContext* ctx = currentContext(); ctx && ctx->kernel) ctx->kernel->wakeWaiters();
    return old;
}

LONG KeResetEvent(PKEVENT Event) {
    LONG old = Event->Header.SignalState;
    Event->Header.SignalState = 0;
    return old;
}

void KeClearEvent(PKEVENT Event) {
    Event->Header.SignalState = 0;
}

LONG KeReadStateEvent(PKEVENT Event) {
    return Event->Header.SignalState;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN,
                               PLARGE_INTEGER Timeout) {
    Kernel& k = currentKernel();
    auto* h = static_cast<DISPATCHER_HEADER*>(Object);
    std::optional<vt::Duration> wait = toDuration(k, Timeout);
    bool zero = wait && wait->count() == 0;
    if (currentContext()->irql >= DISPATCH_LEVEL && !zero)
        k.verifier().report("KeWaitForSingleObject at DISPATCH_LEVEL");
    std::optional<vt::TimePoint> deadline;
    if (wait) deadline = k.clock().now() + *wait;
    for (;;) {
        if (satisfied(h)) {
            consume(h);
            return STATUS_SUCCESS;
        }
        std::optional<vt::Duration> left;
        if (deadline) {
            vt::TimePoint now = k.clock().now();
            if (now >= *deadline) return STATUS_TIMEOUT;
            left = *deadline - now;
        }
        k.impl().dispatcher.wait(left);
    }
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER Interval) {
    Kernel& k = currentKernel();
    if (currentContext()->irql >= DISPATCH_LEVEL)
        k.verifier().report("KeDelayExecutionThread at DISPATCH_LEVEL");
    std::optional<vt::Duration> d = toDuration(k, Interval);
    if (d) k.clock().sleep(*d);
    return STATUS_SUCCESS;
}

void KeStallExecutionProcessor(ULONG) {}

void KeQuerySystemTime(PLARGE_INTEGER CurrentTime) {
    CurrentTime->QuadPart = kEpoch + currentKernel().clock().now().count() / 100;
}

KIRQL KeGetCurrentIrql() {
    ThreadContext* ctx = currentContext();
    return ctx ? ctx->irql : PASSIVE_LEVEL;
}

void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
    ThreadContext* ctx = currentContext();
    *OldIrql = ctx->irql;
    if (NewIrql < ctx->irql) ctx->kernel->verifier().report("KeRaiseIrql to a lower IRQL");
    ctx->irql = NewIrql;
}

void KeLowerIrql(KIRQL NewIrql) {
    ThreadContext* ctx = currentContext();
    if (NewIrql > ctx->irql) ctx->kernel->verifier().report("KeLowerIrql to a higher IRQL");
    ctx->irql = NewIrql;
}

PKTHREAD KeGetCurrentThread() {
    return currentContext()->thread;
}

KPRIORITY KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority) {
    KPRIORITY old = Thread->Priority;
    Thread->Priority = Priority;
    return old;
}

LONG InterlockedIncrement(LONG volatile* Addend) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(Addend)).fetch_add(1) + 1;
}

LONG InterlockedDecrement(LONG volatile* Addend) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(Addend)).fetch_sub(1) - 1;
}

LONG InterlockedExchange(LONG volatile* Target, LONG Value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(Target)).exchange(Value);
}

LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand) {
    std::atomic_ref<LONG>(*const_cast<LONG*>(Destination))
        .compare_exchange_strong(Comparand, Exchange);
    return Comparand;
}

PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value) {
    return std::atomic_ref<PVOID>(*const_cast<PVOID*>(Target)).exchange(Value);
}

void KeInitializeSpinLock(PKSPIN_LOCK SpinLock) {
    *SpinLock = 0;
}

void KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
    ThreadContext* ctx = currentContext();
    if (*SpinLock) ctx->kernel->verifier().report("spin lock acquired twice");
    *SpinLock = 1;
    KeRaiseIrql(DISPATCH_LEVEL, OldIrql);
}

void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
    ThreadContext* ctx = currentContext();
    if (!*SpinLock) ctx->kernel->verifier().report("spin lock released that is not held");
    *SpinLock = 0;
    KeLowerIrql(NewIrql);
}

} // namespace wdm

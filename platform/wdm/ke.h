// Dispatcher objects, waits, IRQL and interlocked operations.
#pragma once

#include "platform/wdm/types.h"

namespace wdm {

enum EVENT_TYPE { NotificationEvent = 0, SynchronizationEvent = 1 };

// Header shared by every object a thread can wait on.
struct DISPATCHER_HEADER {
    UCHAR Type;
    UCHAR Reserved[3];
    LONG SignalState;
};
constexpr UCHAR DispatcherNotificationEvent = 0;
constexpr UCHAR DispatcherSynchronizationEvent = 1;
constexpr UCHAR DispatcherThread = 6;

struct KEVENT {
    DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;

struct KTHREAD {
    DISPATCHER_HEADER Header; // signalled when the thread has ended
    KPRIORITY Priority;
};
using PKTHREAD = KTHREAD*;
using PETHREAD = KTHREAD*;
using PRKTHREAD = KTHREAD*;

constexpr KPRIORITY IO_NO_INCREMENT = 0;
constexpr KPRIORITY LOW_REALTIME_PRIORITY = 16;
constexpr KPRIORITY HIGH_PRIORITY = 31;

void KeInitializeEvent(PKEVENT Event, EVENT_TYPE Type, BOOLEAN State);
LONG KeSetEvent(PKEVENT Event, KPRIORITY Increment, BOOLEAN Wait);
LONG KeResetEvent(PKEVENT Event);
void KeClearEvent(PKEVENT Event);
LONG KeReadStateEvent(PKEVENT Event);

// Timeout: null waits forever; negative is relative, positive absolute
// (both in units of 100 ns). Returns STATUS_SUCCESS or STATUS_TIMEOUT.
NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout);
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                PLARGE_INTEGER Interval);
void KeStallExecutionProcessor(ULONG MicroSeconds);
void KeQuerySystemTime(PLARGE_INTEGER CurrentTime);

KIRQL KeGetCurrentIrql();
void KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql);
void KeLowerIrql(KIRQL NewIrql);

PKTHREAD KeGetCurrentThread();
KPRIORITY KeSetPriorityThread(PKTHREAD Thread, KPRIORITY Priority);

LONG InterlockedIncrement(LONG volatile* Addend);
LONG InterlockedDecrement(LONG volatile* Addend);
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand);
PVOID InterlockedExchangePointer(PVOID volatile* Target, PVOID Value);

// Spin locks raise to DISPATCH_LEVEL.
using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;
void KeInitializeSpinLock(PKSPIN_LOCK SpinLock);
void KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql);
void KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql);

} // namespace wdm

// Events, waits on the virtual clock, system threads, pool and versions.
#include "kernel_fixture.h"

#include <chrono>

namespace wdmtest {
namespace {

using namespace std::chrono_literals;

class Dispatcher : public KernelTest {};

TEST_F(Dispatcher, RelativeTimeoutsRunOnTheVirtualClock) {
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    LARGE_INTEGER t;
    t.QuadPart = -100000000LL; // 10 s
    auto realStart = std::chrono::steady_clock::now();
    vt::TimePoint start = clock.now();
    EXPECT_EQ(KeWaitForSingleObject(&e, Suspended, KernelMode, FALSE, &t), STATUS_TIMEOUT);
    EXPECT_EQ(clock.now() - start, 10s);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, 5s);

    t.QuadPart = 0;
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &t), STATUS_TIMEOUT);
    EXPECT_EQ(clock.now() - start, 10s) << "a zero time-out only polls";

    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    t.QuadPart = now.QuadPart + 20000000LL; // absolute: 2 s from now
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &t), STATUS_TIMEOUT);
    EXPECT_EQ(clock.now() - start, 12s);
}

TEST_F(Dispatcher, NotificationEventsStaySetSynchronizationEventsReleaseOneWait) {
    KEVENT n, s;
    KeInitializeEvent(&n, NotificationEvent, FALSE);
    KeInitializeEvent(&s, SynchronizationEvent, FALSE);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    EXPECT_EQ(KeSetEvent(&n, 1, FALSE), 0);
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    KeSetEvent(&s, 1, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, &zero), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, FALSE, &zero), STATUS_TIMEOUT);
    EXPECT_EQ(KeResetEvent(&n), 1);
    EXPECT_EQ(KeReadStateEvent(&n), 0);
}

TEST_F(Dispatcher, AnEventSetByAnotherThreadEndsTheWaitAtThatTime) {
    KEVENT e;
    KeInitializeEvent(&e, NotificationEvent, FALSE);
    auto t = kernel.spawnSystemThread("setter", [&] {
        LARGE_INTEGER d;
        d.QuadPart = -30000000LL;
        KeDelayExecutionThread(KernelMode, FALSE, &d);
        KeSetEvent(&e, 1, FALSE);
    });
    vt::TimePoint start = clock.now();
    LARGE_INTEGER t10;
    t10.QuadPart = -100000000LL;
    EXPECT_EQ(KeWaitForSingleObject(&e, Executive, KernelMode, FALSE, &t10), STATUS_SUCCESS);
    EXPECT_EQ(clock.now() - start, 3s);
    t->join();
}

struct WorkerState {
    KEVENT wake;
    int rounds = 0;
    bool stop = false;
    KPRIORITY oldPriority = 0;
    KIRQL irql = 0xFF;
};

void worker(PVOID context) {
    auto* s = static_cast<WorkerState*>(context);
    s->oldPriority = KeSetPriorityThread(KeGetCurrentThread(), LOW_REALTIME_PRIORITY);
    s->irql = KeGetCurrentIrql();
    while (!s->stop) {
        LARGE_INTEGER second;
        second.QuadPart = -10000000LL;
        KeWaitForSingleObject(&s->wake, Executive, KernelMode, FALSE, &second);
        KeResetEvent(&s->wake);
        ++s->rounds;
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

TEST_F(Dispatcher, SystemThreadsRunUntilTheyTerminateThemselves) {
    WorkerState state;
    KeInitializeEvent(&state.wake, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    ASSERT_EQ(
        PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, worker, &state),
        STATUS_SUCCESS);
    PVOID thread = nullptr;
    ASSERT_EQ(
        ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, nullptr, KernelMode, &thread, nullptr),
        STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
    vt::sleepFor(2500ms);
    EXPECT_EQ(state.rounds, 2) << "woken by its one-second time-out";
    EXPECT_EQ(state.irql, PASSIVE_LEVEL);
    EXPECT_EQ(state.oldPriority, 8);
    state.stop = true;
    KeSetEvent(&state.wake, 1, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ObDereferenceObject(thread);
}

TEST_F(Dispatcher, AThreadStillRunningIsReported) {
    WorkerState state;
    KeInitializeEvent(&state.wake, NotificationEvent, FALSE);
    HANDLE handle = nullptr;
    PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, worker, &state);
    vt::sleepFor(1ms);
    auto report = kernel.report();
    ASSERT_EQ(report.size(), 1u);
    EXPECT_THAT(report[0], ::testing::HasSubstr("system thread still running"));
    state.stop = true;
    KeSetEvent(&state.wake, 1, FALSE);
    vt::sleepFor(1ms);
    ZwClose(handle);
}

TEST_F(Dispatcher, DevicesHaveZeroedExtensionsAndUniqueNames) {
    PDEVICE_OBJECT d = nullptr;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\Device\\Thing-0");
    ASSERT_EQ(IoCreateDevice(driver, 64, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &d), STATUS_SUCCESS);
    auto* ext = static_cast<UCHAR*>(d->DeviceExtension);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(ext[i], 0);
    EXPECT_TRUE(d->Flags & DO_DEVICE_INITIALIZING);
    PDEVICE_OBJECT again = nullptr;
    EXPECT_EQ(IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &again),
              STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(again, nullptr);

    UNICODE_STRING link;
    RtlInitUnicodeString(&link, u"\\DosDevices\\Thing-0");
    EXPECT_EQ(IoCreateSymbolicLink(&link, &name), STATUS_SUCCESS);
    EXPECT_EQ(IoCreateSymbolicLink(&link, &name), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(kernel.resolveLink(u"\\DosDevices\\THING-0"), d);
    EXPECT_EQ(IoDeleteSymbolicLink(&link), STATUS_SUCCESS);
    EXPECT_EQ(IoDeleteSymbolicLink(&link), STATUS_OBJECT_NAME_NOT_FOUND);
    IoDeleteDevice(d);
    EXPECT_EQ(kernel.findDevice(u"\\Device\\Thing-0"), nullptr);
}

TEST_F(Dispatcher, PoolCarriesItsTagAndInjectedFailuresComeInOrder) {
    kernel.failPoolAllocations(1, 1);
    void* first = ExAllocatePoolWithTag(NonPagedPool, 16, PoolTag("Wdm "));
    void* second = ExAllocatePoolWithTag(NonPagedPool, 16, PoolTag("Wdm "));
    void* third = ExAllocatePoolWithTag(NonPagedPool, 16, PoolTag("Wdm "));
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(kernel.livePoolAllocations(), 2u);
    ExFreePool(first);
    ExFreePoolWithTag(third, PoolTag("Wdm "));
    EXPECT_EQ(PoolTag("Wdm "), 0x206D6457u);
}

TEST_F(Dispatcher, InterlockedOperationsReturnTheNewValue) {
    LONG v = 0;
    EXPECT_EQ(InterlockedIncrement(&v), 1);
    EXPECT_EQ(InterlockedIncrement(&v), 2);
    EXPECT_EQ(InterlockedDecrement(&v), 1);
    EXPECT_EQ(InterlockedExchange(&v, 7), 1);
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, 7), 7);
    EXPECT_EQ(v, 9);
}

TEST(WdmVersion, AvailableUpToTheMachinesVersion) {
    vt::Clock clock;
    auto self = clock.attach("test");
    struct Row {
        UCHAR major, minor;
        bool on98, onXp;
    };
    const Row rows[] = {{1, 0x00, true, true},
                        {1, 0x10, false, true},
                        {1, 0x20, false, true},
                        {1, 0x30, false, false},
                        {2, 0x00, false, false}};
    Kernel win98(clock, 1, 0x00), xp(clock, 1, 0x20);
    for (const Row& r : rows) {
        {
            Kernel::Scope s(win98);
            EXPECT_EQ(IoIsWdmVersionAvailable(r.major, r.minor), r.on98 ? TRUE : FALSE);
        }
        Kernel::Scope s(xp);
        EXPECT_EQ(IoIsWdmVersionAvailable(r.major, r.minor), r.onXp ? TRUE : FALSE);
    }
}

} // namespace
} // namespace wdmtest

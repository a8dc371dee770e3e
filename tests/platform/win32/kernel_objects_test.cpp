#include "machine_fixture.h"

using namespace win32;
using win32test::SimMachine;

namespace {

TEST(MutexNames, SecondCreateReportsAlreadyExistsAndNameDiesWithLastHandle) {
    SimMachine sim;
    sim.run([] {
        HANDLE first = CreateMutexA(nullptr, TRUE, "KV7946");
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

        HANDLE second = CreateMutexA(nullptr, TRUE, "KV7946");
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
        EXPECT_NE(second, first);

        // Names are case-sensitive, like the object namespace.
        HANDLE other = CreateMutexA(nullptr, FALSE, "kv7946");
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);

        CloseHandle(second);
        CloseHandle(other);
        HANDLE again = CreateMutexA(nullptr, FALSE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS); // first still open
        CloseHandle(again);
        CloseHandle(first);

        HANDLE fresh = CreateMutexA(nullptr, TRUE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        CloseHandle(fresh);
        EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, "KV7946"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    });
}

TEST(MutexNames, SeenAcrossProcessesAndGoneWhenTheHolderEnds) {
    SimMachine sim;
    auto holder = sim.machine.startProcess("KV7946.exe", [] {
        CreateMutexA(nullptr, TRUE, "KV7946"); // held until the process ends
        Sleep(5000);
        return 0;
    });
    sim.clock.sleep(std::chrono::milliseconds(10));
    sim.run([] {
        HANDLE h = CreateMutexA(nullptr, TRUE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
        // Owned by the other process: a short wait times out.
        EXPECT_EQ(WaitForSingleObject(h, 100), WAIT_TIMEOUT);
        CloseHandle(h);
    });
    ASSERT_TRUE(holder->wait());
    sim.run([] {
        HANDLE h = CreateMutexA(nullptr, TRUE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        CloseHandle(h);
    });
}

TEST(MutexNames, OwnerEndingWhileAnotherWaitsAbandonsTheMutex) {
    SimMachine sim;
    sim.machine.startProcess("owner.exe", [] {
        CreateMutexA(nullptr, TRUE, "M");
        Sleep(1000);
        return 0;
    });
    sim.clock.sleep(std::chrono::milliseconds(1));
    sim.run([] {
        HANDLE h = OpenMutexA(SYNCHRONIZE, FALSE, "M");
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(ReleaseMutex(h), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);
        EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_ABANDONED);
        EXPECT_EQ(ReleaseMutex(h), TRUE);
        CloseHandle(h);
    });
}

TEST(Waits, TimeoutsRunOnVirtualTimeAndEventsWake) {
    SimMachine sim;
    sim.run([] {
        HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD start = GetTickCount();
        EXPECT_EQ(WaitForSingleObject(never, 10000), WAIT_TIMEOUT);
        EXPECT_EQ(GetTickCount() - start, 10000u);
        Sleep(2000);
        EXPECT_EQ(GetTickCount() - start, 12000u);

        HANDLE autoReset = CreateEventA(nullptr, FALSE, TRUE, nullptr);
        EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(autoReset, 0), WAIT_TIMEOUT);
        SetEvent(autoReset);
        HANDLE both[] = {never, autoReset};
        EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 50), WAIT_OBJECT_0 + 1);
        SetEvent(never);
        ResetEvent(never);
        EXPECT_EQ(WaitForSingleObject(never, 0), WAIT_TIMEOUT);
        CloseHandle(never);
        CloseHandle(autoReset);

        EXPECT_EQ(WaitForSingleObject(never, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(CloseHandle(never), FALSE);
    });
}

TEST(Waits, NamedEventSignalledByAnotherProcess) {
    SimMachine sim;
    sim.machine.startProcess("setter.exe", [] {
        Sleep(3000);
        HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Go");
        SetEvent(e);
        CloseHandle(e);
        return 0;
    });
    sim.run([] {
        HANDLE e = CreateEventA(nullptr, TRUE, FALSE, "Go");
        DWORD start = GetTickCount();
        EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(GetTickCount() - start, 3000u);
        // A name taken by an event is not a mutex.
        EXPECT_EQ(CreateMutexA(nullptr, FALSE, "Go"), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        CloseHandle(e);
    });
}

TEST(LastError, IsPerThread) {
    SimMachine sim;
    sim.machine.startProcess("other.exe", [] {
        SetLastError(ERROR_ACCESS_DENIED);
        Sleep(10);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
        return 0;
    });
    sim.run([] {
        SetLastError(ERROR_GEN_FAILURE);
        Sleep(20);
        EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    });
}

} // namespace

#include "machine_fixture.h"

#include <vector>

using namespace win32;
using win32test::SimMachine;

namespace {

struct SearchCase {
    const char* label;
    bool inWindows;
    bool inSystem;
    const char* expectRun; // which copy runs, or null
};

class WinExecSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(WinExecSearch, WindowsFolderFirstThenSystemFolder) {
    const SearchCase& c = GetParam();
    SimMachine sim;
    std::vector<std::string> ran;
    if (c.inWindows)
        sim.machine.registerProgram("C:\\WINDOWS\\KV7946AP.exe", [&] {
            ran.push_back("windows");
            return 0;
        });
    if (c.inSystem)
        sim.machine.registerProgram("C:\\WINDOWS\\system32\\KV7946AP.exe", [&] {
            ran.push_back("system");
            return 0;
        });
    UINT result = 0;
    sim.run([&] { result = WinExec("KV7946AP.exe", SW_SHOWNORMAL); });
    for (auto& p : sim.machine.processes())
        p->wait();
    if (c.expectRun) {
        EXPECT_GT(result, 31u);
        EXPECT_EQ(ran, std::vector<std::string>{c.expectRun});
    } else {
        EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(ran.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, WinExecSearch,
                         ::testing::Values(SearchCase{"both", true, true, "windows"},
                                           SearchCase{"system", false, true, "system"},
                                           SearchCase{"windows", true, false, "windows"},
                                           SearchCase{"none", false, false, nullptr}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(WinExec, DeletedProgramIsNotFoundAndPlainFileIsNoProgram) {
    SimMachine sim;
    bool ran = false;
    sim.machine.registerProgram("C:\\WINDOWS\\system32\\KV7946.exe", [&] {
        ran = true;
        return 0;
    });
    sim.machine.files().writeFile("C:\\WINDOWS\\notes.exe", "text");
    sim.run([&] {
        EXPECT_EQ(WinExec("notes.exe", SW_SHOWNORMAL), ERROR_BAD_FORMAT);
        EXPECT_EQ(DeleteFileA("C:\\WINDOWS\\system32\\KV7946.exe"), TRUE);
        EXPECT_EQ(WinExec("KV7946.exe", SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
    });
    EXPECT_FALSE(ran);
}

TEST(WinExec, CopiedProgramFileRunsTheSameProgram) {
    SimMachine sim;
    int runs = 0;
    sim.machine.registerProgram("C:\\setup\\KV7946AP.exe", [&] {
        ++runs;
        return 7;
    });
    sim.run([&] {
        ASSERT_EQ(CopyFileA("C:\\setup\\KV7946AP.exe", "C:\\WINDOWS\\KV7946AP.exe", FALSE), TRUE);
        EXPECT_GT(WinExec("kv7946ap.exe", SW_SHOWNORMAL), 31u);
    });
    for (auto& p : sim.machine.processes())
        p->wait();
    EXPECT_EQ(runs, 1);
    auto all = sim.machine.processes();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1]->name(), "KV7946AP.exe");
    EXPECT_EQ(all[1]->exitCode(), 7u);
}

TEST(Processes, ExitCodesFromReturnExitProcessAndTerminate) {
    SimMachine sim;
    EXPECT_EQ(sim.machine.run("ret.exe", [] { return 3; }), 3u);
    EXPECT_EQ(sim.machine.run("exit.exe",
                              [] {
                                  ExitProcess(5);
                                  return 0;
                              }),
              5u);
    auto sleeper = sim.machine.startProcess("sleeper.exe", [] {
        Sleep(INFINITE);
        return 0;
    });
    sim.run([&] {
        HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, sleeper->id());
        ASSERT_NE(h, nullptr);
        DWORD code = 0;
        EXPECT_EQ(GetExitCodeProcess(h, &code), TRUE);
        EXPECT_EQ(code, STILL_ACTIVE);
        EXPECT_EQ(TerminateProcess(h, 9), TRUE);
        EXPECT_EQ(WaitForSingleObject(h, 1000), WAIT_OBJECT_0);
        EXPECT_EQ(GetExitCodeProcess(h, &code), TRUE);
        EXPECT_EQ(code, 9u);
        CloseHandle(h);
    });
    EXPECT_FALSE(sleeper->running());
}

TEST(Processes, StartAndEndAreReported) {
    SimMachine sim;
    std::vector<std::string> events;
    sim.machine.onProcessEvent([&](Process& p, bool started) {
        events.push_back(p.name() + (started ? " started" : " ended"));
    });
    sim.machine.run("a.exe", [] { return 0; });
    EXPECT_EQ(events, (std::vector<std::string>{"a.exe started", "a.exe ended"}));
}

TEST(HandleLeaks, ReportedAndClosedAtProcessEnd) {
    SimMachine sim;
    sim.machine.run("KV7946AP.exe", [] {
        CreateMutexA(nullptr, TRUE, "KV7946");
        CreateEventA(nullptr, TRUE, FALSE, nullptr);
        HKEY key;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KV7946", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        CreateFileA("C:\\a.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
        HANDLE closed = CreateMutexA(nullptr, FALSE, "closed");
        CloseHandle(closed);
        return 0;
    });
    EXPECT_EQ(
        sim.machine.handleLeaks(),
        (std::vector<std::string>{"KV7946AP.exe: mutex \"KV7946\"", "KV7946AP.exe: event",
                                  "KV7946AP.exe: key \"HKEY_LOCAL_MACHINE\\SOFTWARE\\KV7946\"",
                                  "KV7946AP.exe: file \"C:\\a.txt\""}));
    // Closed by the machine: the name is free and the file can be opened
    // without sharing again.
    sim.run([] {
        HANDLE m = CreateMutexA(nullptr, TRUE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        CloseHandle(m);
        HANDLE f = CreateFileA("C:\\a.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
    });
    EXPECT_EQ(sim.machine.handleLeaks().size(), 4u);
}

TEST(Machines, TwoAtOnceKeepSeparateRegistriesAndNames) {
    vt::Clock clock;
    auto self = clock.attach("test");
    win32test::TempRoot rootA, rootB;
    Machine a(clock, MachineKind::WinXP, rootA.path());
    Machine b(clock, MachineKind::Win98SE, rootB.path());
    a.registry().setDword("HKLM\\Software\\KV7946\\V1.0", "Pop", 1);

    auto holder = a.startProcess("KV7946.exe", [] {
        EXPECT_NE(Machine::current(), nullptr);
        CreateMutexA(nullptr, TRUE, "KV7946");
        Sleep(1000);
        return 0;
    });
    clock.sleep(std::chrono::milliseconds(1));
    b.run("KV7946.exe", [&] {
        EXPECT_EQ(Machine::current(), &b);
        HANDLE h = CreateMutexA(nullptr, TRUE, "KV7946");
        EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
        CloseHandle(h);
        HKEY key;
        EXPECT_EQ(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KV7946\\V1.0", 0, KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
        OSVERSIONINFOA v{};
        v.dwOSVersionInfoSize = sizeof v;
        GetVersionExA(&v);
        EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
        return 0;
    });
    holder->wait();
    EXPECT_EQ(a.registry().getDword("HKLM\\Software\\KV7946\\V1.0", "Pop"), 1u);
    EXPECT_FALSE(b.registry().keyExists("HKLM\\Software\\KV7946"));
}

TEST(Machines, DestroyingAMachineEndsItsProcesses) {
    vt::Clock clock;
    auto self = clock.attach("test");
    win32test::TempRoot root;
    std::shared_ptr<Process> p;
    {
        Machine m(clock, MachineKind::WinXP, root.path());
        p = m.startProcess("forever.exe", [] {
            CreateMutexA(nullptr, TRUE, "KV7946");
            Sleep(INFINITE);
            return 0;
        });
        clock.sleep(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(p->running());
}

} // namespace

#include "machine_fixture.h"

#include "platform/win32/desktop.h"

#include <cstring>
#include <vector>

using namespace win32;
using win32test::SimMachine;

namespace {

constexpr UINT kIconMessage = 0x8064;

// What the test window procedure saw, by window.
std::vector<std::pair<UINT, LPARAM>>* g_seen = nullptr;

LRESULT CALLBACK_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_seen && msg != WM_NCCREATE && msg != WM_GETTEXT && msg != WM_SETTEXT)
        g_seen->push_back({msg, lParam});
    if (msg == WM_USER + 1) return static_cast<LRESULT>(wParam * 2);
    if (msg == WM_DESTROY) PostQuitMessage(4);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND makeWindow(const char* title) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CALLBACK_proc;
    wc.lpszClassName = "TApplication";
    RegisterClassA(&wc); // fails harmlessly the second time
    return CreateWindowExA(0, "TApplication", title, 0, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                           nullptr);
}

int pump() {
    MSG msg;
    BOOL r;
    while ((r = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return r == 0 ? static_cast<int>(msg.wParam) : -1;
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override { g_seen = &seen; }
    void TearDown() override { g_seen = nullptr; }
    std::vector<std::pair<UINT, LPARAM>> seen;
};

TEST_F(Windows, MessageLoopDispatchesInOrderAndEndsOnQuit) {
    SimMachine sim;
    int quitCode = 0;
    sim.run([&] {
        HWND w = makeWindow("KV7946AP");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(FindWindowA(nullptr, "KV7946AP"), w);
        EXPECT_EQ(FindWindowA("tapplication", nullptr), w);
        EXPECT_EQ(FindWindowA(nullptr, "Other"), nullptr);
        PostMessageA(w, WM_USER, 0, 1);
        PostMessageA(w, WM_USER, 0, 2);
        PostMessageA(w, WM_CLOSE, 0, 0);
        EXPECT_EQ(SendMessageA(w, WM_USER + 1, 21, 0), 42);
        quitCode = pump();
        EXPECT_FALSE(IsWindow(w));
        EXPECT_EQ(FindWindowA(nullptr, "KV7946AP"), nullptr);
    });
    EXPECT_EQ(quitCode, 4);
    std::vector<std::pair<UINT, LPARAM>> expected{
        {WM_CREATE, 0}, {WM_USER + 1, 0}, {WM_USER, 1},     {WM_USER, 2},
        {WM_CLOSE, 0},  {WM_DESTROY, 0},  {WM_NCDESTROY, 0}};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].first, expected[i].first) << i;
        if (seen[i].first == WM_USER) {
            EXPECT_EQ(seen[i].second, expected[i].second);
        }
    }
}

TEST_F(Windows, TitlesShowStateAndForeground) {
    SimMachine sim;
    sim.run([] {
        HWND w = makeWindow("first");
        EXPECT_EQ(SetWindowTextA(w, "KV7946AP"), TRUE);
        char title[16];
        EXPECT_EQ(GetWindowTextA(w, title, sizeof title), 8);
        EXPECT_STREQ(title, "KV7946AP");
        EXPECT_EQ(GetWindowTextA(w, title, 4), 3);
        EXPECT_STREQ(title, "KV7");
        EXPECT_FALSE(IsWindowVisible(w));
        EXPECT_EQ(ShowWindow(w, SW_SHOWNORMAL), FALSE);
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_EQ(SetForegroundWindow(w), TRUE);
        EXPECT_EQ(GetForegroundWindow(), w);
        EXPECT_EQ(ShowWindow(w, SW_HIDE), TRUE);
        // Hidden windows are still found by title.
        EXPECT_EQ(FindWindowA(nullptr, "KV7946AP"), w);
        DestroyWindow(w);
    });
    EXPECT_TRUE(sim.machine.desktop().windows().empty());
}

TEST_F(Windows, SendMessageToAnotherProcessWaitsForItsLoop) {
    SimMachine sim;
    auto app = sim.machine.startProcess("KV7946AP.exe", [] {
        makeWindow("KV7946AP");
        return pump();
    });
    sim.clock.sleep(std::chrono::milliseconds(1));
    sim.run([] {
        HWND w = FindWindowA(nullptr, "KV7946AP");
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(SendMessageA(w, WM_USER + 1, 5, 0), 10);
        // Another process cannot destroy the window, but can ask it to close.
        EXPECT_EQ(DestroyWindow(w), FALSE);
        EXPECT_EQ(PostMessageA(w, WM_CLOSE, 0, 0), TRUE);
    });
    ASSERT_TRUE(app->wait(std::chrono::seconds(1)));
    EXPECT_EQ(app->exitCode(), 4u);
}

TEST_F(Windows, WindowsOfAnEndedProcessAreGone) {
    SimMachine sim;
    sim.machine.run("KV7946AP.exe", [] {
        makeWindow("KV7946AP");
        return 0;
    });
    sim.run([] { EXPECT_EQ(FindWindowA(nullptr, "KV7946AP"), nullptr); });
}

TEST_F(Windows, NotificationIconLifecycleAndClick) {
    SimMachine sim;
    Desktop& desktop = sim.machine.desktop();
    auto app = sim.machine.startProcess("KV7946AP.exe", [&] {
        HWND w = makeWindow("KV7946AP");
        NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = w;
        nid.uID = 1006;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = kIconMessage;
        EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), TRUE);
        EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), FALSE);
        std::strcpy(nid.szTip, "SECURITY");
        nid.hIcon = reinterpret_cast<HICON>(uintptr_t{0x77});
        EXPECT_EQ(Shell_NotifyIconA(NIM_MODIFY, &nid), TRUE);
        NOTIFYICONDATAA wrongSize = nid;
        wrongSize.cbSize = 100;
        EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &wrongSize), FALSE);

        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == kIconMessage) {
                EXPECT_EQ(msg.wParam, 1006u);
                EXPECT_EQ(msg.lParam, static_cast<LPARAM>(WM_RBUTTONUP));
                POINT p{};
                EXPECT_EQ(GetCursorPos(&p), TRUE);
                EXPECT_EQ(p.x, 300);
                sim.machine.desktop().setCursorPosFails(true);
                EXPECT_EQ(GetCursorPos(&p), FALSE);
                EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &nid), TRUE);
                EXPECT_EQ(Shell_NotifyIconA(NIM_DELETE, &nid), FALSE);
                PostQuitMessage(0);
            }
        }
        return 0;
    });
    sim.clock.sleep(std::chrono::milliseconds(1));
    auto icons = desktop.trayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].id, 1006u);
    EXPECT_EQ(icons[0].tip, "SECURITY");
    EXPECT_EQ(icons[0].callbackMessage, kIconMessage);
    EXPECT_EQ(icons[0].icon, reinterpret_cast<HICON>(uintptr_t{0x77}));
    EXPECT_FALSE(desktop.clickTrayIcon(icons[0].owner, 1, WM_RBUTTONUP));
    desktop.setCursorPos(POINT{300, 200});
    EXPECT_TRUE(desktop.clickTrayIcon(icons[0].owner, 1006, WM_RBUTTONUP));
    ASSERT_TRUE(app->wait(std::chrono::seconds(1)));
    EXPECT_TRUE(desktop.trayIcons().empty());
}

} // namespace

namespace {

TEST(Timers, PostOneWmTimerAtATimeOnVirtualTime) {
    SimMachine sim;
    sim.run([] {
        HWND w = makeWindow("timer");
        ASSERT_EQ(SetTimer(w, 7, 100, nullptr), 7u);
        DWORD start = GetTickCount();
        // Not pumping for a second queues a single WM_TIMER, not ten.
        Sleep(1000);
        MSG msg;
        int timers = 0;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message == WM_TIMER) ++timers;
        EXPECT_EQ(timers, 1);
        ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), TRUE);
        EXPECT_EQ(msg.message, WM_TIMER);
        EXPECT_EQ(msg.wParam, 7u);
        EXPECT_EQ((GetTickCount() - start) % 100, 0u);
        EXPECT_EQ(KillTimer(w, 7), TRUE);
        EXPECT_EQ(KillTimer(w, 7), FALSE);
        Sleep(500);
        EXPECT_EQ(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE), FALSE);
        DestroyWindow(w);
    });
}

} // namespace

// Icon resources of programs, icon handles and drawing them into windows.
#include "machine_fixture.h"

#include "platform/win32/desktop.h"

#include <functional>

namespace {

using namespace win32;
using win32test::SimMachine;

constexpr const char* kProgram = "C:\\WINDOWS\\ICONS.exe";

LRESULT CALLBACK_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
}

HWND makeWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CALLBACK_proc;
    wc.lpszClassName = "IconWindow";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "IconWindow", "icons", 0, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                           nullptr);
}

// Runs body in a process of the program at kProgram, which holds "MAINICON"
// (32 and 16 pixels) and icon 101 (16 pixels).
void runProgram(SimMachine& sim, std::function<void()> body) {
    sim.machine.registerProgram(kProgram, [body] {
        body();
        return 0;
    });
    sim.machine.addIconResource(kProgram, {"MAINICON", 0, {32, 16}});
    sim.machine.addIconResource(kProgram, {"", 101, {16}});
    auto p = sim.machine.startProgram(kProgram);
    ASSERT_NE(p, nullptr);
    ASSERT_TRUE(p->wait(std::chrono::seconds(1)));
}

TEST(Icons, LoadImageFindsResourcesByNameOrIdAndReportsWhatIsMissing) {
    SimMachine sim;
    runProgram(sim, [] {
        HINSTANCE self = GetModuleHandleA(nullptr);
        struct Case {
            LPCSTR name;
            UINT type;
            int size;
            DWORD error; // 0: loads
        } cases[] = {
            {"MAINICON", IMAGE_ICON, 32, 0},
            {"mainicon", IMAGE_ICON, 16, 0},
            {MAKEINTRESOURCEA(101), IMAGE_ICON, 16, 0},
            {"#101", IMAGE_ICON, 32, 0},
            {MAKEINTRESOURCEA(102), IMAGE_ICON, 16, ERROR_RESOURCE_NAME_NOT_FOUND},
            {"OTHER", IMAGE_ICON, 16, ERROR_RESOURCE_NAME_NOT_FOUND},
            {"MAINICON", IMAGE_BITMAP, 16, ERROR_RESOURCE_TYPE_NOT_FOUND},
        };
        for (const Case& c : cases) {
            SetLastError(0);
            HANDLE h = LoadImageA(self, c.name, c.type, c.size, c.size, 0);
            if (c.error) {
                EXPECT_EQ(h, nullptr);
                EXPECT_EQ(GetLastError(), c.error);
            } else {
                ASSERT_NE(h, nullptr);
                EXPECT_EQ(DestroyIcon(static_cast<HICON>(h)), TRUE);
                EXPECT_EQ(DestroyIcon(static_cast<HICON>(h)), FALSE);
                EXPECT_EQ(GetLastError(), ERROR_INVALID_CURSOR_HANDLE);
            }
        }
        // Shared icons come back as the same handle and need no DestroyIcon.
        HICON shared = LoadIconA(self, "MAINICON");
        EXPECT_NE(shared, nullptr);
        EXPECT_EQ(LoadIconA(self, "MAINICON"), shared);
    });
    // A process of no program has no icon resources at all.
    sim.run([] {
        EXPECT_EQ(LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, 16, 16, 0),
                  nullptr);
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    });
    EXPECT_TRUE(sim.machine.handleLeaks().empty());
}

TEST(Icons, DrawIconExIsRecordedOnTheWindowOfTheContext) {
    SimMachine sim;
    HWND window = nullptr;
    std::vector<DrawnIcon> drawn;
    runProgram(sim, [&] {
        window = makeWindow();
        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(101), IMAGE_ICON, 16, 16, 0));
        HDC dc = GetDC(window);
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(DrawIconEx(dc, 4, 6, icon, 16, 16, 0, nullptr, DI_NORMAL), TRUE);
        EXPECT_EQ(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL), TRUE);
        EXPECT_EQ(DrawIconEx(dc, 0, 0, nullptr, 16, 16, 0, nullptr, DI_NORMAL), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_CURSOR_HANDLE);
        drawn = sim.machine.desktop().drawnIcons(window);
        EXPECT_EQ(ReleaseDC(window, dc), 1);
        EXPECT_EQ(ReleaseDC(window, dc), 0);
        EXPECT_EQ(DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL), FALSE);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_EQ(GetDC(nullptr), nullptr);
        DestroyIcon(icon);
    });
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0].image.resource, "#101");
    EXPECT_EQ(drawn[0].x, 4);
    EXPECT_EQ(drawn[0].y, 6);
    EXPECT_EQ(drawn[0].width, 16);
    EXPECT_EQ(drawn[0].height, 16);
    EXPECT_EQ(drawn[1].width, 16) << "size 0: the icon's own";
    EXPECT_TRUE(sim.machine.desktop().drawnIcons(window).empty()) << "the window is gone";
}

TEST(Icons, AreProcessHandlesThatTheVerifierReportsAndTheTrayKnows) {
    SimMachine sim;
    runProgram(sim, [] {
        HICON icon = static_cast<HICON>(
            LoadImageA(GetModuleHandleA(nullptr), "MAINICON", IMAGE_ICON, 32, 32, 0));
        EXPECT_EQ(CloseHandle(icon), FALSE) << "icons go with DestroyIcon";
        NOTIFYICONDATAA nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = makeWindow();
        nid.uID = 1;
        nid.uFlags = NIF_ICON;
        nid.hIcon = icon;
        EXPECT_EQ(Shell_NotifyIconA(NIM_ADD, &nid), TRUE);
        auto tray = Machine::current()->desktop().trayIcons();
        ASSERT_EQ(tray.size(), 1u);
        EXPECT_EQ(tray[0].icon, icon);
        EXPECT_EQ(tray[0].image.resource, "MAINICON");
        EXPECT_EQ(tray[0].image.width, 32);
        EXPECT_EQ(tray[0].image.height, 32);
        Shell_NotifyIconA(NIM_DELETE, &nid);
    });
    EXPECT_EQ(sim.machine.handleLeaks(), std::vector<std::string>{"ICONS.exe: icon \"MAINICON\""});
}

} // namespace

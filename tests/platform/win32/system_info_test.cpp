#include "machine_fixture.h"

#include <cstring>

using namespace win32;
using win32test::SimMachine;

namespace {

struct KindCase {
    const char* label;
    MachineKind kind;
    DWORD major, minor, platform;
    const char* windows;
    const char* system;
};

class PerKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(PerKind, VersionAndFolders) {
    const KindCase& c = GetParam();
    SimMachine sim(c.kind);
    sim.run([&] {
        OSVERSIONINFOA v;
        std::memset(&v, 0xAB, sizeof v);
        v.dwOSVersionInfoSize = 148;
        ASSERT_EQ(GetVersionExA(&v), TRUE);
        EXPECT_EQ(v.dwMajorVersion, c.major);
        EXPECT_EQ(v.dwMinorVersion, c.minor);
        EXPECT_EQ(v.dwPlatformId, c.platform);
        EXPECT_LT(std::strlen(v.szCSDVersion), sizeof v.szCSDVersion);

        v.dwOSVersionInfoSize = 100;
        EXPECT_EQ(GetVersionExA(&v), FALSE);

        char buffer[MAX_PATH];
        EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), std::strlen(c.windows));
        EXPECT_STREQ(buffer, c.windows);
        EXPECT_EQ(GetSystemDirectoryA(buffer, MAX_PATH), std::strlen(c.system));
        EXPECT_STREQ(buffer, c.system);
        EXPECT_EQ(GetSystemDirectoryA(buffer, 5), std::strlen(c.system) + 1);
        EXPECT_EQ(GetFileAttributesA(c.system), FILE_ATTRIBUTE_DIRECTORY);
    });
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PerKind,
    ::testing::Values(KindCase{"Win98SE", MachineKind::Win98SE, 4, 10, VER_PLATFORM_WIN32_WINDOWS,
                               "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"},
                      KindCase{"WinME", MachineKind::WinME, 4, 90, VER_PLATFORM_WIN32_WINDOWS,
                               "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM"},
                      KindCase{"Win2000", MachineKind::Win2000, 5, 0, VER_PLATFORM_WIN32_NT,
                               "C:\\WINNT", "C:\\WINNT\\system32"},
                      KindCase{"WinXP", MachineKind::WinXP, 5, 1, VER_PLATFORM_WIN32_NT,
                               "C:\\WINDOWS", "C:\\WINDOWS\\system32"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CodePage, EveryHighByteRoundTrips) {
    SimMachine sim;
    sim.run([] {
        char bytes[128];
        for (int i = 0; i < 128; ++i)
            bytes[i] = static_cast<char>(0x80 + i);
        char16_t wide[128];
        ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes, 128, wide, 128), 128);
        EXPECT_EQ(wide[0], u'\u20AC');           // euro sign
        EXPECT_EQ(wide[0x99 - 0x80], u'\u2122'); // trade mark
        EXPECT_EQ(wide[0x9F - 0x80], u'\u0178');
        EXPECT_EQ(wide[0x81 - 0x80], u'\u0081'); // unassigned: same value
        EXPECT_EQ(wide[0xE9 - 0x80], u'\u00E9');
        char back[128];
        BOOL usedDefault = TRUE;
        ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, 128, back, 128, nullptr, &usedDefault), 128);
        EXPECT_FALSE(usedDefault);
        EXPECT_EQ(std::memcmp(bytes, back, 128), 0);
    });
}

TEST(CodePage, UnmappableLengthsAndShortBuffers) {
    SimMachine sim;
    sim.run([] {
        const char16_t text[] = u"A\u0416\U0001F600z"; // Cyrillic, an emoji (pair)
        char out[16];
        BOOL usedDefault = FALSE;
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof out, nullptr, &usedDefault),
                  5);
        EXPECT_STREQ(out, "A??z");
        EXPECT_TRUE(usedDefault);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr), 5);
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, 3, nullptr, nullptr), 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

        char16_t wide[4];
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
        EXPECT_EQ(wide[3], u'\0');
        EXPECT_EQ(GetACP(), 1252u);
    });
}

} // namespace

namespace {

TEST(Folders, WindowsCanLiveElsewhere) {
    SimMachine sim(MachineKind::Win98SE);
    sim.machine.setWindowsDirectory("D:\\WIN98\\");
    bool ran = false;
    sim.machine.registerProgram("D:\\WIN98\\SYSTEM\\KV7946.exe", [&] {
        ran = true;
        return 0;
    });
    sim.run([] {
        char buffer[MAX_PATH];
        GetWindowsDirectoryA(buffer, MAX_PATH);
        EXPECT_STREQ(buffer, "D:\\WIN98");
        GetSystemDirectoryA(buffer, MAX_PATH);
        EXPECT_STREQ(buffer, "D:\\WIN98\\SYSTEM");
        EXPECT_EQ(GetFileAttributesA("c:\\windows\\system"), INVALID_FILE_ATTRIBUTES);
        EXPECT_GT(WinExec("KV7946.exe", SW_SHOWNORMAL), 31u);
    });
    for (auto& p : sim.machine.processes())
        p->wait();
    EXPECT_TRUE(ran);
}

} // namespace

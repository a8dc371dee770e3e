#include "machine_fixture.h"

#include <cstring>

using namespace win32;
using win32test::SimMachine;

namespace {

const char* const kSettings = "Software\\KV7946\\V1.0";

TEST(Registry, OpenNeverCreatesAndCreateDoes) {
    SimMachine sim;
    sim.run([] {
        HKEY key = reinterpret_cast<HKEY>(1);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_ALL_ACCESS, &key),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(key, nullptr);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_ALL_ACCESS, &key),
                  ERROR_FILE_NOT_FOUND);

        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
        RegCloseKey(key);
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\kv7946\\v1.0", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
        RegCloseKey(key);
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\KV7946\\V1.0", 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    });
    // Case as created first.
    EXPECT_EQ(sim.machine.registry().subkeys("HKLM\\Software\\KV7946"),
              std::vector<std::string>{"V1.0"});
}

TEST(Registry, AccessRightsOfTheHandleAreChecked) {
    SimMachine sim;
    sim.machine.registry().setDword(std::string("HKLM\\") + kSettings, "Pop", 1);
    sim.run([] {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_QUERY_VALUE, &key),
                  ERROR_SUCCESS);
        DWORD pop = 0, size = sizeof pop, type = 0;
        EXPECT_EQ(
            RegQueryValueExA(key, "Pop", nullptr, &type, reinterpret_cast<BYTE*>(&pop), &size),
            ERROR_SUCCESS);
        EXPECT_EQ(pop, 1u);
        EXPECT_EQ(type, REG_DWORD);
        DWORD zero = 0;
        EXPECT_EQ(RegSetValueExA(key, "Pop", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4),
                  ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegDeleteValueA(key, "Pop"), ERROR_ACCESS_DENIED);
        char name[64];
        DWORD len = sizeof name;
        EXPECT_EQ(RegEnumKeyExA(key, 0, name, &len, nullptr, nullptr, nullptr, nullptr),
                  ERROR_ACCESS_DENIED);
        RegCloseKey(key);

        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettings, 0, KEY_SET_VALUE, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegQueryValueExA(key, "Pop", nullptr, nullptr, nullptr, nullptr),
                  ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegSetValueExA(key, "Pop", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), 4),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    });
    EXPECT_EQ(sim.machine.registry().getDword(std::string("HKLM\\") + kSettings, "Pop"), 0u);
}

TEST(Registry, ValuesShortBuffersAndMissingNames) {
    SimMachine sim;
    sim.machine.registry().setString("HKLM\\Software\\X", "Driver", "{36FC9E60}\\0001");
    sim.run([] {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\X", 0, KEY_QUERY_VALUE, &key),
                  ERROR_SUCCESS);
        char buffer[8] = "xxxxxxx";
        DWORD size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExA(key, "driver", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                   &size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(size, 16u);
        EXPECT_STREQ(buffer, "xxxxxxx"); // untouched
        size = 0;
        EXPECT_EQ(RegQueryValueExA(key, "Driver", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 16u);
        char big[32];
        size = sizeof big;
        EXPECT_EQ(
            RegQueryValueExA(key, "Driver", nullptr, nullptr, reinterpret_cast<BYTE*>(big), &size),
            ERROR_SUCCESS);
        EXPECT_STREQ(big, "{36FC9E60}\\0001");
        EXPECT_EQ(RegQueryValueExA(key, "InfPath", nullptr, nullptr, nullptr, &size),
                  ERROR_FILE_NOT_FOUND);
        RegCloseKey(key);
    });
}

TEST(Registry, EnumerationAndQueryInfo) {
    SimMachine sim;
    auto& reg = sim.machine.registry();
    reg.createKey("HKLM\\Class\\0001");
    reg.createKey("HKLM\\Class\\0000");
    reg.createKey("HKLM\\Class\\LongerName");
    reg.setString("HKLM\\Class", "Name", "abc");
    sim.run([] {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Class", 0,
                                KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, &key),
                  ERROR_SUCCESS);
        DWORD subkeys = 0, maxSub = 0, values = 0, maxName = 0, maxData = 0;
        ASSERT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr,
                                   &values, &maxName, &maxData, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(subkeys, 3u);
        EXPECT_EQ(maxSub, 10u);
        EXPECT_EQ(values, 1u);
        EXPECT_EQ(maxName, 4u);
        EXPECT_EQ(maxData, 4u);

        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0;; ++i) {
            DWORD len = sizeof name;
            LONG r = RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr);
            if (r == ERROR_NO_MORE_ITEMS) break;
            ASSERT_EQ(r, ERROR_SUCCESS);
            EXPECT_EQ(len, std::strlen(name));
            names.push_back(name);
        }
        EXPECT_EQ(names, (std::vector<std::string>{"0000", "0001", "LongerName"}));
        DWORD len = 10; // "LongerName" needs 11 with its terminator
        EXPECT_EQ(RegEnumKeyExA(key, 2, name, &len, nullptr, nullptr, nullptr, nullptr),
                  ERROR_MORE_DATA);
        RegCloseKey(key);
    });
}

struct DeleteCase {
    const char* label;
    MachineKind kind;
    LONG expected;
    bool keyGone;
};

class RegDeleteKey : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(RegDeleteKey, SubtreeOnWin9xRefusedOnNt) {
    const DeleteCase& c = GetParam();
    SimMachine sim(c.kind);
    auto& reg = sim.machine.registry();
    reg.createKey("HKLM\\Enum\\USB\\VID_1D9F&PID_7947\\0001\\Device Parameters");
    reg.setString("HKLM\\Enum\\USB\\VID_1D9F&PID_7947\\0001", "Driver", "x");
    sim.run([&] {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Enum\\USB\\VID_1D9F&PID_7947", 0,
                                KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\USB\\VID_1D9F&PID_7947"), c.expected);
        if (c.keyGone) {
            // An open handle to a deleted key no longer works.
            DWORD n;
            EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &n, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr),
                      ERROR_KEY_DELETED);
        }
        RegCloseKey(key);
    });
    EXPECT_EQ(reg.keyExists("HKLM\\Enum\\USB\\VID_1D9F&PID_7947"), !c.keyGone);
    EXPECT_TRUE(reg.keyExists("HKLM\\Enum\\USB"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RegDeleteKey,
    ::testing::Values(DeleteCase{"Win98SE", MachineKind::Win98SE, ERROR_SUCCESS, true},
                      DeleteCase{"WinME", MachineKind::WinME, ERROR_SUCCESS, true},
                      DeleteCase{"Win2000", MachineKind::Win2000, ERROR_ACCESS_DENIED, false},
                      DeleteCase{"WinXP", MachineKind::WinXP, ERROR_ACCESS_DENIED, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Registry, LeafDeleteAndShDeleteKeyEverywhere) {
    SimMachine sim(MachineKind::WinXP);
    auto& reg = sim.machine.registry();
    reg.createKey("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KV7946\\Enum");
    reg.createKey("HKLM\\SOFTWARE\\KV7946\\V1.0");
    sim.run([] {
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV7946\\V1.0"), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\KV7946\\V1.0"),
                  ERROR_FILE_NOT_FOUND);
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KV7946",
                                0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KV7946"),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KV7946"),
                  ERROR_FILE_NOT_FOUND);
    });
    EXPECT_FALSE(reg.keyExists("HKLM\\SOFTWARE\\KV7946\\V1.0"));
    EXPECT_TRUE(reg.keyExists("HKLM\\SOFTWARE\\KV7946"));
    EXPECT_FALSE(reg.keyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KV7946"));
    EXPECT_TRUE(reg.keyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services"));
}

} // namespace

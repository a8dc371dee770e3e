// kv7946-smoke: one program on a simulated Windows XP machine. It takes the
// launcher's mutex, keeps a registry value and a file, and tells in virtual
// time what happened.
#include "platform/win32/simulation.h"
#include "platform/win32/win32.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace win32;

namespace {

void say(const std::string& line) {
    std::printf("[%6lu ms] %s\n", GetTickCount() + 0UL, line.c_str());
}

const char* verdict(bool ok) {
    return ok ? "ok" : "FAILED";
}

int smoke() {
    bool ok = true;
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    say("Windows " + std::to_string(v.dwMajorVersion) + "." + std::to_string(v.dwMinorVersion) +
        " build " + std::to_string(v.dwBuildNumber) + " " + v.szCSDVersion);

    HANDLE mutex = CreateMutexA(nullptr, TRUE, "KV7946");
    bool first = mutex && GetLastError() == ERROR_SUCCESS;
    HANDLE again = CreateMutexA(nullptr, TRUE, "KV7946");
    bool seen = again && GetLastError() == ERROR_ALREADY_EXISTS;
    CloseHandle(again);
    say(std::string("mutex \"KV7946\" created: ") + verdict(first) +
        ", second create sees it: " + verdict(seen));
    ok = ok && first && seen;

    HKEY key = nullptr;
    DWORD pop = 1, read = 0, size = sizeof read;
    bool reg = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\KV7946\\V1.0", 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, &key, nullptr) == ERROR_SUCCESS &&
               RegSetValueExA(key, "Pop", 0, REG_DWORD, reinterpret_cast<BYTE*>(&pop),
                              sizeof pop) == ERROR_SUCCESS &&
               RegQueryValueExA(key, "Pop", nullptr, nullptr, reinterpret_cast<BYTE*>(&read),
                                &size) == ERROR_SUCCESS &&
               read == 1;
    if (key) RegCloseKey(key);
    say(std::string("registry HKLM\\Software\\KV7946\\V1.0 \"Pop\" = ") + std::to_string(read) +
        ": " + verdict(reg));
    ok = ok && reg;

    Sleep(2000);
    const char text[] = "KV7946 smoke test\r\n";
    DWORD n = 0;
    HANDLE out = CreateFileA("C:\\WINDOWS\\smoke.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    bool wrote = out != INVALID_HANDLE_VALUE && WriteFile(out, text, sizeof text - 1, &n, nullptr);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    char back[64] = {};
    HANDLE in = CreateFileA("c:\\windows\\SMOKE.TXT", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool readBack = in != INVALID_HANDLE_VALUE &&
                    ReadFile(in, back, sizeof back - 1, &n, nullptr) &&
                    std::strcmp(back, text) == 0;
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    say(std::string("file C:\\WINDOWS\\smoke.txt written: ") + verdict(wrote) +
        ", read back: " + verdict(readBack));
    ok = ok && wrote && readBack;

    ReleaseMutex(mutex);
    CloseHandle(mutex);
    say("done");
    return ok ? 0 : 1;
}

} // namespace

int main() {
    auto root =
        std::filesystem::temp_directory_path() / ("kv7946-smoke-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    DWORD code;
    std::vector<std::string> leaks;
    {
        vt::Clock clock;
        auto self = clock.attach("smoke");
        Machine machine(clock, MachineKind::WinXP, root);
        std::printf("simulated Windows XP machine at %s\n", root.string().c_str());
        code = machine.run("smoke.exe", smoke);
        leaks = machine.handleLeaks();
    }
    for (auto& line : leaks)
        std::printf("handle left open: %s\n", line.c_str());
    std::filesystem::remove_all(root);
    std::printf("smoke.exe exit code %u\n", static_cast<unsigned>(code));
    return code == 0 && leaks.empty() ? 0 : 1;
}

#include "platform/win32/version.h"

#include "platform/win32/machine_impl.h"

#include <cstring>

namespace win32 {

namespace {

struct VersionAnswer {
    DWORD major, minor, build, platform;
    const char* servicePack;
    WORD spMajor;
};

VersionAnswer answerFor(MachineKind kind) {
    switch (kind) {
    case MachineKind::Win98SE:
        return {4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS, " A ", 0};
    case MachineKind::WinME:
        return {4, 90, 0x045A0BB8, VER_PLATFORM_WIN32_WINDOWS, " ", 0};
    case MachineKind::Win2000:
        return {5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4", 4};
    case MachineKind::WinXP:
        break;
    }
    return {5, 1, 2600, VER_PLATFORM_WIN32_NT, "Service Pack 2", 2};
}

} // namespace

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    if (!info) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    MachineKind kind = t->machine->kind;
    bool nt = kind == MachineKind::Win2000 || kind == MachineKind::WinXP;
    DWORD size = info->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && !(nt && size == sizeof(OSVERSIONINFOEXA))) {
        t->lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    VersionAnswer a = answerFor(kind);
    info->dwMajorVersion = a.major;
    info->dwMinorVersion = a.minor;
    info->dwBuildNumber = a.build;
    info->dwPlatformId = a.platform;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    std::strncpy(info->szCSDVersion, a.servicePack, sizeof info->szCSDVersion - 1);
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<OSVERSIONINFOEXA*>(info);
        ex->wServicePackMajor = a.spMajor;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0x0100; // VER_SUITE_SINGLEUSERTS
        ex->wProductType = 1;    // VER_NT_WORKSTATION
        ex->wReserved = 0;
    }
    return TRUE;
}

DWORD GetVersion() {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    VersionAnswer a = answerFor(t->machine->kind);
    DWORD low = a.major | (a.minor << 8);
    if (a.platform == VER_PLATFORM_WIN32_NT) return low | ((a.build & 0x7FFF) << 16);
    return low | 0x80000000 | ((a.build & 0xFFFF) << 16 & 0x7FFF0000);
}

} // namespace win32

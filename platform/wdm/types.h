// Basic kernel-mode types.
#pragma once

#include "platform/wdm/ntstatus.h"

#include <cstddef>
#include <cstdint>

namespace wdm {

using UCHAR = uint8_t;
using CHAR = char;
using CCHAR = char;
using USHORT = uint16_t;
using SHORT = int16_t;
using ULONG = uint32_t;
using LONG = int32_t;
using ULONGLONG = uint64_t;
using LONGLONG = int64_t;
using ULONG_PTR = uintptr_t;
using LONG_PTR = intptr_t;
using SIZE_T = size_t;
using BOOLEAN = uint8_t;
using WCHAR = char16_t;
using PVOID = void*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PCHAR = char*;
using PUCHAR = UCHAR*;
using PULONG = ULONG*;
using PLONG = LONG*;

// Kernel handles are opaque.
struct KernelHandleTag;
using HANDLE = KernelHandleTag*;
using PHANDLE = HANDLE*;

constexpr BOOLEAN TRUE = 1;
constexpr BOOLEAN FALSE = 0;

union LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;

struct UNICODE_STRING {
    USHORT Length;        // bytes, without terminator
    USHORT MaximumLength; // bytes
    PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;

using KIRQL = UCHAR;
using PKIRQL = KIRQL*;
constexpr KIRQL PASSIVE_LEVEL = 0;
constexpr KIRQL APC_LEVEL = 1;
constexpr KIRQL DISPATCH_LEVEL = 2;

using KPRIORITY = LONG;
using ACCESS_MASK = ULONG;

enum KPROCESSOR_MODE : CCHAR { KernelMode = 0, UserMode = 1 };

enum KWAIT_REASON {
    Executive = 0,
    FreePage,
    PageIn,
    PoolAllocation,
    DelayExecution,
    Suspended,
    UserRequest,
};

// Device I/O control codes.
constexpr ULONG CTL_CODE(ULONG deviceType, ULONG function, ULONG method, ULONG access) {
    return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
constexpr ULONG METHOD_BUFFERED = 0;
constexpr ULONG METHOD_IN_DIRECT = 1;
constexpr ULONG METHOD_OUT_DIRECT = 2;
constexpr ULONG METHOD_NEITHER = 3;
constexpr ULONG FILE_ANY_ACCESS = 0;
constexpr ULONG FILE_READ_ACCESS = 1;
constexpr ULONG FILE_WRITE_ACCESS = 2;
constexpr ULONG METHOD_FROM_CTL_CODE(ULONG code) {
    return code & 3;
}

} // namespace wdm

// NTSTATUS values as the kernel defines them.
#pragma once

#include <cstdint>

namespace wdm {

using NTSTATUS = int32_t;

constexpr bool NT_SUCCESS(NTSTATUS s) {
    return s >= 0;
}
constexpr bool NT_INFORMATION(NTSTATUS s) {
    return (static_cast<uint32_t>(s) >> 30) == 1;
}
constexpr bool NT_WARNING(NTSTATUS s) {
    return (static_cast<uint32_t>(s) >> 30) == 2;
}
constexpr bool NT_ERROR(NTSTATUS s) {
    return (static_cast<uint32_t>(s) >> 30) == 3;
}

constexpr NTSTATUS ntstatus(uint32_t v) {
    return static_cast<NTSTATUS>(v);
}

constexpr NTSTATUS STATUS_SUCCESS = 0x00000000;
constexpr NTSTATUS STATUS_WAIT_0 = 0x00000000;
constexpr NTSTATUS STATUS_ALERTED = 0x00000101;
constexpr NTSTATUS STATUS_TIMEOUT = 0x00000102;
constexpr NTSTATUS STATUS_PENDING = 0x00000103;
constexpr NTSTATUS STATUS_BUFFER_OVERFLOW = ntstatus(0x80000005);
constexpr NTSTATUS STATUS_NO_MORE_ENTRIES = ntstatus(0x8000001A);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = ntstatus(0xC0000001);
constexpr NTSTATUS STATUS_NOT_IMPLEMENTED = ntstatus(0xC0000002);
constexpr NTSTATUS STATUS_INVALID_HANDLE = ntstatus(0xC0000008);
constexpr NTSTATUS STATUS_INVALID_PARAMETER = ntstatus(0xC000000D);
constexpr NTSTATUS STATUS_NO_SUCH_DEVICE = ntstatus(0xC000000E);
constexpr NTSTATUS STATUS_INVALID_DEVICE_REQUEST = ntstatus(0xC0000010);
constexpr NTSTATUS STATUS_MORE_PROCESSING_REQUIRED = ntstatus(0xC0000016);
constexpr NTSTATUS STATUS_NO_MEMORY = ntstatus(0xC0000017);
constexpr NTSTATUS STATUS_ACCESS_DENIED = ntstatus(0xC0000022);
constexpr NTSTATUS STATUS_BUFFER_TOO_SMALL = ntstatus(0xC0000023);
constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = ntstatus(0xC0000033);
constexpr NTSTATUS STATUS_OBJECT_NAME_NOT_FOUND = ntstatus(0xC0000034);
constexpr NTSTATUS STATUS_OBJECT_NAME_COLLISION = ntstatus(0xC0000035);
constexpr NTSTATUS STATUS_SHARING_VIOLATION = ntstatus(0xC0000043);
constexpr NTSTATUS STATUS_DELETE_PENDING = ntstatus(0xC0000056);
constexpr NTSTATUS STATUS_INSUFFICIENT_RESOURCES = ntstatus(0xC000009A);
constexpr NTSTATUS STATUS_DEVICE_DATA_ERROR = ntstatus(0xC000009C);
constexpr NTSTATUS STATUS_DEVICE_NOT_CONNECTED = ntstatus(0xC000009D);
constexpr NTSTATUS STATUS_DEVICE_NOT_READY = ntstatus(0xC00000A3);
constexpr NTSTATUS STATUS_IO_TIMEOUT = ntstatus(0xC00000B5);
constexpr NTSTATUS STATUS_NOT_SUPPORTED = ntstatus(0xC00000BB);
constexpr NTSTATUS STATUS_CANCELLED = ntstatus(0xC0000120);
constexpr NTSTATUS STATUS_IO_DEVICE_ERROR = ntstatus(0xC0000185);
constexpr NTSTATUS STATUS_DEVICE_REMOVED = ntstatus(0xC00002B6);

} // namespace wdm

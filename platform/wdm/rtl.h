// Run-time library helpers.
#pragma once

#include "platform/wdm/types.h"

#include <cstring>

namespace wdm {

inline void RtlInitUnicodeString(PUNICODE_STRING Destination, PCWSTR Source) {
    USHORT n = 0;
    if (Source)
        while (Source[n])
            ++n;
    Destination->Length = static_cast<USHORT>(n * sizeof(WCHAR));
    Destination->MaximumLength = Source ? static_cast<USHORT>((n + 1) * sizeof(WCHAR)) : 0;
    Destination->Buffer = const_cast<PWSTR>(Source);
}
inline void RtlZeroMemory(PVOID Destination, SIZE_T Length) {
    std::memset(Destination, 0, Length);
}
inline void RtlCopyMemory(PVOID Destination, const void* Source, SIZE_T Length) {
    std::memcpy(Destination, Source, Length);
}
inline void RtlMoveMemory(PVOID Destination, const void* Source, SIZE_T Length) {
    std::memmove(Destination, Source, Length);
}
inline void RtlFillMemory(PVOID Destination, SIZE_T Length, UCHAR Fill) {
    std::memset(Destination, Fill, Length);
}

} // namespace wdm

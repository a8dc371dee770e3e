// Pool memory.
#pragma once

#include "platform/wdm/types.h"

namespace wdm {

enum POOL_TYPE { NonPagedPool = 0, PagedPool = 1, NonPagedPoolMustSucceed = 2 };

// The four tag bytes in memory order, e.g. PoolTag("Wdm ").
constexpr ULONG PoolTag(const char (&t)[5]) {
    return static_cast<ULONG>(static_cast<UCHAR>(t[0])) |
           static_cast<ULONG>(static_cast<UCHAR>(t[1])) << 8 |
           static_cast<ULONG>(static_cast<UCHAR>(t[2])) << 16 |
           static_cast<ULONG>(static_cast<UCHAR>(t[3])) << 24;
}

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag);
PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes);
void ExFreePool(PVOID P);
void ExFreePoolWithTag(PVOID P, ULONG Tag);

} // namespace wdm

#include "platform/wdm/kernel_impl.h"

#include <cstdlib>
#include <cstring>

namespace wdm {

namespace {
constexpr ULONG kDriverTag = PoolTag("Wdm ");
constexpr UCHAR kFreshFill = 0xCD;
} // namespace

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    Kernel& k = currentKernel();
    auto& impl = k.impl();
    if (Tag != kDriverTag) k.verifier().report("pool allocation with a tag other than \"Wdm \"");
    if (PoolType == PagedPool && currentContext()->irql >= DISPATCH_LEVEL)
        k.verifier().report("paged pool allocated at DISPATCH_LEVEL");
    std::lock_guard lock(impl.m);
    if (impl.poolFailCount > 0) {
        if (impl.poolFailSkip > 0) {
            --impl.poolFailSkip;
        } else {
            --impl.poolFailCount;
            return nullptr;
        }
    }
    void* p = std::malloc(NumberOfBytes ? NumberOfBytes : 1);
    if (!p) return nullptr;
    std::memset(p, kFreshFill, NumberOfBytes);
    impl.pool[p] = {NumberOfBytes, Tag};
    return p;
}

PVOID ExAllocatePool(POOL_TYPE PoolType, SIZE_T NumberOfBytes) {
    return ExAllocatePoolWithTag(PoolType, NumberOfBytes, PoolTag("None"));
}

void ExFreePool(PVOID P) {
    Kernel& k = currentKernel();
    auto& impl = k.impl();
    std::lock_guard lock(impl.m);
    auto it = impl.pool.find(P);
    if (it == impl.pool.end()) {
        k.verifier().report("ExFreePool of memory that is not an allocated pool block");
        return;
    }
    impl.pool.erase(it);
    std::free(P);
}

void ExFreePoolWithTag(PVOID P, ULONG Tag) {
    Kernel& k = currentKernel();
    {
        std::lock_guard lock(k.impl().m);
        auto it = k.impl().pool.find(P);
        if (it != k.impl().pool.end() && it->second.tag != Tag)
            k.verifier().report("ExFreePoolWithTag with a tag that does not match");
    }
    ExFreePool(P);
}

} // namespace wdm

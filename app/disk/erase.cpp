#include "app/disk/erase.h"

#include <cstring>
#include <optional>

namespace disk {

namespace {

// Counts the blocks handled and moves the progress bar.
class RegionProgress {
  public:
    RegionProgress(const OperationHooks& hooks, uint32_t denominator)
        : hooks_(hooks), denominator_(denominator) {}
    void Step() {
        ++count_;
        hooks_.Progress(static_cast<int>(uint64_t{count_} * 100 / denominator_));
    }

  private:
    const OperationHooks& hooks_;
    uint32_t denominator_;
    uint32_t count_ = 0;
};

void EraseHandled(FlashAccess& flash, uint32_t block, const OperationHooks& hooks,
                  RegionProgress& progress) {
    hooks.BeforeCommand();
    EraseBlockRetry(flash, block); // failures are ignored in a region erase
    progress.Step();
}

// The block number recorded in a spare block's first page, or nothing when
// the spare bytes cannot be read.
std::optional<uint32_t> SpareRecord(FlashAccess& flash, uint32_t block,
                                    const OperationHooks& hooks) {
    std::array<uint8_t, 16> spare{};
    hooks.BeforeCommand();
    if (!flash.ReadSpare(block * kPagesPerBlock, spare)) return std::nullopt;
    return (uint32_t{spare[2]} << 8) | spare[3];
}

} // namespace

bool EraseBlockRetry(FlashAccess& flash, uint32_t block) {
    return flash.EraseBlock(block) || flash.EraseBlock(block);
}

bool SaveSystemBlock(FlashAccess& flash, SystemBlockCopy& copy, const OperationHooks& hooks) {
    std::array<uint8_t, 528> reply{};
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        hooks.BeforeCommand();
        if (!flash.ReadPage(page, reply)) return false;
        std::memcpy(&copy[page * kSectorBytes], reply.data(), kSectorBytes);
    }
    return true;
}

bool RestoreSystemBlock(FlashAccess& flash, const SystemBlockCopy& copy) {
    for (uint32_t page = 0; page < kPagesPerBlock; ++page) {
        std::span<const uint8_t, 512> data(&copy[page * kSectorBytes], kSectorBytes);
        if (!flash.WritePage(page, data)) return false;
    }
    return true;
}

bool EraseWholeDevice(FlashAccess& flash, const FlashGeometry& g, WholeEraseVariant variant,
                      const OperationHooks& hooks) {
    const uint32_t N = g.totalPhysical();
    if (variant == WholeEraseVariant::BothDisks) {
        const uint32_t count = g.units() * g.physicalPerUnit();
        for (uint32_t i = 0; i < count; ++i) {
            hooks.BeforeCommand();
            EraseBlockRetry(flash, i);
            hooks.Progress(static_cast<int>(uint64_t{i + 1} * 100 / N));
        }
        return true;
    }
    const bool strict = variant == WholeEraseVariant::SingleStorage;
    for (uint32_t i = 1; i < N; ++i) {
        hooks.BeforeCommand();
        if (!EraseBlockRetry(flash, i) && strict) return false;
        hooks.Progress(static_cast<int>(uint64_t{i} * 100 / N));
    }
    hooks.BeforeCommand();
    const bool block0 = strict ? flash.EraseBlock(0) : EraseBlockRetry(flash, 0);
    return block0 || !strict;
}

bool EraseSecurityRegion(FlashAccess& flash, const FlashGeometry& g, uint32_t e,
                         const OperationHooks& hooks) {
    const uint32_t L = g.logicalPerUnit(), P = g.physicalPerUnit(), b = g.units();
    if (e >= g.totalLogical()) return false; // no Security Disk
    const uint32_t s2 = SecurityFirstBlock(g, e);
    const uint32_t f = e < L ? 1 : (e == L ? 2 : e / L + 1);
    uint32_t D;
    if (e < L)
        D = b * P - e;
    else if (e == L)
        D = (b - 1) * P;
    else if (e % L != 0)
        D = (b - f) * P + P - (e % L);
    else
        D = (b - f + 1) * P;
    RegionProgress progress(hooks, D);

    for (uint32_t k = f; k <= b; ++k) {
        if (k == f) {
            for (uint32_t j = s2; j <= (k - 1) * P + L; ++j)
                EraseHandled(flash, j, hooks, progress);
            for (uint32_t j = (k - 1) * P + L + 1; j <= k * P - 1; ++j) {
                const auto record = SpareRecord(flash, j, hooks);
                if (!record) return false;
                if (*record >= s2) {
                    hooks.BeforeCommand();
                    EraseBlockRetry(flash, j);
                }
                progress.Step();
            }
        } else {
            for (uint32_t j = (k - 1) * P; j <= k * P - 1; ++j)
                EraseHandled(flash, j, hooks, progress);
        }
    }
    return true;
}

bool EraseStandardRegion(FlashAccess& flash, const FlashGeometry& g, uint32_t e,
                         const OperationHooks& hooks) {
    const uint32_t L = g.logicalPerUnit(), P = g.physicalPerUnit();
    if (e == 0 || e > g.totalLogical()) return false; // no Standard Disk
    const uint32_t g_ = e <= L ? 1 : (e % L == 0 ? e / L : e / L + 1);
    uint32_t end, D;
    if (g_ == 1) {
        end = e;
        D = e + (P - L - 1);
    } else if (e % L == 0) {
        end = g_ * P - 1;
        D = g_ * P;
    } else {
        end = (e % L) + (g_ - 1) * P;
        D = (e % L) + (g_ - 1) * P + (P - L - 1);
    }
    RegionProgress progress(hooks, D);

    auto spares = [&](uint32_t first, uint32_t last, auto belongs) {
        for (uint32_t j = first; j <= last; ++j) {
            const auto record = SpareRecord(flash, j, hooks);
            if (!record) return false;
            if (belongs(*record)) {
                hooks.BeforeCommand();
                EraseBlockRetry(flash, j);
            }
            progress.Step();
        }
        return true;
    };

    for (uint32_t j = 1; j <= (e < L ? e : L); ++j)
        EraseHandled(flash, j, hooks, progress);
    if (!spares(L + 1, P - 1, [&](uint32_t r) { return r != 0 && r <= e; })) return false;
    for (uint32_t k = 2; k < g_; ++k)
        for (uint32_t j = (k - 1) * P; j <= k * P - 1; ++j)
            EraseHandled(flash, j, hooks, progress);
    if (g_ > 1) {
        for (uint32_t j = (g_ - 1) * P; j <= end; ++j)
            EraseHandled(flash, j, hooks, progress);
        if (!spares((g_ - 1) * P + L + 1, g_ * P - 1, [&](uint32_t r) { return r <= end; }))
            return false;
    }
    return true;
}

} // namespace disk

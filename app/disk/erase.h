// Flash erase procedures: block by block, keeping the system block or one
// disk's blocks as asked.
#pragma once

#include "app/disk/flash_access.h"
#include "app/disk/geometry.h"

#include <array>
#include <cstdint>

namespace disk {

using SystemBlockCopy = std::array<uint8_t, kSystemBlockBytes>;

enum class WholeEraseVariant {
    SingleStorage, // blocks 1..N-1 then 0 (no retry); any failure fails
    BothDisks,     // blocks 0..b*P-1; failures ignored
    Partition,     // blocks 1..N-1 then 0 (with retry); failures ignored
};

// EraseBlock, and once more if that fails.
bool EraseBlockRetry(FlashAccess& flash, uint32_t block);
// Pages 0..31 of the system block, 512 data bytes each.
bool SaveSystemBlock(FlashAccess& flash, SystemBlockCopy& copy, const OperationHooks& hooks = {});
bool RestoreSystemBlock(FlashAccess& flash, const SystemBlockCopy& copy);

bool EraseWholeDevice(FlashAccess& flash, const FlashGeometry& g, WholeEraseVariant variant,
                      const OperationHooks& hooks = {});
// Erase the blocks of one disk (and the spare blocks standing in for them)
// for division point e. False when a spare record cannot be read, or when
// the device has no such disk.
bool EraseSecurityRegion(FlashAccess& flash, const FlashGeometry& g, uint32_t e,
                         const OperationHooks& hooks = {});
bool EraseStandardRegion(FlashAccess& flash, const FlashGeometry& g, uint32_t e,
                         const OperationHooks& hooks = {});

} // namespace disk

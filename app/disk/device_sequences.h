// The device-level sequences of the format and partition workflows. The
// dialogs ask their questions, check write protection and fill the label
// slots; these do the device work and report success or failure.
#pragma once

#include "app/disk/erase.h"
#include "app/disk/fat_params.h"
#include "app/disk/flash_access.h"
#include "app/disk/label_slots.h"

#include <cstdint>
#include <optional>

namespace disk {

std::optional<FlashGeometry> ReadGeometry(FlashAccess& flash);
// True only for a successful reply with the writable bit clear.
bool IsWriteProtected(FlashAccess& flash);

// Single-storage format: record the layout flag, save the system block,
// erase the whole device, restore the block, lay out one or two disks as
// the division point already stored says. Uses labels.Whole (or
// Standard/Security).
bool FormatSingleStorage(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                         const OperationHooks& hooks = {});
// Dual format, one disk. The Security Disk keeps the layout the device
// already has; labels.Active must hold its label.
bool FormatSecurityDisk(FlashAccess& flash, LabelSlots& labels, const OperationHooks& hooks = {});
bool FormatStandardDisk(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                        const OperationHooks& hooks = {});
// Dual format, both disks (labels.Standard and labels.Security).
bool FormatBothDisks(FlashAccess& flash, LabelSlots& labels, LayoutType type,
                     const OperationHooks& hooks = {});
// Partition: division point e (Standard Disk blocks) and unit table into the
// configuration page, then as a format of the whole device.
bool PartitionDevice(FlashAccess& flash, LabelSlots& labels, LayoutType type, uint32_t e,
                     const OperationHooks& hooks = {});

// The layout a Security-only format uses: HDD when the flag is set,
// Floppy when block 1 starts with a jump, Zip otherwise.
std::optional<LayoutType> ExistingLayout(FlashAccess& flash, std::span<const uint8_t, 512> config);

} // namespace disk

// Writes empty FAT file systems into the flash in the Floppy, Zip or HDD
// layout, one page per command.
#pragma once

#include "app/disk/fat_params.h"
#include "app/disk/flash_access.h"
#include "app/disk/geometry.h"
#include "app/disk/label_slots.h"
#include "app/disk/sector_images.h"

#include <optional>

namespace disk {

class LayoutWriter {
  public:
    LayoutWriter(FlashAccess& flash, LabelSlots& labels) : flash_(flash), labels_(labels) {}

    // Sends the sector buffer to page TranslateSector(x).
    bool WriteSector(uint32_t x);
    // Lays out the region of n sectors starting at block s; true when every
    // write succeeded. Asks the device's geometry first.
    bool WriteRegionLayout(LayoutType type, uint32_t n, uint32_t s);
    // Lays out the whole device for division point e (Standard Disk blocks),
    // a zones and b units: one disk, or the Standard Disk then the Security
    // Disk.
    bool FormatDeviceLayout(LayoutType type, uint32_t e, uint32_t a, uint32_t b);

    Sector& buffer() { return buffer_; }
    // The geometry recorded by the last WriteRegionLayout.
    const std::optional<FlashGeometry>& geometry() const { return geometry_; }

  private:
    bool WriteRun(uint32_t& x, uint32_t count); // zero sectors at x, x + 1 ...
    bool WriteFat(uint32_t& x, const RegionLayout& layout);

    FlashAccess& flash_;
    LabelSlots& labels_;
    Sector buffer_{};
    std::optional<FlashGeometry> geometry_;
};

} // namespace disk

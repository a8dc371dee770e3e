// Where the Standard Disk and the Security Disk lie in the flash.
//
// The data blocks of all units form one run of logical blocks: unit k holds
// logical blocks k*L to k*L + L - 1 at its physical offsets 1 to L. The
// Standard Disk is the first `division` logical blocks, the Security Disk the
// rest; a disk's sector r is page r mod 32 of its (r div 32)-th block.
#pragma once

#include "emulator/flash/geometry.h"

#include <cstdint>
#include <optional>

namespace emu {

enum class Disk { Standard, Security, Whole };

const char* diskName(Disk disk);

class DiskPlacement {
  public:
    // A division point beyond the device's logical blocks counts as all of them.
    DiskPlacement(Geometry geometry, uint32_t division);

    uint32_t division() const { return division_; }
    uint32_t blocks(Disk disk) const;
    uint32_t sectors(Disk disk) const { return blocks(disk) * kPagesPerBlock; }
    // Physical block where the disk starts; none for an empty disk.
    std::optional<uint32_t> firstBlock(Disk disk) const;
    // Flash page of a disk's sector; none beyond the disk's end.
    std::optional<uint32_t> pageOf(Disk disk, uint32_t sector) const;

    // Page translation of a layout writer: a page in the spare blocks of a
    // unit moves on to the data blocks of the next unit.
    uint32_t translateLayoutPage(uint32_t page) const;

  private:
    uint32_t firstLogical(Disk disk) const { return disk == Disk::Security ? division_ : 0; }

    Geometry geometry_;
    uint32_t division_;
};

} // namespace emu

// The sector images a layout is made of, built into a 512-byte buffer.
#pragma once

#include "app/disk/fat_params.h"
#include "app/disk/label_slots.h"

#include <array>
#include <cstdint>

namespace disk {

using Sector = std::array<uint8_t, 512>;

// Master boot record with one active partition entry (Zip and HDD layouts).
void BuildMbr(const RegionLayout& layout, Sector& sector);
// Boot sector with the BPB, the volume label and the FAT12 or FAT16 boot
// program.
void BuildBootSector(const RegionLayout& layout, const LabelSlot& label, Sector& sector);
// First sector of a FAT copy: media byte and the end-of-chain entry.
void BuildFatFirstSector(FatType fat, Sector& sector);
// First root-directory sector: the label slot as the first entry.
void BuildRootFirstSector(const LabelSlot& label, Sector& sector);
void FillSector(uint8_t value, Sector& sector);

} // namespace disk

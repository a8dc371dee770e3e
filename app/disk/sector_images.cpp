#include "app/disk/sector_images.h"

#include "app/disk/boot_programs.h"

#include <algorithm>
#include <cstring>

namespace disk {

namespace {

void Put16(Sector& s, size_t at, uint32_t v) {
    s[at] = static_cast<uint8_t>(v);
    s[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Sector& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}

void PutSignature(Sector& s) {
    s[510] = 0x55;
    s[511] = 0xAA;
}

} // namespace

void FillSector(uint8_t value, Sector& sector) {
    sector.fill(value);
}

void BuildMbr(const RegionLayout& layout, Sector& sector) {
    sector.fill(0);
    std::copy(kMbrProgram.begin(), kMbrProgram.end(), sector.begin());
    const uint32_t last = layout.sectors - 1;
    const auto start = ChsOf(layout.hidden, layout.heads, layout.sectorsPerTrack);
    const auto end = ChsOf(last, layout.heads, layout.sectorsPerTrack);
    sector[446] = 0x80;
    std::copy(start.begin(), start.end(), sector.begin() + 447);
    sector[450] = PartitionType(layout.sectors);
    std::copy(end.begin(), end.end(), sector.begin() + 451);
    Put32(sector, 454, layout.hidden);
    Put32(sector, 458, layout.volumeSectors);
    PutSignature(sector);
}

void BuildBootSector(const RegionLayout& layout, const LabelSlot& label, Sector& sector) {
    sector.fill(0);
    const bool fat16 = layout.fat == FatType::Fat16;
    sector[0] = 0xEB;
    sector[1] = fat16 ? 0x3E : 0x3C;
    sector[2] = 0x90;
    std::memcpy(&sector[3], "Merovane", 8);
    Put16(sector, 11, 512);
    sector[13] = kSectorsPerCluster;
    Put16(sector, 14, 1);
    sector[16] = 2;
    Put16(sector, 17, layout.rootEntries);
    const bool small = layout.sectors <= 64000;
    Put16(sector, 19, small ? layout.volumeSectors : 0);
    sector[21] = 0xF8;
    Put16(sector, 22, layout.fatSectors & 0xFF);
    Put16(sector, 24, layout.sectorsPerTrack);
    Put16(sector, 26, layout.heads);
    Put32(sector, 28, layout.hidden);
    Put32(sector, 32, small ? 0 : layout.volumeSectors);
    sector[36] = 0x80;
    sector[38] = 0x29;
    // Readers want the root directory's label here too, or "NO NAME".
    std::memcpy(&sector[43], "NO NAME    ", 11);
    if (label[kLabelChars] != 0)
        for (size_t i = 0; i < kLabelChars; ++i)
            sector[43 + i] = label[i] != 0 ? label[i] : ' ';
    std::memcpy(&sector[54], fat16 ? "FAT16" : "FAT12", 5);
    const auto& program = fat16 ? kFat16Program : kFat12Program;
    std::copy(program.begin(), program.end(), sector.begin() + 62);
    PutSignature(sector);
}

void BuildFatFirstSector(FatType fat, Sector& sector) {
    sector.fill(0);
    sector[0] = 0xF8;
    sector[1] = 0xFF;
    sector[2] = 0xFF;
    if (fat == FatType::Fat16) sector[3] = 0xFF;
}

void BuildRootFirstSector(const LabelSlot& label, Sector& sector) {
    sector.fill(0);
    std::copy(label.begin(), label.end(), sector.begin());
    // Directory names are padded with spaces; a zero byte makes the entry invalid.
    if (label[kLabelChars] != 0)
        std::replace(sector.begin(), sector.begin() + kLabelChars, uint8_t{0}, uint8_t{' '});
}

} // namespace disk

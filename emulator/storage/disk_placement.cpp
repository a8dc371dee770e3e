#include "emulator/storage/disk_placement.h"

#include <algorithm>

namespace emu {

const char* diskName(Disk disk) {
    switch (disk) {
    case Disk::Standard:
        return "standard";
    case Disk::Security:
        return "security";
    case Disk::Whole:
        return "whole";
    }
    return "?";
}

DiskPlacement::DiskPlacement(Geometry geometry, uint32_t division)
    : geometry_(geometry), division_(std::min(division, geometry.totalLogicalBlocks())) {}

uint32_t DiskPlacement::blocks(Disk disk) const {
    switch (disk) {
    case Disk::Standard:
        return division_;
    case Disk::Security:
        return geometry_.totalLogicalBlocks() - division_;
    case Disk::Whole:
        return geometry_.totalLogicalBlocks();
    }
    return 0;
}

std::optional<uint32_t> DiskPlacement::firstBlock(Disk disk) const {
    if (blocks(disk) == 0) return std::nullopt;
    return geometry_.physicalBlockOf(firstLogical(disk));
}

std::optional<uint32_t> DiskPlacement::pageOf(Disk disk, uint32_t sector) const {
    if (sector >= sectors(disk)) return std::nullopt;
    uint32_t logical = firstLogical(disk) + sector / kPagesPerBlock;
    return geometry_.physicalBlockOf(logical) * kPagesPerBlock + sector % kPagesPerBlock;
}

uint32_t DiskPlacement::translateLayoutPage(uint32_t page) const {
    uint32_t l = geometry_.logicalPerUnit();
    uint32_t p = geometry_.physicalPerUnit();
    uint32_t block = page / kPagesPerBlock;
    uint32_t k = block / p;
    if (block > k * p + l && block < (k + 1) * p) return page + kPagesPerBlock * (p - l);
    return page;
}

} // namespace emu

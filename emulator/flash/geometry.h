// Flash measures of one device: units, zones, blocks and pages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace emu {

constexpr uint32_t kPageDataBytes = 512;
constexpr uint32_t kPageSpareBytes = 16;
constexpr uint32_t kPageBytes = kPageDataBytes + kPageSpareBytes;
constexpr uint32_t kPagesPerBlock = 32;
constexpr uint32_t kPhysicalBlocksPerZone = 1024;
constexpr uint32_t kLogicalBlocksPerZone = 1000;
constexpr uint32_t kMaxUnits = 8;
constexpr uint32_t kMaxZones = 64;

struct Geometry {
    uint32_t units = 1;
    uint32_t zones = 1;

    // Empty when the geometry is valid, otherwise why it is not.
    static std::optional<std::string> check(uint32_t units, uint32_t zones);

    uint32_t zonesPerUnit() const { return zones / units; }
    uint32_t logicalPerUnit() const { return kLogicalBlocksPerZone * zonesPerUnit(); }   // L
    uint32_t physicalPerUnit() const { return kPhysicalBlocksPerZone * zonesPerUnit(); } // P
    uint32_t totalLogicalBlocks() const { return kLogicalBlocksPerZone * zones; }        // T
    uint32_t totalPhysicalBlocks() const { return kPhysicalBlocksPerZone * zones; }
    uint32_t totalPages() const { return totalPhysicalBlocks() * kPagesPerBlock; }

    // Physical block of the g-th logical data block (counted from 0 over all units).
    uint32_t physicalBlockOf(uint32_t logical) const {
        return (logical / logicalPerUnit()) * physicalPerUnit() + logical % logicalPerUnit() + 1;
    }
};

} // namespace emu

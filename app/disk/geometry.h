// Flash measures, the geometry the controller reports and where the two
// disks lie in its blocks.
#pragma once

#include <cstdint>
#include <optional>

namespace disk {

constexpr uint32_t kSectorBytes = 512;
constexpr uint32_t kSpareBytes = 16;
constexpr uint32_t kPagesPerBlock = 32;
constexpr uint32_t kLogicalBlocksPerZone = 1000;
constexpr uint32_t kPhysicalBlocksPerZone = 1024;
constexpr uint32_t kMaxZones = 64;
constexpr uint32_t kMaxUnits = 8;
constexpr uint32_t kSystemBlockBytes = kPagesPerBlock * kSectorBytes;

// The two bytes of GetGeometry, checked: at least one unit and at most
// eight, at most 64 zones, and the zones spread evenly over the units.
class FlashGeometry {
  public:
    static std::optional<FlashGeometry> From(uint32_t units, uint32_t zones);

    uint32_t units() const { return units_; }                                            // b
    uint32_t zones() const { return zones_; }                                            // a
    uint32_t zonesPerUnit() const { return zones_ / units_; }                            // z
    uint32_t logicalPerUnit() const { return kLogicalBlocksPerZone * zonesPerUnit(); }   // L
    uint32_t physicalPerUnit() const { return kPhysicalBlocksPerZone * zonesPerUnit(); } // P
    uint32_t totalLogical() const { return kLogicalBlocksPerZone * zones_; }             // T
    uint32_t totalPhysical() const { return kPhysicalBlocksPerZone * zones_; }           // N

  private:
    FlashGeometry(uint32_t units, uint32_t zones) : units_(units), zones_(zones) {}
    uint32_t units_;
    uint32_t zones_;
};

// First block of the Security Disk for division point e (e < T).
uint32_t SecurityFirstBlock(const FlashGeometry& g, uint32_t e);

// Page number a layout write of page x goes to: a page in the spare blocks
// of a unit moves on to the data blocks of the next one.
uint32_t TranslateSector(const FlashGeometry& g, uint32_t x);

} // namespace disk

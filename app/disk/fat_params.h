// FAT parameters, disk geometry and CHS values of a region, all computed from
// the region's size in sectors.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace disk {

enum class LayoutType { Floppy, Zip, Hdd };
enum class FatType { Fat12, Fat16 };

constexpr uint32_t kSectorsPerCluster = 32;
constexpr uint32_t kMaxRegionSectors = 32 * 1000 * 64; // 64 zones
constexpr uint32_t kMinFat16Clusters = 4085;           // below this a FAT is read as FAT12

FatType FatWidth(uint32_t n);
uint32_t FatSectorsFor(uint32_t n);
uint32_t AlignRemainder(uint32_t fatSectors);
uint32_t HddHiddenSectors(uint32_t n);
uint32_t RootDirSectors(LayoutType type, uint32_t n);
uint32_t HeadsFor(uint32_t n);
std::array<uint8_t, 3> ChsOf(uint32_t lba, uint32_t heads, uint32_t sectorsPerTrack);
uint8_t PartitionType(uint32_t n);

// Everything a layout writer needs for one region.
struct RegionLayout {
    LayoutType type;
    uint32_t sectors; // n
    FatType fat;
    uint32_t fatSectors;  // F
    uint32_t hidden;      // H: region sector of the boot sector
    uint32_t rootSectors; // R
    uint32_t rootEntries;
    uint32_t sectorsPerTrack;
    uint32_t heads;
    uint32_t volumeSectors;   // sectors from the boot sector to the region's end
    uint32_t firstDataSector; // region sector of cluster 2
    uint32_t clusters;
};

// The region's layout, or nothing for an empty region, one above 64 zones or
// one too small to hold its own FAT structures.
std::optional<RegionLayout> PlanRegion(LayoutType type, uint32_t n);

} // namespace disk

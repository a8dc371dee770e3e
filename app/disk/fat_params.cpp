#include "app/disk/fat_params.h"

namespace disk {

FatType FatWidth(uint32_t n) {
    return n > 128000 ? FatType::Fat16 : FatType::Fat12;
}

uint32_t FatSectorsFor(uint32_t n) {
    const uint32_t t = FatWidth(n) == FatType::Fat12 ? (3 * n) / 64 : 2 * (n / 32);
    return t / 512 + (t % 512 != 0 ? 1 : 0);
}

uint32_t AlignRemainder(uint32_t fatSectors) {
    return (2 * fatSectors + 17) % 32;
}

uint32_t HddHiddenSectors(uint32_t n) {
    return 64 - AlignRemainder(FatSectorsFor(n));
}

uint32_t RootDirSectors(LayoutType type, uint32_t n) {
    if (type == LayoutType::Hdd) return 16;
    return 48 - AlignRemainder(FatSectorsFor(n));
}

uint32_t HeadsFor(uint32_t n) {
    if (n < 256000) return 8;
    if (n < 512000) return 16;
    if (n < 1024000) return 31;
    return 63;
}

std::array<uint8_t, 3> ChsOf(uint32_t lba, uint32_t heads, uint32_t sectorsPerTrack) {
    const uint32_t c = lba / (heads * sectorsPerTrack);
    const uint32_t h = (lba / sectorsPerTrack) % heads;
    const uint32_t s = (lba % sectorsPerTrack) + 1;
    return {static_cast<uint8_t>(h), static_cast<uint8_t>((s & 0x3F) | ((c >> 2) & 0xC0)),
            static_cast<uint8_t>(c & 0xFF)};
}

uint8_t PartitionType(uint32_t n) {
    return n <= 64000 ? 0x01 : 0x06;
}

namespace {

RegionLayout Plan(LayoutType type, uint32_t n, FatType fat, uint32_t fatSectors) {
    RegionLayout r{};
    r.type = type;
    r.sectors = n;
    r.fat = fat;
    r.fatSectors = fatSectors;
    const uint32_t q = AlignRemainder(fatSectors);
    switch (type) {
    case LayoutType::Hdd:
        r.hidden = 64 - q;
        r.rootSectors = 16;
        r.sectorsPerTrack = 63;
        r.heads = HeadsFor(n);
        break;
    case LayoutType::Zip:
        r.hidden = 32;
        r.rootSectors = 48 - q;
        r.sectorsPerTrack = 32;
        r.heads = 64;
        break;
    case LayoutType::Floppy:
        r.hidden = 0;
        r.rootSectors = 48 - q;
        r.sectorsPerTrack = 63;
        r.heads = HeadsFor(n);
        break;
    }
    r.rootEntries = r.rootSectors * 16;
    r.volumeSectors = n - r.hidden;
    r.firstDataSector = r.hidden + 1 + 2 * fatSectors + r.rootSectors;
    r.clusters = n > r.firstDataSector ? (n - r.firstDataSector) / kSectorsPerCluster : 0;
    return r;
}

} // namespace

std::optional<RegionLayout> PlanRegion(LayoutType type, uint32_t n) {
    if (n == 0 || n > kMaxRegionSectors) return std::nullopt;
    RegionLayout r = Plan(type, n, FatWidth(n), FatSectorsFor(n));
    // A FAT16 volume with fewer clusters than FAT16 needs is taken for FAT12
    // by every reader; such a region gets FAT12, whose table is big enough.
    if (r.fat == FatType::Fat16 && r.clusters < kMinFat16Clusters) {
        const uint32_t t = (3 * n) / 64;
        r = Plan(type, n, FatType::Fat12, t / 512 + (t % 512 != 0 ? 1 : 0));
    }
    // The table must also hold the two reserved entries beside every
    // cluster; where it cannot, one more sector per FAT keeps the alignment.
    const uint32_t entryBits = r.fat == FatType::Fat16 ? 16 : 12;
    if ((r.fatSectors * 512 * 8) / entryBits < r.clusters + 2)
        r = Plan(type, n, r.fat, r.fatSectors + 1);
    if (r.clusters == 0) return std::nullopt;
    return r;
}

} // namespace disk

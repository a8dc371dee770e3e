#include "app/disk/fat_params.h"
#include "app/disk/geometry.h"

#include <gtest/gtest.h>

namespace disk {
namespace {

struct WorkedRow {
    uint32_t n;
    FatType fat;
    uint32_t F, q, hddH, hddData, R, entries, zipData, floppyData, heads;
    uint8_t type;
};

// Region sizes in sectors with their FAT parameters and first data sectors.
const WorkedRow kWorked[] = {
    {20480, FatType::Fat12, 2, 21, 43, 64, 27, 432, 64, 32, 8, 0x01},
    {32000, FatType::Fat12, 3, 23, 41, 64, 25, 400, 64, 32, 8, 0x01},
    {64000, FatType::Fat12, 6, 29, 35, 64, 19, 304, 64, 32, 8, 0x01},
    {96000, FatType::Fat12, 9, 3, 61, 96, 45, 720, 96, 64, 8, 0x06},
    {128000, FatType::Fat12, 12, 9, 55, 96, 39, 624, 96, 64, 8, 0x06},
    {128001, FatType::Fat16, 16, 17, 47, 96, 31, 496, 96, 64, 8, 0x06},
    {256000, FatType::Fat16, 32, 17, 47, 128, 31, 496, 128, 96, 16, 0x06},
    {512000, FatType::Fat16, 63, 15, 49, 192, 33, 528, 192, 160, 31, 0x06},
    {1024000, FatType::Fat16, 125, 11, 53, 320, 37, 592, 320, 288, 63, 0x06},
    {2048000, FatType::Fat16, 250, 5, 59, 576, 43, 688, 576, 544, 63, 0x06},
};

TEST(FatParameters, WorkedValues) {
    for (const auto& w : kWorked) {
        SCOPED_TRACE(w.n);
        EXPECT_EQ(FatWidth(w.n), w.fat);
        EXPECT_EQ(FatSectorsFor(w.n), w.F);
        EXPECT_EQ(AlignRemainder(w.F), w.q);
        EXPECT_EQ(HddHiddenSectors(w.n), w.hddH);
        EXPECT_EQ(RootDirSectors(LayoutType::Hdd, w.n), 16u);
        EXPECT_EQ(RootDirSectors(LayoutType::Zip, w.n), w.R);
        EXPECT_EQ(RootDirSectors(LayoutType::Floppy, w.n), w.R);
        EXPECT_EQ(HeadsFor(w.n), w.heads);
        EXPECT_EQ(PartitionType(w.n), w.type);
        if (w.n % 32 != 0) continue; // regions are whole blocks
        const auto hdd = PlanRegion(LayoutType::Hdd, w.n);
        const auto zip = PlanRegion(LayoutType::Zip, w.n);
        const auto floppy = PlanRegion(LayoutType::Floppy, w.n);
        ASSERT_TRUE(hdd && zip && floppy);
        EXPECT_EQ(hdd->hidden, w.hddH);
        EXPECT_EQ(hdd->firstDataSector, w.hddData);
        EXPECT_EQ(hdd->rootEntries, 256u);
        EXPECT_EQ(zip->rootEntries, w.entries);
        EXPECT_EQ(zip->firstDataSector, w.zipData);
        EXPECT_EQ(floppy->firstDataSector, w.floppyData);
        EXPECT_EQ(floppy->hidden, 0u);
        EXPECT_EQ(zip->hidden, 32u);
        EXPECT_EQ(zip->heads, 64u);
        EXPECT_EQ(zip->sectorsPerTrack, 32u);
    }
}

TEST(FatParameters, AlignmentNeverLeavesQZero) {
    for (uint32_t n = 32; n <= kMaxRegionSectors; n += 32) {
        const uint32_t q = AlignRemainder(FatSectorsFor(n));
        ASSERT_EQ(q % 2, 1u) << n;
        ASSERT_NE(RootDirSectors(LayoutType::Zip, n), 16u);
        ASSERT_NE(RootDirSectors(LayoutType::Zip, n), 48u);
        ASSERT_NE(HddHiddenSectors(n), 32u);
        for (auto type : {LayoutType::Floppy, LayoutType::Zip, LayoutType::Hdd}) {
            const auto plan = PlanRegion(type, n);
            if (!plan) continue;
            ASSERT_EQ(plan->firstDataSector % 32, 0u) << n;
            ASSERT_LE(plan->fatSectors, 255u);
        }
    }
}

TEST(FatParameters, BoundaryCases) {
    EXPECT_EQ(FatWidth(128000), FatType::Fat12);
    EXPECT_EQ(FatSectorsFor(128000), 12u);
    EXPECT_EQ(FatWidth(128001), FatType::Fat16);
    EXPECT_EQ(FatSectorsFor(128001), 16u);
    EXPECT_EQ(PartitionType(64000), 0x01);
    EXPECT_EQ(PartitionType(64001), 0x06);
    EXPECT_EQ(HeadsFor(255999), 8u);
    EXPECT_EQ(HeadsFor(256000), 16u);
    EXPECT_EQ(HeadsFor(511999), 16u);
    EXPECT_EQ(HeadsFor(512000), 31u);
    EXPECT_EQ(HeadsFor(1023999), 31u);
    EXPECT_EQ(HeadsFor(1024000), 63u);
}

// Every FAT16 region must hold at least 4085 clusters, or readers take it
// for FAT12; regions just above 128000 sectors fall back to FAT12.
TEST(FatParameters, FatTypeMatchesClusterCount) {
    for (uint32_t n = 32 * 3; n <= kMaxRegionSectors; n += 32) {
        for (auto type : {LayoutType::Floppy, LayoutType::Zip, LayoutType::Hdd}) {
            const auto plan = PlanRegion(type, n);
            ASSERT_TRUE(plan);
            if (plan->fat == FatType::Fat16)
                ASSERT_GE(plan->clusters, kMinFat16Clusters) << n;
            else
                ASSERT_LT(plan->clusters, kMinFat16Clusters) << n;
            const uint32_t entryBits = plan->fat == FatType::Fat16 ? 16 : 12;
            ASSERT_GE(plan->fatSectors * 512 * 8 / entryBits, plan->clusters + 2) << n;
        }
    }
    // A Floppy region of 3755 blocks needs one FAT sector more than the size rule gives.
    const auto tight = PlanRegion(LayoutType::Floppy, 120160);
    ASSERT_TRUE(tight);
    EXPECT_EQ(FatSectorsFor(120160), 11u);
    EXPECT_EQ(tight->fatSectors, 12u);
    EXPECT_EQ(tight->firstDataSector % 32, 0u);
    const auto band = PlanRegion(LayoutType::Hdd, 4040 * 32);
    ASSERT_TRUE(band);
    EXPECT_EQ(band->fat, FatType::Fat12);
    EXPECT_EQ(band->firstDataSector % 32, 0u);
}

TEST(FatParameters, RegionsRefused) {
    EXPECT_FALSE(PlanRegion(LayoutType::Floppy, 0));
    EXPECT_FALSE(PlanRegion(LayoutType::Hdd, kMaxRegionSectors + 32));
    EXPECT_FALSE(PlanRegion(LayoutType::Floppy, 32)); // no room for one cluster
    EXPECT_TRUE(PlanRegion(LayoutType::Hdd, kMaxRegionSectors));
}

struct ChsCase {
    uint32_t lba, heads, spt;
    uint32_t cylinder, head, sector;
};

TEST(Chs, Examples) {
    const ChsCase cases[] = {
        {35, 8, 63, 0, 0, 36},          // HDD start, n = 64000
        {63999, 8, 63, 126, 7, 55},     // HDD end
        {32, 64, 32, 0, 1, 1},          // Zip start
        {31999, 64, 32, 15, 39, 32},    // Zip end, n = 32000
        {2047999, 64, 32, 999, 63, 32}, // cylinder bits 8 and 9 in the sector byte
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lba);
        const auto chs = ChsOf(c.lba, c.heads, c.spt);
        EXPECT_EQ(chs[0], c.head);
        EXPECT_EQ(chs[1] & 0x3F, c.sector);
        EXPECT_EQ(((chs[1] & 0xC0u) << 2) | chs[2], c.cylinder);
    }
}

TEST(Geometry, DerivedValuesAndRefusals) {
    const auto g = FlashGeometry::From(2, 4);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->zonesPerUnit(), 2u);
    EXPECT_EQ(g->logicalPerUnit(), 2000u);
    EXPECT_EQ(g->physicalPerUnit(), 2048u);
    EXPECT_EQ(g->totalLogical(), 4000u);
    EXPECT_EQ(g->totalPhysical(), 4096u);

    const std::pair<uint32_t, uint32_t> refused[] = {{0, 4},  {3, 4},  {1, 0},
                                                     {1, 65}, {9, 72}, {2, 1}};
    for (auto [units, zones] : refused)
        EXPECT_FALSE(FlashGeometry::From(units, zones)) << units << " units, " << zones << " zones";
    EXPECT_TRUE(FlashGeometry::From(8, 64));
    EXPECT_TRUE(FlashGeometry::From(1, 64));
}

TEST(Geometry, SecurityDiskPlacement) {
    const auto two = *FlashGeometry::From(2, 2); // z = 1, L = 1000, P = 1024
    EXPECT_EQ(SecurityFirstBlock(two, 1500), 1525u);
    EXPECT_EQ(SecurityFirstBlock(two, 1000), 1025u); // e = L skips offset 0 of unit 2
    EXPECT_EQ(SecurityFirstBlock(two, 300), 301u);
    const auto four = *FlashGeometry::From(4, 4);
    EXPECT_EQ(SecurityFirstBlock(four, 2000), 2 * 1024u + 1);
    EXPECT_EQ(SecurityFirstBlock(four, 2500), 500 + 2 * 1024u + 1);
}

TEST(Geometry, TranslateSector) {
    const auto two = *FlashGeometry::From(2, 2);
    EXPECT_EQ(TranslateSector(two, 32 * 1001), 32 * 1025u); // spare block of unit 0
    EXPECT_EQ(TranslateSector(two, 32 * 1001 + 7), 32 * 1025u + 7);
    EXPECT_EQ(TranslateSector(two, 32 * 1023 + 31), 32 * 1047u + 31);
    for (uint32_t block : {0u, 1u, 500u, 1000u, 1024u, 1025u, 2024u})
        EXPECT_EQ(TranslateSector(two, 32 * block + 3), 32 * block + 3) << block;
    EXPECT_EQ(TranslateSector(two, 32 * 2025), 32 * 2049u); // unit 1's spares go on too
}

} // namespace
} // namespace disk

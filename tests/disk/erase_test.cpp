#include "app/disk/erase.h"
#include "tests/disk/fake_flash.h"

#include <gtest/gtest.h>

namespace disk {
namespace {

using test::FakeFlash;

std::set<uint32_t> Blocks(uint32_t first, uint32_t last) {
    std::set<uint32_t> s;
    for (uint32_t b = first; b <= last; ++b)
        s.insert(b);
    return s;
}

std::set<uint32_t> Union(std::initializer_list<std::set<uint32_t>> parts) {
    std::set<uint32_t> s;
    for (const auto& p : parts)
        s.insert(p.begin(), p.end());
    return s;
}

struct Recorder {
    std::vector<int> positions;
    int before = 0;
    OperationHooks hooks() {
        return {[this](int p) { positions.push_back(p); }, [this] { ++before; }};
    }
};

TEST(EraseSecurityRegion, OneUnitKeepsTheStandardDisk) {
    // a = 4, one unit: L = 4000, P = 4096. Spare blocks 4001..4095.
    FakeFlash flash(1, 4);
    flash.SetSpareRecord(4001, 1501); // Security: erased
    flash.SetSpareRecord(4002, 1500); // Standard: kept
    flash.SetSpareRecord(4003, 4000); // Security: erased
    for (uint32_t j = 4004; j <= 4095; ++j)
        flash.SetSpareRecord(j, 0); // unused, kept
    Recorder rec;
    ASSERT_TRUE(EraseSecurityRegion(flash, *FlashGeometry::From(1, 4), 1500, rec.hooks()));
    EXPECT_EQ(flash.ErasedSet(), Union({Blocks(1501, 4000), {4001, 4003}}));
    EXPECT_EQ(rec.positions.back(), (2500 + 95) * 100 / (4096 - 1500));
    EXPECT_EQ(rec.before, static_cast<int>(flash.commands));
}

TEST(EraseSecurityRegion, StartingAtUnitTwoLeavesUnitOneAlone) {
    FakeFlash flash(2, 2); // L = 1000, P = 1024
    for (uint32_t j = 1001; j <= 1023; ++j)
        flash.SetSpareRecord(j, 0xFFFF);
    ASSERT_TRUE(EraseSecurityRegion(flash, *FlashGeometry::From(2, 2), 1000));
    EXPECT_EQ(flash.ErasedSet(), Blocks(1025, 2047)); // spares of unit 2 are blank: 0xFFFF
}

TEST(EraseSecurityRegion, LaterUnitsAreErasedWhole) {
    FakeFlash flash(4, 4); // L = 1000, P = 1024; e = 1500 -> s2 = 1525 in unit 2
    for (uint32_t j = 2024 + 1; j <= 2047; ++j)
        flash.SetSpareRecord(j, j == 2030 ? 1400 : 1600);
    ASSERT_TRUE(EraseSecurityRegion(flash, *FlashGeometry::From(4, 4), 1500));
    std::set<uint32_t> spares = Blocks(2025, 2047);
    spares.erase(2030); // stands in for a Standard Disk block (below s2)
    EXPECT_EQ(flash.ErasedSet(), Union({Blocks(1525, 2024), spares, Blocks(2048, 4095)}));
}

TEST(EraseStandardRegion, OneUnit) {
    FakeFlash flash(1, 1); // L = 1000, P = 1024
    flash.SetSpareRecord(1001, 1);
    flash.SetSpareRecord(1002, 300);
    flash.SetSpareRecord(1003, 301);
    flash.SetSpareRecord(1004, 0);
    Recorder rec;
    ASSERT_TRUE(EraseStandardRegion(flash, *FlashGeometry::From(1, 1), 300, rec.hooks()));
    EXPECT_EQ(flash.ErasedSet(), Union({Blocks(1, 300), {1001, 1002}}));
    EXPECT_EQ(rec.positions.size(), 300u + 23u);
    EXPECT_EQ(rec.positions.back(), 100);
}

TEST(EraseStandardRegion, AcrossUnits) {
    FakeFlash flash(4, 4); // e = 2500: units 1, 2 whole-ish, unit 3 up to block 2548+...
    const auto g = *FlashGeometry::From(4, 4);
    for (uint32_t j = 1001; j <= 1023; ++j)
        flash.SetSpareRecord(j, 0xFFFF);
    for (uint32_t j = 3049; j <= 3071; ++j)
        flash.SetSpareRecord(j, j == 3049 ? 2548 : 2549);
    ASSERT_TRUE(EraseStandardRegion(flash, g, 2500));
    // Unit 1: 1..1000; unit 2 whole: 1024..2047; unit 3: 2048..2548 (end = 500 + 2*1024).
    EXPECT_EQ(flash.ErasedSet(),
              Union({Blocks(1, 1000), Blocks(1024, 2047), Blocks(2048, 2548), {3049}}));
}

TEST(RegionErase, UnreadableSpareFailsAndRefusals) {
    const auto g = *FlashGeometry::From(1, 4);
    {
        FakeFlash flash(1, 4);
        flash.unreadableSpare.insert(4050);
        EXPECT_FALSE(EraseSecurityRegion(flash, g, 1500));
    }
    {
        FakeFlash flash(1, 4);
        flash.unreadableSpare.insert(4001);
        EXPECT_FALSE(EraseStandardRegion(flash, g, 1500));
    }
    {
        FakeFlash flash(1, 4);
        EXPECT_FALSE(EraseSecurityRegion(flash, g, 4000)); // no Security Disk
        EXPECT_FALSE(EraseStandardRegion(flash, g, 0));    // no Standard Disk
        EXPECT_FALSE(EraseStandardRegion(flash, g, 4001));
        EXPECT_TRUE(flash.erases.empty());
    }
}

TEST(RegionErase, EraseFailuresRetriedOnceThenIgnored) {
    FakeFlash flash(1, 1);
    flash.eraseFailures[10] = 2; // fails twice: ignored
    flash.eraseFailures[11] = 1; // succeeds on the retry
    for (uint32_t j = 1001; j <= 1023; ++j)
        flash.SetSpareRecord(j, 0);
    EXPECT_TRUE(EraseStandardRegion(flash, *FlashGeometry::From(1, 1), 20));
    EXPECT_EQ(std::count(flash.erases.begin(), flash.erases.end(), 10u), 2);
    EXPECT_EQ(std::count(flash.erases.begin(), flash.erases.end(), 11u), 2);
    EXPECT_EQ(std::count(flash.erases.begin(), flash.erases.end(), 12u), 1);
}

TEST(EraseWholeDevice, Variants) {
    const auto g = *FlashGeometry::From(1, 1); // N = 1024
    {
        FakeFlash flash(1, 1);
        Recorder rec;
        ASSERT_TRUE(EraseWholeDevice(flash, g, WholeEraseVariant::SingleStorage, rec.hooks()));
        ASSERT_EQ(flash.erases.size(), 1024u);
        EXPECT_EQ(flash.erases.front(), 1u);
        EXPECT_EQ(flash.erases.back(), 0u);
        EXPECT_EQ(rec.positions.size(), 1023u); // nothing for block 0
        EXPECT_EQ(rec.positions.back(), 1023 * 100 / 1024);
    }
    {
        FakeFlash flash(1, 1);
        flash.eraseFailures[7] = 2;
        EXPECT_FALSE(EraseWholeDevice(flash, g, WholeEraseVariant::SingleStorage));
        EXPECT_EQ(flash.erases.back(), 7u); // stops there
    }
    {
        FakeFlash flash(1, 1);
        flash.eraseFailures[0] = 1; // block 0 has no retry here
        EXPECT_FALSE(EraseWholeDevice(flash, g, WholeEraseVariant::SingleStorage));
    }
    {
        FakeFlash flash(1, 1);
        flash.eraseFailures[7] = 2;
        flash.eraseFailures[0] = 1;
        EXPECT_TRUE(EraseWholeDevice(flash, g, WholeEraseVariant::Partition));
        EXPECT_EQ(flash.erases.size(), 1024u + 2);
        EXPECT_EQ(flash.erases.back(), 0u);
    }
    {
        FakeFlash flash(1, 1);
        flash.eraseFailures[7] = 2;
        Recorder rec;
        EXPECT_TRUE(EraseWholeDevice(flash, g, WholeEraseVariant::BothDisks, rec.hooks()));
        EXPECT_EQ(flash.erases.front(), 0u);
        EXPECT_EQ(flash.ErasedSet(), Blocks(0, 1023));
        EXPECT_EQ(rec.positions.back(), 100);
    }
}

TEST(SystemBlock, SaveAndRestoreKeepEveryPage) {
    FakeFlash flash(1, 1);
    for (uint32_t p = 0; p < 32; ++p)
        flash.SetPage(p, std::vector<uint8_t>(512, static_cast<uint8_t>(p * 7)));
    SystemBlockCopy copy{};
    Recorder rec;
    ASSERT_TRUE(SaveSystemBlock(flash, copy, rec.hooks()));
    EXPECT_EQ(rec.before, 32);
    ASSERT_TRUE(EraseBlockRetry(flash, 0));
    ASSERT_TRUE(RestoreSystemBlock(flash, copy));
    for (uint32_t p = 0; p < 32; ++p)
        EXPECT_EQ(flash.Read(p)[100], static_cast<uint8_t>(p * 7));
    EXPECT_EQ(flash.corruptWrites, 0);
    flash.failWritesFrom = 5;
    EXPECT_FALSE(RestoreSystemBlock(flash, copy));
}

} // namespace
} // namespace disk

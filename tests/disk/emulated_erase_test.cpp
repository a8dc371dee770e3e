// Region erases through the real host path, on the emulated controller.
#include "app/disk/erase.h"
#include "tests/disk/simulated_pc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace disk {
namespace {

using test::SimulatedDevice;

std::set<uint32_t> Blocks(uint32_t first, uint32_t last) {
    std::set<uint32_t> s;
    for (uint32_t b = first; b <= last; ++b)
        s.insert(b);
    return s;
}

std::set<uint32_t> Distinct(const std::multiset<uint32_t>& m) {
    return {m.begin(), m.end()};
}

TEST(EmulatedRegionErase, SecurityDiskOnOneUnit) {
    SimulatedDevice device(1, 4); // L = 4000, P = 4096
    ASSERT_TRUE(device.plugged());
    for (uint32_t j = 4001; j <= 4095; ++j)
        device.controller.setSpareLogicalBlock(j, 0);
    device.controller.setSpareLogicalBlock(4001, 1501);
    device.controller.setSpareLogicalBlock(4002, 1500);
    device.controller.setSpareLogicalBlock(4090, 3999);
    const auto g = *FlashGeometry::From(1, 4);
    std::vector<int> progress;
    ASSERT_TRUE(device.Run([&](FlashAccess& flash) {
        return EraseSecurityRegion(flash, g, 1500, {[&](int p) { progress.push_back(p); }, {}});
    }));
    std::set<uint32_t> expected = Blocks(1501, 4000);
    expected.insert({4001, 4090});
    EXPECT_EQ(Distinct(device.Erased()), expected);
    EXPECT_EQ(device.controller.countCommands(0xF7), 95u); // every spare block examined
    EXPECT_FALSE(progress.empty());
    EXPECT_THAT(device.Unplug(), ::testing::IsEmpty());
}

TEST(EmulatedRegionErase, SecurityDiskFromUnitTwo) {
    SimulatedDevice device(2, 2);
    ASSERT_TRUE(device.plugged());
    ASSERT_TRUE(device.Run([&](FlashAccess& flash) {
        return EraseSecurityRegion(flash, *FlashGeometry::From(2, 2), 1000);
    }));
    // Blank spare blocks of unit 2 record 0xFFFF and are erased too; unit 1 is untouched.
    EXPECT_EQ(Distinct(device.Erased()), Blocks(1025, 2047));
    EXPECT_THAT(device.Unplug(), ::testing::IsEmpty());
}

TEST(EmulatedRegionErase, StandardDisk) {
    SimulatedDevice device(1, 1);
    ASSERT_TRUE(device.plugged());
    for (uint32_t j = 1001; j <= 1023; ++j)
        device.controller.setSpareLogicalBlock(j, 0);
    device.controller.setSpareLogicalBlock(1005, 300);
    device.controller.setSpareLogicalBlock(1006, 301);
    ASSERT_TRUE(device.Run([&](FlashAccess& flash) {
        return EraseStandardRegion(flash, *FlashGeometry::From(1, 1), 300);
    }));
    std::set<uint32_t> expected = Blocks(1, 300);
    expected.insert(1005);
    EXPECT_EQ(Distinct(device.Erased()), expected);
    EXPECT_THAT(device.Unplug(), ::testing::IsEmpty());
}

TEST(EmulatedRegionErase, UnreadableSpareFailsTheErase) {
    SimulatedDevice device(1, 4);
    ASSERT_TRUE(device.plugged());
    device.controller.faults().unreadableSpare(32 * 4050);
    EXPECT_FALSE(device.Run([&](FlashAccess& flash) {
        return EraseSecurityRegion(flash, *FlashGeometry::From(1, 4), 1500);
    }));
    EXPECT_THAT(device.Unplug(), ::testing::IsEmpty());
}

TEST(EmulatedRegionErase, BlockFailingTwiceDoesNotFailTheErase) {
    SimulatedDevice device(1, 1);
    ASSERT_TRUE(device.plugged());
    for (uint32_t j = 1001; j <= 1023; ++j)
        device.controller.setSpareLogicalBlock(j, 0);
    device.controller.faults().eraseFailure(120);    // never erases
    device.controller.faults().eraseFailure(121, 1); // once
    EXPECT_TRUE(device.Run([&](FlashAccess& flash) {
        return EraseStandardRegion(flash, *FlashGeometry::From(1, 1), 300);
    }));
    const auto erased = device.Erased();
    EXPECT_EQ(erased.count(120), 2u);
    EXPECT_EQ(erased.count(121), 2u);
    EXPECT_EQ(erased.count(122), 1u);
    EXPECT_THAT(device.Unplug(), ::testing::IsEmpty());
}

} // namespace
} // namespace disk

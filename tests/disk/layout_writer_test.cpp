#include "app/disk/layout_writer.h"
#include "tests/disk/fake_flash.h"

#include <gtest/gtest.h>

namespace disk {
namespace {

using test::FakeFlash;

std::vector<uint32_t> Range(uint32_t first, uint32_t count) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < count; ++i)
        v.push_back(first + i);
    return v;
}

std::vector<uint32_t> Concat(std::initializer_list<std::vector<uint32_t>> parts) {
    std::vector<uint32_t> v;
    for (const auto& p : parts)
        v.insert(v.end(), p.begin(), p.end());
    return v;
}

TEST(WriteRegionLayout, WriteOrderPerLayout) {
    // n = 64000: F = 6; HDD H = 35; Zip/Floppy R = 19.
    struct Case {
        LayoutType type;
        std::vector<uint32_t> sectors;
    };
    const Case cases[] = {
        {LayoutType::Hdd, Concat({{0, 32}, Range(35, 1 + 12 + 16)})},
        {LayoutType::Zip, Concat({{0}, Range(32, 1 + 12 + 19)})},
        {LayoutType::Floppy, Range(0, 1 + 12 + 19)},
    };
    for (const auto& c : cases) {
        FakeFlash flash(1, 4);
        LabelSlots labels;
        LayoutWriter writer(flash, labels);
        ASSERT_TRUE(writer.WriteRegionLayout(c.type, 64000, 1));
        std::vector<uint32_t> expected;
        for (uint32_t r : c.sectors)
            expected.push_back(32 + r);
        EXPECT_EQ(flash.writes, expected);
        EXPECT_EQ(flash.corruptWrites, 0);
    }
}

TEST(WriteRegionLayout, SectorContents) {
    FakeFlash flash(1, 4);
    LabelSlots labels;
    labels.Active = MakeLabelSlot("DATA");
    LayoutWriter writer(flash, labels);
    ASSERT_TRUE(writer.WriteRegionLayout(LayoutType::Hdd, 64000, 1));
    const uint32_t x0 = 32;
    EXPECT_EQ(flash.Read(x0)[510], 0x55);
    for (int i = 0; i < 512; ++i)
        ASSERT_EQ(flash.Read(x0 + 32)[i], 0xFF);
    EXPECT_EQ(flash.Read(x0 + 35)[0], 0xEB);
    for (uint32_t fat : {x0 + 36, x0 + 42}) {
        EXPECT_EQ(flash.Read(fat)[0], 0xF8);
        EXPECT_EQ(flash.Read(fat)[3], 0x00);
        EXPECT_EQ(flash.Read(fat + 1)[0], 0x00);
    }
    const auto root = flash.Read(x0 + 48);
    EXPECT_EQ(std::string(root.begin(), root.begin() + 4), "DATA");
    EXPECT_EQ(root[11], 0x08);
    EXPECT_FALSE(flash.Written(x0 + 33)); // the gap is not written
    EXPECT_FALSE(flash.Written(x0 + 64)); // nor the data area
}

TEST(WriteRegionLayout, RunsOnIntoTheNextUnit) {
    // Two units of one zone; a region starting at block 1000 crosses unit
    // 0's spare blocks: its block 1001 goes to 1025.
    FakeFlash flash(2, 2);
    LabelSlots labels;
    LayoutWriter writer(flash, labels);
    ASSERT_TRUE(writer.WriteRegionLayout(LayoutType::Zip, 32 * 1000, 1000));
    for (uint32_t page : flash.writes) {
        const uint32_t block = page / 32;
        EXPECT_TRUE(block <= 1000 || block >= 1025) << block;
    }
    EXPECT_TRUE(flash.Written(32 * 1025));
}

TEST(WriteRegionLayout, Failures) {
    {
        FakeFlash flash(1, 4);
        flash.failGeometry = true;
        LabelSlots labels;
        EXPECT_FALSE(LayoutWriter(flash, labels).WriteRegionLayout(LayoutType::Zip, 64000, 1));
        EXPECT_TRUE(flash.writes.empty());
    }
    {
        FakeFlash flash(1, 4);
        flash.failWritesFrom = 32 + 36; // first FAT sector
        LabelSlots labels;
        EXPECT_FALSE(LayoutWriter(flash, labels).WriteRegionLayout(LayoutType::Hdd, 64000, 1));
        EXPECT_EQ(flash.writes.size(), 3u); // stopped at the first failure
    }
    for (auto [units, zones] : {std::pair{0, 4}, {3, 4}, {1, 65}}) {
        FakeFlash flash(units, zones);
        LabelSlots labels;
        EXPECT_FALSE(LayoutWriter(flash, labels).WriteRegionLayout(LayoutType::Zip, 64000, 1));
        EXPECT_TRUE(flash.writes.empty());
    }
    {
        FakeFlash flash(1, 4);
        LabelSlots labels;
        LayoutWriter writer(flash, labels);
        EXPECT_FALSE(writer.WriteRegionLayout(LayoutType::Floppy, 64000, 0)); // system block
        EXPECT_FALSE(writer.WriteRegionLayout(LayoutType::Floppy, 0, 1));
        EXPECT_FALSE(writer.WriteRegionLayout(LayoutType::Floppy, 64000, 4096)); // past the end
        EXPECT_TRUE(flash.writes.empty());
    }
}

TEST(FormatDeviceLayout, LabelsAndRegions) {
    struct Case {
        uint32_t e;
        std::vector<uint32_t> bootPages; // pages of the Floppy boot sectors
        std::vector<std::string> labels;
    };
    const Case cases[] = {
        {0, {32}, {"WHOLE"}},
        {4000, {32}, {"WHOLE"}},
        {1500, {32, 32 * 1501}, {"STD", "SEC"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.e);
        FakeFlash flash(1, 4);
        LabelSlots labels;
        labels.Whole = MakeLabelSlot("WHOLE");
        labels.Standard = MakeLabelSlot("STD");
        labels.Security = MakeLabelSlot("SEC");
        LayoutWriter writer(flash, labels);
        ASSERT_TRUE(writer.FormatDeviceLayout(LayoutType::Floppy, c.e, 4, 1));
        for (size_t i = 0; i < c.bootPages.size(); ++i) {
            const uint32_t boot = c.bootPages[i];
            EXPECT_EQ(flash.Read(boot)[0], 0xEB);
            const auto layout = *PlanRegion(LayoutType::Floppy, i == 0 && c.bootPages.size() == 2
                                                                    ? 32 * c.e
                                                                    : 32 * (4000 - c.e % 4000));
            const auto root = flash.Read(boot + 1 + 2 * layout.fatSectors);
            std::string name = c.labels[i];
            name.resize(11, ' ');
            EXPECT_EQ(std::string(root.begin(), root.begin() + 11), name);
            EXPECT_EQ(root[11], 0x08);
        }
    }
}

TEST(FormatDeviceLayout, RefusesBadArguments) {
    FakeFlash flash(1, 4);
    LabelSlots labels;
    LayoutWriter writer(flash, labels);
    EXPECT_FALSE(writer.FormatDeviceLayout(LayoutType::Zip, 4001, 4, 1));
    EXPECT_FALSE(writer.FormatDeviceLayout(LayoutType::Zip, 100, 4, 0));
    EXPECT_FALSE(writer.FormatDeviceLayout(LayoutType::Zip, 100, 65, 1));
    EXPECT_TRUE(flash.writes.empty());
}

} // namespace
} // namespace disk

// Devices laid out by the partition sequence, exported and checked with
// dosfstools and mtools.
#include "app/disk/device_sequences.h"
#include "app/disk/sector_images.h"
#include "tests/disk/disk_image.h"

#include <gtest/gtest.h>

namespace disk {
namespace {

using namespace disk::test;

struct Device {
    uint8_t units, zones;
    uint32_t split; // Standard Disk blocks when split
};

// 8 zones split at 4040 blocks puts the Standard Disk in the band where the
// size rule alone would give FAT16 with too few clusters; 64 zones on 8
// units splits on a unit boundary.
const Device kDevices[] = {{1, 1, 300}, {1, 4, 1500}, {2, 8, 4040}, {8, 64, 32000}};

const char* Name(LayoutType t) {
    return t == LayoutType::Floppy ? "floppy" : t == LayoutType::Zip ? "zip" : "hdd";
}

uint32_t Le(const FakeFlash::Page& p, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[at + i];
    return v;
}

class ImageCheck : public ::testing::TestWithParam<std::tuple<LayoutType, Device, bool, bool>> {};

TEST_P(ImageCheck, ToolsAcceptTheDisks) {
    const auto [type, device, split, labelled] = GetParam();
    if (!EnsureDebianTools()) GTEST_SKIP() << "dosfstools/mtools cannot be installed here";

    FakeFlash flash(device.units, device.zones);
    const auto g = *FlashGeometry::From(device.units, device.zones);
    LabelSlots labels;
    if (labelled) {
        labels.Whole = MakeLabelSlot("WHOLEDISK");
        labels.Standard = MakeLabelSlot("STANDARD");
        labels.Security = MakeLabelSlot("SECURE1");
    }
    const uint32_t T = g.totalLogical();
    const uint32_t e = split ? device.split : T;
    ASSERT_TRUE(PartitionDevice(flash, labels, type, e));
    EXPECT_EQ(flash.corruptWrites, 0);

    struct Disk {
        uint32_t start, blocks;
        const char* label;
    };
    std::vector<Disk> disks;
    if (split)
        disks = {{1, e, "STANDARD"}, {SecurityFirstBlock(g, e), T - e, "SECURE1"}};
    else
        disks = {{1, T, "WHOLEDISK"}};

    const auto dir = TempDir(std::string(Name(type)) + std::to_string(device.zones));
    for (const auto& d : disks) {
        SCOPED_TRACE(d.start);
        const uint32_t n = d.blocks * kPagesPerBlock;
        const auto plan = *PlanRegion(type, n);
        const uint32_t H = plan.hidden;
        if (type != LayoutType::Floppy) {
            const auto mbr = flash.Read(RegionPage(g, d.start, 0));
            EXPECT_EQ(Le(mbr, 454, 4), H);
            EXPECT_EQ(Le(mbr, 458, 4), n - H);
        }
        // The first cluster starts on a flash block.
        const auto boot = flash.Read(RegionPage(g, d.start, H));
        const uint32_t firstData =
            H + Le(boot, 14, 2) + boot[16] * Le(boot, 22, 2) + Le(boot, 17, 2) * 32 / 512;
        EXPECT_EQ(firstData % kPagesPerBlock, 0u);

        const auto image = dir / "volume.img";
        ExportRegion(flash, g, d.start, n, H, image);
        const auto fsck = RunTool("fsck.fat -n " + image.string());
        EXPECT_EQ(fsck.status, 0) << fsck.output;
        EXPECT_EQ(fsck.output.find("rror"), std::string::npos) << fsck.output;
        const auto info = RunTool("minfo -i " + image.string() + " ::");
        EXPECT_EQ(info.status, 0) << info.output;
        const auto dirList = RunTool("MTOOLS_SKIP_CHECK=1 mdir -i " + image.string() + " ::");
        EXPECT_EQ(dirList.status, 0) << dirList.output;
        if (labelled)
            EXPECT_NE(dirList.output.find(std::string("Volume in drive : is ") + d.label),
                      std::string::npos)
                << dirList.output;
        else
            EXPECT_NE(dirList.output.find("has no label"), std::string::npos) << dirList.output;
        EXPECT_NE(dirList.output.find("No files"), std::string::npos) << dirList.output;
    }
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ImageCheck,
    ::testing::Combine(::testing::Values(LayoutType::Floppy, LayoutType::Zip, LayoutType::Hdd),
                       ::testing::ValuesIn(kDevices), ::testing::Bool(), ::testing::Bool()),
    [](const auto& info) {
        const auto& p = info.param;
        return std::string(Name(std::get<0>(p))) + "_" + std::to_string(std::get<1>(p).zones) +
               "zones_" + (std::get<2>(p) ? "split" : "whole") +
               (std::get<3>(p) ? "_label" : "_nolabel");
    });

} // namespace
} // namespace disk

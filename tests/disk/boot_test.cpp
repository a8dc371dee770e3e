// The boot programs, booted in QEMU from laid-out disks.
#include "app/disk/device_sequences.h"
#include "tests/disk/disk_image.h"
#include "tests/disk/qemu_screen.h"

#include <gtest/gtest.h>

namespace disk {
namespace {

using namespace disk::test;
using namespace std::chrono_literals;

struct BootCase {
    const char* name;
    LayoutType type;
    uint8_t zones; // 4 zones give FAT12, 8 zones FAT16
    bool withIoSys;
    int bootFlag; // partition entry boot flag; -1 leaves it as written
    const char* expected;
};

const BootCase kCases[] = {
    {"floppy_fat12_no_system", LayoutType::Floppy, 4, false, -1, "Invalid system disk"},
    {"zip_fat16_no_system", LayoutType::Zip, 8, false, -1, "Invalid system disk"},
    {"floppy_fat12", LayoutType::Floppy, 4, true, -1, "KV-IOSYS-MARKER:MSDOS   SYS"},
    {"floppy_fat16", LayoutType::Floppy, 8, true, -1, "KV-IOSYS-MARKER:MSDOS   SYS"},
    {"zip_fat12", LayoutType::Zip, 4, true, -1, "KV-IOSYS-MARKER:MSDOS   SYS"},
    {"hdd_fat12", LayoutType::Hdd, 4, true, -1, "KV-IOSYS-MARKER:MSDOS   SYS"},
    {"hdd_fat16", LayoutType::Hdd, 8, true, -1, "KV-IOSYS-MARKER:MSDOS   SYS"},
    {"hdd_no_active_partition", LayoutType::Hdd, 4, true, 0x00, "Missing operating system"},
    {"zip_bad_boot_flag", LayoutType::Zip, 4, true, 0x12, "Invalid partition table"},
};

class BootPrograms : public ::testing::TestWithParam<BootCase> {};

TEST_P(BootPrograms, ScreenShows) {
    const BootCase& c = GetParam();
    if (!QemuBoot::Available())
        GTEST_SKIP() << "qemu-system-i386 is not installed; boot tests skipped";
    if (!EnsureDebianTools()) GTEST_SKIP() << "mtools cannot be installed here";

    FakeFlash flash(1, c.zones);
    const auto g = *FlashGeometry::From(1, c.zones);
    LabelSlots labels;
    labels.Whole = MakeLabelSlot("BOOT");
    ASSERT_TRUE(PartitionDevice(flash, labels, c.type, g.totalLogical()));

    const auto dir = TempDir(c.name);
    const auto image = dir / "disk.img";
    const uint32_t n = g.totalLogical() * kPagesPerBlock;
    ExportRegion(flash, g, 1, n, 0, image);
    const uint32_t H = PlanRegion(c.type, n)->hidden;
    if (c.withIoSys) {
        const auto copy = RunTool("mcopy -i " + image.string() + "@@" + std::to_string(H * 512) +
                                  " " KV_TEST_IOSYS " ::IO.SYS");
        ASSERT_EQ(copy.status, 0) << copy.output;
    }
    if (c.bootFlag >= 0) {
        std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(446);
        f.put(static_cast<char>(c.bootFlag));
    }

    QemuBoot qemu(image, dir);
    const std::string screen = qemu.WaitFor(c.expected, 30s);
    EXPECT_NE(screen.find(c.expected), std::string::npos) << screen;
    if (std::getenv("KV_SHOW_SCREEN")) std::printf("%s\n", screen.c_str());
    if (std::string(c.expected) == "Invalid system disk") {
        EXPECT_NE(screen.find("Replace the disk, and then press any key"), std::string::npos)
            << screen;
    }
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Qemu, BootPrograms, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace disk

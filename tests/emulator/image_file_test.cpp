#include "emulator/image/disk_export.h"
#include "emulator/image/image_file.h"
#include "tests/emulator/host_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace emu {
namespace {

namespace fs = std::filesystem;
using namespace emu::test;

class ImageFiles : public ::testing::Test {
  protected:
    ImageFiles() : dir(fs::temp_directory_path() / ("kv_emu_image_" + std::to_string(::getpid()))) {
        fs::create_directories(dir);
    }
    ~ImageFiles() override { fs::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(ImageFiles, KeepFlashStringsGeometryAndSwitches) {
    Controller c({4, 8}, "Kept Name", 3000);
    c.setPassword("pw");
    c.setWriteProtect(true);
    c.setPacketDevice(true);
    c.setSpareLogicalBlock(1010, 77);
    c.flash().program(32 * 5000 + 3, std::vector<uint8_t>(512, 0x12), {});
    std::string error;
    ASSERT_TRUE(saveImage(c, path("a.img"), &error)) << error;

    std::unique_ptr<Controller> back = loadImage(path("a.img"), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->geometry().units, 4u);
    EXPECT_EQ(back->geometry().zones, 8u);
    EXPECT_EQ(back->deviceName(), "Kept Name");
    EXPECT_EQ(back->placement().division(), 3000u);
    EXPECT_TRUE(back->writeProtected());
    EXPECT_TRUE(back->packetDevice());
    EXPECT_EQ(back->flash().writtenPages(), c.flash().writtenPages());
    back->plugged();
    EXPECT_EQ(vendorOut(*back, cmd::kVerifyPassword, 0, 0, bytesOf("pw")), usb::TransferStatus::Ok);
}

TEST_F(ImageFiles, ALargeDeviceCostsOnlyWhatIsWritten) {
    Controller c({8, 64}, "Big");
    std::string error;
    ASSERT_TRUE(saveImage(c, path("big.img"), &error)) << error;
    EXPECT_LT(fs::file_size(path("big.img")), 4096u);
    for (uint32_t i = 0; i < 100; ++i)
        c.flash().program(32 * 40000 + i, std::vector<uint8_t>(512, 0), {});
    ASSERT_TRUE(saveImage(c, path("big.img"), &error));
    EXPECT_LT(fs::file_size(path("big.img")), 102u * 532 + 64);
}

TEST_F(ImageFiles, BadFilesAreRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(loadImage(path("missing.img"), &error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;

    Controller c({1, 1}, "x");
    ASSERT_TRUE(saveImage(c, path("good.img"), &error));
    std::ifstream in(path("good.img"), std::ios::binary);
    std::string good((std::istreambuf_iterator<char>(in)), {});

    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* reason;
    };
    const Case cases[] = {
        {"not an image", [](std::string& s) { s = "hello"; }, "no image header"},
        {"other version", [](std::string& s) { s[8] = 9; }, "version"},
        {"bad geometry", [](std::string& s) { s[12] = 3; }, "geometry"},
        {"cut short", [](std::string& s) { s.resize(s.size() - 10); }, "length"},
        {"flipped bit", [](std::string& s) { s[40] ^= 1; }, "check sum"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::string bytes = good;
        k.damage(bytes);
        std::ofstream(path("bad.img"), std::ios::binary) << bytes;
        error.clear();
        EXPECT_FALSE(loadImage(path("bad.img"), &error));
        EXPECT_NE(error.find(k.reason), std::string::npos) << error;
    }
}

TEST_F(ImageFiles, ExportWritesADisksSectorsInOrder) {
    Controller c({2, 2}, "x", 1500);
    // Sector 32000 of the Standard Disk lies in unit 1 (block 1025).
    c.flash().program(1025 * 32, std::vector<uint8_t>(512, 0xAB), {});
    std::string error;
    ASSERT_TRUE(exportDisk(c, Disk::Standard, path("std.raw"), &error)) << error;
    EXPECT_EQ(fs::file_size(path("std.raw")), 1500u * 32 * 512);
    std::ifstream in(path("std.raw"), std::ios::binary);
    in.seekg(32000 * 512);
    EXPECT_EQ(in.get(), 0xAB);
    in.seekg(31999 * 512);
    EXPECT_EQ(in.get(), 0xFF);
}

} // namespace
} // namespace emu

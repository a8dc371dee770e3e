// A FAT disk made by dosfstools, written through the mass-storage unit, must
// come back whole from the flash, also where it runs from one unit into the next.
#include "emulator/image/disk_export.h"
#include "tests/emulator/host_helpers.h"
#include "tests/emulator/outside_tools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace emu {
namespace {

using namespace emu::test;
namespace fs = std::filesystem;

class FatDisk : public ::testing::Test {
  protected:
    FatDisk() : dir(fs::temp_directory_path() / ("kv_emu_fat_" + std::to_string(::getpid()))) {
        fs::create_directories(dir);
    }
    ~FatDisk() override { fs::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }
    fs::path dir;
};

TEST_F(FatDisk, WrittenThroughMassStorageExportedAndChecked) {
    for (const char* tool : {"mkfs.fat", "fsck.fat", "mcopy", "mtype"})
        if (!haveProgram(tool))
            GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";

    Controller c({2, 2}, "Fat", 1500); // Standard Disk: blocks 1-1000 and 1025-1524
    c.plugged();
    ASSERT_TRUE(configure(c));
    const uint32_t sectors = c.placement().sectors(Disk::Standard);
    ASSERT_EQ(sectors, 48000u);

    const std::string img = path("made.img");
    ASSERT_EQ(runProgram("mkfs.fat -C -n KVTEST " + img + " " + std::to_string(sectors / 2)).status,
              0);
    { std::ofstream(path("hello.txt")) << "placed right\n"; }
    // A file big enough to cross into the second unit's blocks.
    {
        std::ofstream big(path("big.bin"), std::ios::binary);
        for (int i = 0; i < 20 * 1024 * 1024 / 16; ++i)
            big << "0123456789abcdef";
    }
    ASSERT_EQ(
        runProgram("mcopy -i " + img + " " + path("hello.txt") + " " + path("big.bin") + " ::/")
            .status,
        0);

    std::ifstream in(img, std::ios::binary);
    std::vector<uint8_t> chunk(64 * 1024);
    for (uint32_t lba = 0; lba < sectors; lba += 128) {
        in.read(reinterpret_cast<char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
        BotResult r = runBot(c, rw10(scsi::kWrite10, lba, 128), 65536, false, chunk);
        ASSERT_EQ(r.status, 0) << lba;
    }

    const std::string out = path("exported.img");
    std::string error;
    ASSERT_TRUE(exportDisk(c, Disk::Standard, out, &error)) << error;
    RunResult fsck = runProgram("fsck.fat -n " + out);
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    RunResult type = runProgram("mtype -i " + out + " ::/HELLO.TXT");
    EXPECT_EQ(type.output, "placed right\n");
    EXPECT_EQ(runProgram("mcopy -i " + out + " ::/BIG.BIN " + path("back.bin")).status, 0);
    EXPECT_EQ(runProgram("cmp " + path("big.bin") + " " + path("back.bin")).status, 0);
    // The data lie in the flash blocks of the placement.
    EXPECT_NE(c.flash().writtenPages().count(1025 * 32), 0u);
    EXPECT_EQ(c.flash().writtenPages().count(1001 * 32), 0u); // spare blocks stay untouched
}

} // namespace
} // namespace emu

// `kv7946-emu mkfs` through the real stack: the exported disks pass the
// Debian file system tools.
#include "app/disk/fat_params.h"
#include "tests/disk/disk_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace disk {
namespace {

using namespace disk::test;

struct MkfsCase {
    const char* layout;
    uint32_t units, zones;
    uint32_t split; // 0: one disk
    bool labelled;
};

const MkfsCase kCases[] = {
    {"floppy", 1, 1, 0, true},  {"floppy", 1, 1, 300, false},   {"floppy", 1, 4, 1500, true},
    {"floppy", 2, 8, 0, false}, {"floppy", 8, 64, 32000, true}, {"zip", 1, 1, 0, false},
    {"zip", 1, 4, 1500, false}, {"zip", 2, 8, 4040, true},      {"zip", 1, 64, 0, true},
    {"hdd", 1, 1, 300, true},   {"hdd", 1, 4, 0, true},         {"hdd", 2, 8, 1000, false},
    {"hdd", 8, 64, 0, false},   {"hdd", 8, 64, 20000, true},
};

std::string Tool() {
    return KV_EMU_TOOL;
}

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

// The file from offset `from` on, leaving zero runs as holes.
void CopySparse(const std::filesystem::path& from, size_t offset, const std::filesystem::path& to) {
    std::ifstream in(from, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    const auto size = std::filesystem::file_size(from) - offset;
    { std::ofstream create(to, std::ios::binary | std::ios::trunc); }
    std::filesystem::resize_file(to, size);
    std::fstream out(to, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<char> chunk(1 << 20);
    for (uint64_t at = 0; at < size; at += chunk.size()) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<size_t>(in.gcount());
        if (std::any_of(chunk.begin(), chunk.begin() + got, [](char b) { return b != 0; })) {
            out.seekp(static_cast<std::streamoff>(at));
            out.write(chunk.data(), static_cast<std::streamsize>(got));
        }
    }
}

class Mkfs : public ::testing::TestWithParam<MkfsCase> {};

TEST_P(Mkfs, ExportedDisksPassTheTools) {
    const MkfsCase& c = GetParam();
#if defined(__SANITIZE_ADDRESS__)
    // A 64-zone export writes 1 GB; the sanitizer build keeps one such case.
    if (c.zones == 64 && !(c.split && std::string(c.layout) == "hdd"))
        GTEST_SKIP() << "64-zone case left to the normal build";
#endif
    if (!EnsureDebianTools()) GTEST_SKIP() << "dosfstools/mtools cannot be installed here";
    const auto dir = TempDir(std::string("mkfs-") + c.layout + std::to_string(c.zones));
    const std::string img = (dir / "device.img").string();

    auto run = RunTool(Tool() + " create " + img + " --zones " + std::to_string(c.zones) +
                       " --units " + std::to_string(c.units) + " --name Test --force");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string mkfs = Tool() + " mkfs " + img + " --layout " + c.layout;
    if (c.split) mkfs += " --split " + std::to_string(c.split);
    if (c.labelled) mkfs += " --label WHOLE --standard-label STD --security-label SEC";
    run = RunTool(mkfs);
    ASSERT_EQ(run.status, 0) << run.output;

    struct Exported {
        const char* disk;
        const char* label;
    };
    std::vector<Exported> disks;
    if (c.split)
        disks = {{"standard", "STD"}, {"security", "SEC"}};
    else
        disks = {{"standard", "WHOLE"}};
    for (const auto& d : disks) {
        SCOPED_TRACE(d.disk);
        const auto raw = dir / (std::string(d.disk) + ".img");
        run = RunTool(Tool() + " export " + img + " --disk " + d.disk + " " + raw.string() +
                      " --force");
        ASSERT_EQ(run.status, 0) << run.output;
        std::ifstream in(raw, std::ios::binary);
        std::string bytes(64 * 512, '\0'); // room for the MBR and the boot sector
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(in) << "exported disk too short";
        const bool partitioned = std::string(c.layout) != "floppy";
        const uint32_t H = partitioned ? Le(bytes, 454, 4) : 0;
        ASSERT_LT(H, 64u);
        const size_t boot = size_t{H} * 512;
        const uint32_t firstData =
            H + Le(bytes, boot + 14, 2) +
            static_cast<uint8_t>(bytes[boot + 16]) * Le(bytes, boot + 22, 2) +
            Le(bytes, boot + 17, 2) * 32 / 512;
        EXPECT_EQ(firstData % 32, 0u) << "first cluster not on a flash block";

        const auto volume = dir / "volume.img";
        CopySparse(raw, boot, volume);
        run = RunTool("fsck.fat -n " + volume.string());
        EXPECT_EQ(run.status, 0) << run.output;
        const std::string image = raw.string() + (partitioned ? "@@" + std::to_string(boot) : "");
        run = RunTool("minfo -i " + image + " ::");
        EXPECT_EQ(run.status, 0) << run.output;
        run = RunTool("MTOOLS_SKIP_CHECK=1 mdir -i " + image + " ::");
        EXPECT_EQ(run.status, 0) << run.output;
        if (c.labelled)
            EXPECT_NE(run.output.find(std::string("Volume in drive : is ") + d.label),
                      std::string::npos)
                << run.output;
        else
            EXPECT_NE(run.output.find("has no label"), std::string::npos) << run.output;
    }
    std::filesystem::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Layouts, Mkfs, ::testing::ValuesIn(kCases), [](const auto& info) {
    const auto& c = info.param;
    return std::string(c.layout) + "_" + std::to_string(c.zones) + "zones_" +
           (c.split ? "split" : "whole") + (c.labelled ? "_label" : "_nolabel");
});

TEST(MkfsCommand, RefusesBadArguments) {
    const auto dir = TempDir("mkfs-args");
    const std::string img = (dir / "device.img").string();
    ASSERT_EQ(RunTool(Tool() + " create " + img + " --zones 1 --units 1 --name T --force").status,
              0);
    std::ifstream before(img, std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(before)), {});
    for (const char* args :
         {"--layout fat", "--layout zip --split 1001", "", "--layout zip --label TWELVECHARSX"}) {
        SCOPED_TRACE(args);
        EXPECT_NE(RunTool(Tool() + " mkfs " + img + " " + args).status, 0);
    }
    std::ifstream after(img, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), original);
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace disk

#include "app/disk/boot_programs.h"
#include "app/disk/sector_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace disk {
namespace {

uint32_t Le16(const Sector& s, size_t at) {
    return s[at] | (s[at + 1] << 8);
}
uint32_t Le32(const Sector& s, size_t at) {
    return Le16(s, at) | (Le16(s, at + 2) << 16);
}

bool Contains(const uint8_t* data, size_t size, const std::string& text) {
    return std::string(reinterpret_cast<const char*>(data), size).find(text) != std::string::npos;
}

TEST(BootPrograms, HoldTheirTexts) {
    for (const char* text :
         {"Invalid partition table", "Error loading operating system", "Missing operating system"})
        EXPECT_TRUE(Contains(kMbrProgram.data(), kMbrProgram.size(), text)) << text;
    for (const auto* program : {&kFat12Program, &kFat16Program})
        for (const char* text :
             {"Invalid system disk", "Disk I/O error", "Replace the disk, and then press any key",
              "IO      SYS", "MSDOS   SYS"})
            EXPECT_TRUE(Contains(program->data(), program->size(), text)) << text;
    EXPECT_TRUE(Contains(kFat16Program.data(), kFat16Program.size(), "WINBOOT SYS"));
    EXPECT_FALSE(Contains(kFat12Program.data(), kFat12Program.size(), "WINBOOT SYS"));
}

TEST(Mbr, HddRegionOf64000Sectors) {
    const auto layout = *PlanRegion(LayoutType::Hdd, 64000);
    Sector s;
    BuildMbr(layout, s);
    EXPECT_EQ(0, std::memcmp(s.data(), kMbrProgram.data(), 446));
    EXPECT_EQ(s[446], 0x80);
    EXPECT_EQ(s[447], 0);  // head 0
    EXPECT_EQ(s[448], 36); // sector 36, cylinder 0
    EXPECT_EQ(s[449], 0);
    EXPECT_EQ(s[450], 0x01);
    EXPECT_EQ(s[451], 7);   // head 7
    EXPECT_EQ(s[452], 55);  // sector 55
    EXPECT_EQ(s[453], 126); // cylinder 126
    EXPECT_EQ(Le32(s, 454), 35u);
    EXPECT_EQ(Le32(s, 458), 63965u);
    for (size_t i = 462; i < 510; ++i)
        ASSERT_EQ(s[i], 0) << i;
    EXPECT_EQ(s[510], 0x55);
    EXPECT_EQ(s[511], 0xAA);
}

TEST(Mbr, ZipStartsAtSector32) {
    const auto layout = *PlanRegion(LayoutType::Zip, 160000);
    Sector s;
    BuildMbr(layout, s);
    EXPECT_EQ(s[447], 1); // cylinder 0, head 1, sector 1
    EXPECT_EQ(s[448], 1);
    EXPECT_EQ(s[449], 0);
    EXPECT_EQ(s[450], 0x06);
    EXPECT_EQ(Le32(s, 454), 32u);
    EXPECT_EQ(Le32(s, 458), 159968u);
}

struct BootCase {
    LayoutType type;
    uint32_t n;
    uint8_t jump;
    uint32_t rootEntries, small, large, fat, spt, heads, hidden;
    const char* fsType;
};

TEST(BootSector, Fields) {
    const BootCase cases[] = {
        {LayoutType::Hdd, 64000, 0x3C, 256, 63965, 0, 6, 63, 8, 35, "FAT12"},
        {LayoutType::Zip, 160000, 0x3E, 368, 0, 159968, 20, 32, 64, 32, "FAT16"},
        {LayoutType::Floppy, 20480, 0x3C, 432, 20480, 0, 2, 63, 8, 0, "FAT12"},
        {LayoutType::Floppy, 2048000, 0x3E, 688, 0, 2048000, 250, 63, 63, 0, "FAT16"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        Sector s;
        BuildBootSector(*PlanRegion(c.type, c.n), LabelSlot{}, s);
        EXPECT_EQ(s[0], 0xEB);
        EXPECT_EQ(s[1], c.jump);
        EXPECT_EQ(s[2], 0x90);
        EXPECT_EQ(0, std::memcmp(&s[3], "Merovane", 8));
        EXPECT_EQ(Le16(s, 11), 512u);
        EXPECT_EQ(s[13], 32);
        EXPECT_EQ(Le16(s, 14), 1u);
        EXPECT_EQ(s[16], 2);
        EXPECT_EQ(Le16(s, 17), c.rootEntries);
        EXPECT_EQ(Le16(s, 19), c.small);
        EXPECT_EQ(s[21], 0xF8);
        EXPECT_EQ(Le16(s, 22), c.fat);
        EXPECT_EQ(Le16(s, 24), c.spt);
        EXPECT_EQ(Le16(s, 26), c.heads);
        EXPECT_EQ(Le32(s, 28), c.hidden);
        EXPECT_EQ(Le32(s, 32), c.large);
        EXPECT_EQ(s[36], 0x80);
        EXPECT_EQ(s[37], 0);
        EXPECT_EQ(s[38], 0x29);
        EXPECT_EQ(Le32(s, 39), 0u);
        EXPECT_EQ(0, std::memcmp(&s[43], "NO NAME    ", 11));
        EXPECT_EQ(0, std::memcmp(&s[54], c.fsType, 5));
        EXPECT_EQ(s[59] | s[60] | s[61], 0);
        const auto& program = c.jump == 0x3E ? kFat16Program : kFat12Program;
        EXPECT_EQ(0, std::memcmp(&s[62], program.data(), 448));
        EXPECT_EQ(s[510], 0x55);
        EXPECT_EQ(s[511], 0xAA);
    }
}

TEST(BootSector, CarriesTheRootLabel) {
    Sector s;
    BuildBootSector(*PlanRegion(LayoutType::Floppy, 20480), MakeLabelSlot("Data"), s);
    EXPECT_EQ(0, std::memcmp(&s[43], "Data       ", 11));
}

TEST(FatAndRoot, FirstSectors) {
    Sector s;
    BuildFatFirstSector(FatType::Fat12, s);
    EXPECT_EQ((std::vector<uint8_t>{s[0], s[1], s[2], s[3]}),
              (std::vector<uint8_t>{0xF8, 0xFF, 0xFF, 0}));
    BuildFatFirstSector(FatType::Fat16, s);
    EXPECT_EQ((std::vector<uint8_t>{s[0], s[1], s[2], s[3], s[4]}),
              (std::vector<uint8_t>{0xF8, 0xFF, 0xFF, 0xFF, 0}));

    BuildRootFirstSector(MakeLabelSlot(""), s);
    for (uint8_t b : s)
        ASSERT_EQ(b, 0);
    BuildRootFirstSector(MakeLabelSlot("Data"), s);
    const uint8_t expected[12] = {'D', 'a', 't', 'a', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x08};
    EXPECT_EQ(0, std::memcmp(s.data(), expected, 12));
    for (size_t i = 12; i < 512; ++i)
        ASSERT_EQ(s[i], 0);
}

TEST(LabelSlots, AtMostElevenCharactersAsTyped) {
    const auto slot = MakeLabelSlot("abcdefghijkLMN");
    EXPECT_EQ(std::string(slot.begin(), slot.begin() + 11), "abcdefghijk");
    EXPECT_EQ(slot[11], 0x08);
    EXPECT_EQ(MakeLabelSlot(""), LabelSlot{});
}

} // namespace
} // namespace disk

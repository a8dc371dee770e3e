#include "emulator/flash/nand_flash.h"
#include "emulator/storage/disk_placement.h"
#include "emulator/system/password_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace emu {
namespace {

TEST(Geometry, ChecksUnitsAndZones) {
    EXPECT_FALSE(Geometry::check(1, 1));
    EXPECT_FALSE(Geometry::check(8, 64));
    EXPECT_TRUE(Geometry::check(0, 4));
    EXPECT_TRUE(Geometry::check(9, 9));
    EXPECT_TRUE(Geometry::check(1, 65));
    EXPECT_TRUE(Geometry::check(3, 4)); // not a multiple
    Geometry g{2, 4};
    EXPECT_EQ(g.logicalPerUnit(), 2000u);
    EXPECT_EQ(g.physicalPerUnit(), 2048u);
    EXPECT_EQ(g.physicalBlockOf(0), 1u);
    EXPECT_EQ(g.physicalBlockOf(1999), 2000u);
    EXPECT_EQ(g.physicalBlockOf(2000), 2049u);
}

TEST(NandFlash, ProgramClearsBitsAndEraseSetsThem) {
    NandFlash flash(Geometry{1, 1});
    std::vector<uint8_t> a(512, 0xF0), b(512, 0x3C), spare(16, 0x0F);
    flash.program(40, a, spare);
    flash.program(40, b, {});
    PageBytes p = flash.read(40);
    EXPECT_EQ(p[0], 0x30);
    EXPECT_EQ(p[511], 0x30);
    EXPECT_EQ(p[512], 0x0F);
    flash.program(33, a, {});
    flash.eraseBlock(1);
    EXPECT_EQ(flash.read(40)[0], 0xFF);
    EXPECT_TRUE(flash.writtenPages().empty());
}

TEST(NandFlash, ErasedPagesCostNothing) {
    NandFlash flash(Geometry{8, 64}); // 1 GB
    EXPECT_EQ(flash.bytesHeld(), 0u);
    flash.program(2000000, std::vector<uint8_t>(512, 0), {});
    EXPECT_EQ(flash.writtenPages().size(), 1u);
    EXPECT_LT(flash.bytesHeld(), 1024u);
    flash.program(2000001, std::vector<uint8_t>(512, 0xFF), {}); // programs nothing
    EXPECT_EQ(flash.writtenPages().size(), 1u);
}

TEST(DiskPlacement, DisksFollowTheDivisionPoint) {
    // Two units of one zone, 1500 blocks of Standard Disk.
    DiskPlacement place(Geometry{2, 2}, 1500);
    EXPECT_EQ(place.blocks(Disk::Standard), 1500u);
    EXPECT_EQ(place.blocks(Disk::Security), 500u);
    EXPECT_EQ(*place.firstBlock(Disk::Standard), 1u);
    EXPECT_EQ(*place.firstBlock(Disk::Security), 1525u);
    EXPECT_EQ(*place.pageOf(Disk::Standard, 999 * 32), 1000u * 32);
    EXPECT_EQ(*place.pageOf(Disk::Standard, 1000 * 32), 1025u * 32); // runs on in unit 1
    EXPECT_EQ(*place.pageOf(Disk::Standard, 1500 * 32 - 1), 1524u * 32 + 31);
    EXPECT_FALSE(place.pageOf(Disk::Standard, 1500 * 32));
    EXPECT_EQ(place.translateLayoutPage(32 * 1001), 32u * 1025);
    EXPECT_EQ(place.translateLayoutPage(32 * 1000 + 5), 32u * 1000 + 5);
    EXPECT_EQ(place.translateLayoutPage(32 * 1024), 32u * 1024);

    struct Case {
        uint32_t division;
        std::optional<uint32_t> standardStart, securityStart;
    };
    for (Case k : {Case{1000, 1u, 1025u}, Case{0, std::nullopt, 1u}, Case{2000, 1u, std::nullopt},
                   Case{5000, 1u, std::nullopt}}) {
        DiskPlacement p(Geometry{2, 2}, k.division);
        EXPECT_EQ(p.firstBlock(Disk::Standard), k.standardStart) << k.division;
        EXPECT_EQ(p.firstBlock(Disk::Security), k.securityStart) << k.division;
    }
    DiskPlacement whole(Geometry{2, 2}, 700);
    EXPECT_EQ(whole.sectors(Disk::Whole), 2000u * 32);
    EXPECT_EQ(*whole.pageOf(Disk::Whole, 1000 * 32), 1025u * 32);
}

TEST(PasswordRecord, FormsAndTheirStates) {
    PageData blank = blankPasswordRecord();
    EXPECT_EQ(blank[0], 0x55);
    EXPECT_EQ(blank[1], 0xFF);
    EXPECT_EQ(blank[509], 0xFF);
    EXPECT_EQ(blank[510], 0x55);
    EXPECT_EQ(blank[511], 0xAA);
    EXPECT_EQ(recordState(blank), RecordState::Blank);

    PageData rec = passwordRecord("abc", 42);
    EXPECT_EQ(recordState(rec), RecordState::Valid);
    EXPECT_TRUE(recordMatches(rec, "abc"));
    EXPECT_FALSE(recordMatches(rec, "abd"));
    EXPECT_FALSE(recordMatches(rec, "abcd"));
    EXPECT_FALSE(recordMatches(rec, ""));
    EXPECT_NE(passwordRecord("abc", 43), rec); // salted

    EXPECT_EQ(recordState(corruptedRecord(rec)), RecordState::Corrupted);
    PageData erased;
    erased.fill(0xFF);
    EXPECT_EQ(recordState(erased), RecordState::FormatError);
    PageData noTrailer = rec;
    noTrailer[511] = 0;
    EXPECT_EQ(recordState(noTrailer), RecordState::FormatError);
    PageData flipped = rec;
    flipped[300] = 0x00;
    EXPECT_EQ(recordState(flipped), RecordState::Corrupted);
}

} // namespace
} // namespace emu

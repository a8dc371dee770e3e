#include "tests/emulator/host_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace emu {
namespace {

using namespace emu::test;
using usb::TransferStatus;

class VendorCommands : public ::testing::Test {
  protected:
    VendorCommands() : c({2, 4}, "Test Disk", 1500) { c.plugged(); }

    uint8_t in1(uint8_t code) {
        Reply r = vendorIn(c, code, 0, 0, 1);
        EXPECT_TRUE(r.ok()) << int(code);
        return r.ok() ? r.data[0] : 0xEE;
    }
    TransferStatus verify(const std::string& pw) {
        return vendorOut(c, cmd::kVerifyPassword, 0, 0, bytesOf(pw));
    }
    TransferStatus set(const std::string& oldPw, const std::string& newPw) {
        return vendorOut(c, cmd::kSetPassword, 0, 0, setPayload(oldPw, newPw));
    }

    Controller c;
};

TEST_F(VendorCommands, EveryCommandWantsItsExactLengthAndDirection) {
    struct Case {
        uint8_t code;
        bool in;
        uint16_t length;
    };
    const Case cases[] = {
        {cmd::kGetPasswordError, true, 1},   {cmd::kReadSpare, true, 16},
        {cmd::kGetPasswordFlag, true, 1},    {cmd::kGetWriteProtect, true, 1},
        {cmd::kGetGeometry, true, 2},        {cmd::kReadPage, true, 528},
        {cmd::kGetStatus, true, 1},          {cmd::kWritePage, false, 512},
        {cmd::kWriteConfigPage, false, 512}, {cmd::kEraseBlock, false, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(int(k.code));
        uint16_t index = k.code == cmd::kReadPage ? 0x8000 : 0;
        const bool addressed = k.code == cmd::kReadSpare || k.code == cmd::kReadPage ||
                               k.code == cmd::kWritePage || k.code == cmd::kEraseBlock;
        const uint16_t value = addressed ? 40 : 0;
        auto send = [&](bool in, uint16_t length) {
            std::vector<uint8_t> buf(length, 0xFF);
            if (k.code == cmd::kWriteConfigPage) {
                PageData page = c.configPage();
                std::copy_n(page.begin(), std::min<std::size_t>(length, page.size()), buf.begin());
            }
            return c
                .control({static_cast<uint8_t>(in ? 0xC0 : 0x40), k.code, value, index, length},
                         buf)
                .status;
        };
        EXPECT_EQ(send(k.in, k.length), TransferStatus::Ok);
        EXPECT_EQ(send(k.in, static_cast<uint16_t>(k.length + 1)), TransferStatus::Stall);
        if (k.length) {
            EXPECT_EQ(send(k.in, static_cast<uint16_t>(k.length - 1)), TransferStatus::Stall);
        }
        EXPECT_EQ(send(!k.in, k.length), TransferStatus::Stall);
    }
    EXPECT_EQ(vendorIn(c, 0x77, 0, 0, 1).status, TransferStatus::Stall); // unknown code
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 1, 0, 1).status, TransferStatus::Stall);
}

TEST_F(VendorCommands, AnswersGeometryStatusAndSwitches) {
    Reply g = vendorIn(c, cmd::kGetGeometry, 0, 0, 2);
    ASSERT_TRUE(g.ok());
    EXPECT_EQ(g.data, (std::vector<uint8_t>{2, 4}));
    EXPECT_EQ(in1(cmd::kGetStatus), cmd::kStatusLocked);
    EXPECT_EQ(in1(cmd::kGetWriteProtect) & 1, 1);
    EXPECT_EQ(in1(cmd::kGetPasswordFlag), cmd::kFlagNoPassword);
    c.setWriteProtect(true);
    EXPECT_EQ(in1(cmd::kGetWriteProtect) & 1, 0);
    c.setStatusOverride(0x00);
    EXPECT_EQ(in1(cmd::kGetStatus), 0x00);
}

TEST_F(VendorCommands, NewDeviceTakesOnlyTheEmptyPasswordThenAFirstPassword) {
    EXPECT_EQ(verify("x"), TransferStatus::Stall);
    EXPECT_EQ(in1(cmd::kGetPasswordError), cmd::kReasonWrongPassword);
    EXPECT_EQ(verify(""), TransferStatus::Ok);
    EXPECT_TRUE(c.unlocked());
    EXPECT_EQ(in1(cmd::kGetStatus), cmd::kStatusUnlocked);

    EXPECT_EQ(set("", "abc"), TransferStatus::Ok);
    EXPECT_EQ(in1(cmd::kGetPasswordFlag), cmd::kFlagPasswordSet);
    c.unplugged();
    c.plugged();
    EXPECT_FALSE(c.unlocked());
    EXPECT_EQ(verify(""), TransferStatus::Stall);
    EXPECT_EQ(verify("ABC"), TransferStatus::Stall); // case matters
    EXPECT_EQ(verify("abc"), TransferStatus::Ok);
}

TEST_F(VendorCommands, ChangeAndClearCheckTheOldPassword) {
    c.setPassword("abc");
    EXPECT_EQ(set("", "new"), TransferStatus::Stall); // a set needs the current one
    EXPECT_EQ(set("abd", "new"), TransferStatus::Stall);
    EXPECT_EQ(in1(cmd::kGetPasswordError), cmd::kReasonWrongPassword);
    EXPECT_EQ(set("abc", "wxyz"), TransferStatus::Ok);
    EXPECT_EQ(verify("abc"), TransferStatus::Stall);
    EXPECT_EQ(verify("wxyz"), TransferStatus::Ok);
    EXPECT_EQ(set("wxyz", ""), TransferStatus::Ok); // clear
    EXPECT_EQ(c.passwordState(), RecordState::Blank);
    EXPECT_EQ(in1(cmd::kGetPasswordFlag), cmd::kFlagNoPassword);
}

TEST_F(VendorCommands, MalformedSetPayloadsAreRefusedWithoutCounting) {
    c.setPassword("abc");
    const std::vector<std::vector<uint8_t>> bad = {
        {},                         // nothing
        {3, 'a', 'b'},              // old password cut short
        {3, 'a', 'b', 'c', 2, 'x'}, // new password cut short
        {3, 'a', 'b', 'c', 0, 'x'}, // bytes left over
        {3, 'a', 'b', 'c', 9, '1', '2', '3', '4', '5', '6', '7', '8', '9'}, // too long
    };
    for (const auto& payload : bad)
        EXPECT_EQ(vendorOut(c, cmd::kSetPassword, 0, 0, payload), TransferStatus::Stall);
    EXPECT_FALSE(c.lockedOut());
    EXPECT_EQ(verify("abc"), TransferStatus::Ok);
}

TEST_F(VendorCommands, ThreeWrongPasswordsLockOutUntilReplugged) {
    c.setPassword("abc");
    EXPECT_EQ(verify("1"), TransferStatus::Stall);
    EXPECT_EQ(set("2", "x"), TransferStatus::Stall); // wrong old passwords count too
    EXPECT_FALSE(c.lockedOut());
    EXPECT_EQ(verify("123456789"), TransferStatus::Stall); // longer than any password
    EXPECT_TRUE(c.lockedOut());
    EXPECT_EQ(in1(cmd::kGetStatus), cmd::kStatusLockedOut);
    EXPECT_EQ(verify("abc"), TransferStatus::Stall);
    EXPECT_EQ(set("abc", "x"), TransferStatus::Stall);
    EXPECT_EQ(in1(cmd::kGetPasswordError), cmd::kReasonWrongPassword);

    c.busReset(); // a bus reset is not a power cycle
    EXPECT_TRUE(c.lockedOut());
    c.unplugged();
    c.plugged();
    EXPECT_EQ(verify("abc"), TransferStatus::Ok);
}

TEST_F(VendorCommands, ACorrectPasswordRestartsTheCount) {
    c.setPassword("abc");
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(verify("no"), TransferStatus::Stall);
        EXPECT_EQ(verify("no"), TransferStatus::Stall);
        EXPECT_EQ(verify("abc"), TransferStatus::Ok);
    }
    EXPECT_FALSE(c.lockedOut());
}

TEST_F(VendorCommands, DamagedRecordsGiveTheirReasonAndWriteNothing) {
    struct Case {
        void (Controller::*setUp)();
        uint8_t reason;
    };
    for (Case k : {Case{&Controller::corruptPasswordRecord, cmd::kReasonCorrupted},
                   Case{&Controller::breakPasswordRecordFormat, cmd::kReasonFormatError}}) {
        SCOPED_TRACE(int(k.reason));
        c.unplugged();
        c.plugged();
        c.setPassword("abc");
        (c.*k.setUp)();
        PageBytes before = c.readPage(kPasswordPage);
        c.clearCommandLog();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(verify("abc"), TransferStatus::Stall);
            EXPECT_EQ(in1(cmd::kGetPasswordError), k.reason);
        }
        EXPECT_EQ(set("abc", "new"), TransferStatus::Stall);
        EXPECT_EQ(in1(cmd::kGetPasswordError), k.reason);
        EXPECT_FALSE(c.lockedOut()); // not wrong passwords
        EXPECT_EQ(c.readPage(kPasswordPage), before);
        EXPECT_EQ(in1(cmd::kGetPasswordFlag), cmd::kFlagRecordDamaged);
        EXPECT_EQ(in1(cmd::kGetStatus), cmd::kStatusLocked); // the reason may be asked

        EXPECT_EQ(set("", "new"), TransferStatus::Ok); // a fresh start is possible
        EXPECT_EQ(verify("new"), TransferStatus::Ok);
    }
}

TEST_F(VendorCommands, HostRepairWithTheBlankRecordClearsThePassword) {
    c.breakPasswordRecordFormat();
    std::vector<uint8_t> blank(512, 0xFF);
    blank[0] = 0x55;
    blank[510] = 0x55;
    blank[511] = 0xAA;
    EXPECT_EQ(writePage(c, kPasswordPage, blank), TransferStatus::Ok);
    EXPECT_EQ(c.passwordState(), RecordState::Blank);
    EXPECT_EQ(verify(""), TransferStatus::Ok);
}

TEST_F(VendorCommands, RecordKeepsNoPlainPassword) {
    EXPECT_EQ(set("", "secret"), TransferStatus::Ok);
    PageBytes page = c.readPage(kPasswordPage);
    const std::string pw = "secret";
    EXPECT_EQ(std::search(page.begin(), page.end(), pw.begin(), pw.end()), page.end());
}

TEST_F(VendorCommands, WriteProtectionRefusesEveryChange) {
    c.setPassword("abc");
    c.setWriteProtect(true);
    c.flash().program(32 * 40, std::vector<uint8_t>(512, 0x00), {});
    const PageBytes before = c.readPage(32 * 40);
    EXPECT_EQ(vendorOut(c, cmd::kEraseBlock, 40, 0, {}), TransferStatus::Stall);
    EXPECT_EQ(writePage(c, 32 * 41, std::vector<uint8_t>(512, 0)), TransferStatus::Stall);
    const PageData page = c.configPage();
    std::vector<uint8_t> config(page.begin(), page.end());
    EXPECT_EQ(vendorOut(c, cmd::kWriteConfigPage, 0, 0, config), TransferStatus::Stall);
    EXPECT_EQ(set("abc", "x"), TransferStatus::Stall);
    EXPECT_EQ(c.readPage(32 * 40), before);
    EXPECT_TRUE(c.flash().writtenPages().count(32 * 41) == 0);
    EXPECT_EQ(verify("abc"), TransferStatus::Ok); // reading and unlocking still work
    EXPECT_EQ(readPage(c, 1).size(), 528u);
}

TEST_F(VendorCommands, PageWritesOnlyClearBits) {
    const uint32_t page = 32 * 77 + 5;
    EXPECT_EQ(writePage(c, page, std::vector<uint8_t>(512, 0xF0)), TransferStatus::Ok);
    EXPECT_EQ(writePage(c, page, std::vector<uint8_t>(512, 0x3C)), TransferStatus::Ok);
    std::vector<uint8_t> got = readPage(c, page);
    ASSERT_EQ(got.size(), 528u);
    EXPECT_TRUE(std::all_of(got.begin(), got.begin() + 512, [](uint8_t b) { return b == 0x30; }));
    EXPECT_TRUE(std::all_of(got.begin() + 512, got.end(), [](uint8_t b) { return b == 0xFF; }));

    EXPECT_EQ(vendorOut(c, cmd::kEraseBlock, 77, 0, {}), TransferStatus::Ok);
    got = readPage(c, page);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(VendorCommands, SystemBlockPagesAreRewrittenWhole) {
    // Every page of block 0 holds its own pattern and spare bytes.
    for (uint32_t p = 0; p < 32; ++p) {
        if (p == 1 || p == 2) continue;
        PageBytes bytes;
        bytes.fill(static_cast<uint8_t>(p));
        c.storePage(p, bytes);
    }
    const PageBytes page1 = c.readPage(1);
    std::vector<uint8_t> fresh(512, 0xA5);
    EXPECT_EQ(writePage(c, 7, fresh), TransferStatus::Ok); // no erase before it
    EXPECT_EQ(writePage(c, 7, std::vector<uint8_t>(512, 0x5A)), TransferStatus::Ok);
    std::vector<uint8_t> got = readPage(c, 7);
    EXPECT_TRUE(std::all_of(got.begin(), got.begin() + 512, [](uint8_t b) { return b == 0x5A; }));
    EXPECT_TRUE(std::all_of(got.begin() + 512, got.end(), [](uint8_t b) { return b == 7; }));
    for (uint32_t p = 0; p < 32; ++p) {
        if (p == 1 || p == 2 || p == 7) continue;
        PageBytes expect;
        expect.fill(static_cast<uint8_t>(p));
        EXPECT_EQ(c.readPage(p), expect) << p;
    }
    EXPECT_EQ(c.readPage(1), page1);
}

TEST_F(VendorCommands, ConfigurationPageWriteRenamesTheDevice) {
    PageData page = c.configPage();
    ASSERT_TRUE(replaceChainString7(page, "Renamed"));
    std::vector<uint8_t> bytes(page.begin(), page.end());
    EXPECT_EQ(vendorOut(c, cmd::kWriteConfigPage, 0, 0, bytes), TransferStatus::Ok);
    EXPECT_EQ(c.deviceName(), "Renamed");
    EXPECT_EQ(c.configPage(), page);
}

TEST_F(VendorCommands, PageAddressesUseBothHalves) {
    Controller big({1, 4}, "Big");
    big.plugged();
    const uint32_t page = 0x1ABCD; // beyond 16 bits
    EXPECT_EQ(writePage(big, page, std::vector<uint8_t>(512, 0x11)), TransferStatus::Ok);
    EXPECT_EQ(big.readPage(page)[0], 0x11);
    EXPECT_EQ(readPage(big, page)[0], 0x11);
    // Read without the 0x8000 offset names a page far beyond the flash.
    EXPECT_EQ(vendorIn(big, cmd::kReadPage, 1, 0, 528).status, TransferStatus::Stall);
    EXPECT_EQ(vendorIn(big, cmd::kReadPage, 1, 0x8000, 528).status, TransferStatus::Ok);
    uint32_t beyond = big.geometry().totalPages();
    EXPECT_EQ(writePage(big, beyond, {}), TransferStatus::Stall);
    EXPECT_EQ(vendorIn(big, cmd::kReadSpare, beyond & 0xFFFF, beyond >> 16, 16).status,
              TransferStatus::Stall);
    EXPECT_EQ(vendorOut(big, cmd::kEraseBlock, 4096, 0, {}), TransferStatus::Stall);
    EXPECT_EQ(vendorOut(big, cmd::kEraseBlock, 4095, 0, {}), TransferStatus::Ok);
}

TEST_F(VendorCommands, SpareRecordsAreReadBack) {
    c.setSpareLogicalBlock(1001, 300);
    Reply r = vendorIn(c, cmd::kReadSpare, 32 * 1001 & 0xFFFF, 0, 16);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.data[2], 300 >> 8);
    EXPECT_EQ(r.data[3], 300 & 0xFF);
    EXPECT_EQ(readPage(c, 32 * 1001)[512 + 3], 300 & 0xFF);
}

TEST_F(VendorCommands, EraseFailuresAndUnreadableSpares) {
    c.flash().program(32 * 9, std::vector<uint8_t>(512, 0), {});
    c.faults().eraseFailure(9);
    EXPECT_EQ(vendorOut(c, cmd::kEraseBlock, 9, 0, {}), TransferStatus::Stall);
    EXPECT_EQ(vendorOut(c, cmd::kEraseBlock, 9, 0, {}), TransferStatus::Stall);
    EXPECT_EQ(c.readPage(32 * 9)[0], 0x00); // kept its contents

    c.faults().eraseFailure(0, 1); // once: the system block rewrite fails once
    EXPECT_EQ(set("", "abc"), TransferStatus::Stall);
    EXPECT_EQ(c.passwordState(), RecordState::Blank);
    EXPECT_EQ(set("", "abc"), TransferStatus::Ok);

    c.faults().unreadableSpare(32 * 1010);
    EXPECT_EQ(vendorIn(c, cmd::kReadSpare, 32 * 1010, 0, 16).status, TransferStatus::Stall);
    EXPECT_EQ(vendorIn(c, cmd::kReadPage, 32 * 1010, 0x8000, 528).status, TransferStatus::Stall);
    EXPECT_EQ(vendorIn(c, cmd::kReadSpare, 32 * 1011, 0, 16).status, TransferStatus::Ok);
}

TEST_F(VendorCommands, InjectedTransferFaults) {
    c.faults().failNext(Match::vendor(cmd::kGetStatus), Fault::Stall, 2);
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::Stall);
    EXPECT_EQ(vendorIn(c, cmd::kGetGeometry, 0, 0, 2).status, TransferStatus::Ok); // not matched
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::Stall);
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::Ok);

    c.faults().failNext(Match::vendor(cmd::kWritePage), Fault::NoAnswer);
    EXPECT_EQ(writePage(c, 32 * 50, std::vector<uint8_t>(512, 0)), TransferStatus::NoAnswer);
    EXPECT_EQ(c.flash().writtenPages().count(32 * 50), 0u); // not carried out

    c.faults().failNext(Match::vendor(cmd::kReadPage), Fault::ShortData, 1, 100);
    EXPECT_EQ(readPage(c, 1).size(), 100u);
    c.faults().failNext(Match::vendor(cmd::kWritePage), Fault::ShortData, 1, 100);
    std::vector<uint8_t> data(512, 0);
    usb::TransferResult cut = c.control({0x40, cmd::kWritePage, 32 * 50, 0, 512}, data);
    EXPECT_EQ(cut.status, TransferStatus::Ok);
    EXPECT_EQ(cut.actual, 100u);
    EXPECT_EQ(c.flash().writtenPages().count(32 * 50), 0u); // dropped

    c.faults().failNext(Match::vendor(cmd::kVerifyPassword), Fault::DeviceGone);
    EXPECT_EQ(verify(""), TransferStatus::DeviceGone);
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::DeviceGone);
    c.plugged();
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::Ok);
    EXPECT_EQ(c.faults().pending(), 0u);
}

TEST_F(VendorCommands, LogKeepsEveryVendorRequest) {
    c.clearCommandLog();
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::Ok);
    EXPECT_EQ(set("", "abc"), TransferStatus::Ok);
    EXPECT_EQ(verify("x"), TransferStatus::Stall);
    ASSERT_EQ(c.commandLog().size(), 3u);
    EXPECT_TRUE(c.commandLog()[0].in);
    EXPECT_EQ(c.commandLog()[1].bRequest, cmd::kSetPassword);
    EXPECT_EQ(c.commandLog()[1].data, (std::vector<uint8_t>{0, 3, 'a', 'b', 'c'}));
    EXPECT_EQ(c.commandLog()[2].result, TransferStatus::Stall);
    EXPECT_EQ(c.countCommands(cmd::kVerifyPassword), 1u);
}

TEST_F(VendorCommands, UnpluggedDeviceAnswersNothing) {
    c.unplugged();
    EXPECT_EQ(vendorIn(c, cmd::kGetStatus, 0, 0, 1).status, TransferStatus::DeviceGone);
}

} // namespace
} // namespace emu

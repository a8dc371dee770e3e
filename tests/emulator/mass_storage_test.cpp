#include "tests/emulator/host_helpers.h"

#include <gtest/gtest.h>

namespace emu {
namespace {

using namespace emu::test;
using usb::TransferStatus;

const std::vector<uint8_t> kTestUnitReady = {scsi::kTestUnitReady, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kReadCapacity = {scsi::kReadCapacity10, 0, 0, 0, 0, 0, 0, 0, 0, 0};

std::vector<uint8_t> inquiry(uint8_t allocation) {
    return {scsi::kInquiry, 0, 0, 0, allocation, 0};
}
std::vector<uint8_t> requestSense() {
    return {scsi::kRequestSense, 0, 0, 0, 18, 0};
}

std::vector<uint8_t> sectorPattern(uint32_t tag) {
    std::vector<uint8_t> s(512);
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<uint8_t>(tag * 7 + i);
    return s;
}

class MassStorage : public ::testing::Test {
  protected:
    explicit MassStorage(Geometry g = {1, 1}, uint32_t division = 500) : c(g, "Disk", division) {
        c.plugged();
        configure(c);
    }

    uint32_t capacity() {
        BotResult r = runBot(c, kReadCapacity, 8, true);
        if (r.status != 0 || r.data.size() != 8) return 0;
        return (uint32_t(r.data[0]) << 24 | r.data[1] << 16 | r.data[2] << 8 | r.data[3]) + 1;
    }
    Sense sense() {
        BotResult r = runBot(c, requestSense(), 18, true);
        return r.data.size() >= 14 ? Sense{r.data[2], r.data[12], r.data[13]} : Sense{0xFF, 0, 0};
    }
    void unlock() { ASSERT_EQ(vendorOut(c, cmd::kVerifyPassword, 0, 0, {}), TransferStatus::Ok); }

    Controller c;
};

#define EXPECT_SENSE(s, k, a, q)                                                                   \
    do {                                                                                           \
        Sense got_ = (s);                                                                          \
        EXPECT_EQ(got_.key, k);                                                                    \
        EXPECT_EQ(got_.asc, a);                                                                    \
        EXPECT_EQ(got_.ascq, q);                                                                   \
    } while (0)

TEST_F(MassStorage, ShowsTheStandardDiskLockedAndTheSecurityDiskUnlocked) {
    EXPECT_EQ(capacity(), 500u * 32);
    unlock();
    EXPECT_EQ(capacity(), 500u * 32 * 1); // 1000 - 500 blocks
    c.setDivisionPoint(300);
    EXPECT_EQ(capacity(), 700u * 32);
    c.unplugged(); // forgets the unlock
    c.plugged();
    configure(c);
    EXPECT_EQ(capacity(), 300u * 32);
}

TEST_F(MassStorage, NoMediumWhenTheWholeMemoryIsTheLockedSecurityDisk) {
    c.setDivisionPoint(0);
    BotResult r = runBot(c, kTestUnitReady, 0, false);
    EXPECT_EQ(r.status, scsi::kStatusFailed);
    EXPECT_SENSE(sense(), 0x02, 0x3A, 0x00);
    unlock();
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).status, scsi::kStatusGood);
    EXPECT_EQ(capacity(), 1000u * 32);
}

TEST_F(MassStorage, InquiryAnswersAsDiskOrPacketDevice) {
    BotResult r = runBot(c, inquiry(36), 36, true);
    ASSERT_EQ(r.data.size(), 36u);
    EXPECT_EQ(r.data[0], 0x00);
    EXPECT_EQ(r.data[1], 0x80); // removable
    EXPECT_EQ(r.cswSignature, kCswSignature);
    EXPECT_EQ(r.cswTag, 0x12345678u);
    c.setPacketDevice(true);
    r = runBot(c, {scsi::kInquiry, 0, 0, 0, 36, 0, 0, 0, 0, 0, 0, 0}, 36, true);
    EXPECT_EQ(r.data.at(0), 0x05);
}

TEST_F(MassStorage, WritesLandInTheDiskBlocksAndReplaceOldData) {
    unlock(); // the Security Disk: logical blocks 500-999, physical 501-1000
    std::vector<uint8_t> two = sectorPattern(1);
    std::vector<uint8_t> second = sectorPattern(2);
    two.insert(two.end(), second.begin(), second.end());
    BotResult w = runBot(c, rw10(scsi::kWrite10, 31, 2), 1024, false, two);
    ASSERT_EQ(w.status, scsi::kStatusGood);
    EXPECT_EQ(w.residue, 0u);
    // Sector 31 is the last page of block 501, sector 32 the first of block 502.
    EXPECT_EQ(c.readPage(501 * 32 + 31)[5], sectorPattern(1)[5]);
    EXPECT_EQ(c.readPage(502 * 32)[5], sectorPattern(2)[5]);

    // A second write over the same sector is not ANDed with the first.
    ASSERT_EQ(runBot(c, rw10(scsi::kWrite10, 32, 1), 512, false, sectorPattern(3)).status, 0);
    BotResult r = runBot(c, rw10(scsi::kRead10, 31, 2), 1024, true);
    ASSERT_EQ(r.data.size(), 1024u);
    EXPECT_EQ(std::vector<uint8_t>(r.data.begin(), r.data.begin() + 512), sectorPattern(1));
    EXPECT_EQ(std::vector<uint8_t>(r.data.begin() + 512, r.data.end()), sectorPattern(3));
    EXPECT_EQ(runBot(c, {scsi::kVerify10, 0, 0, 0, 0, 31, 0, 0, 2, 0}, 0, false).status, 0);
}

TEST_F(MassStorage, OutOfRangeAndWriteProtectedCommandsFail) {
    BotResult r = runBot(c, rw10(scsi::kRead10, 500 * 32, 1), 512, true);
    EXPECT_EQ(r.status, scsi::kStatusFailed);
    EXPECT_TRUE(r.dataStalled);
    EXPECT_EQ(r.residue, 512u);
    EXPECT_SENSE(sense(), 0x05, 0x21, 0x00);

    c.setWriteProtect(true);
    auto before = c.flash().writtenPages().size();
    r = runBot(c, rw10(scsi::kWrite10, 0, 1), 512, false, sectorPattern(9));
    EXPECT_EQ(r.status, scsi::kStatusFailed);
    EXPECT_TRUE(r.dataStalled);
    EXPECT_SENSE(sense(), 0x07, 0x27, 0x00);
    EXPECT_EQ(c.flash().writtenPages().size(), before);
    BotResult mode = runBot(c, {scsi::kModeSense6, 0, 0x3F, 0, 192, 0}, 192, true);
    ASSERT_GE(mode.data.size(), 4u);
    EXPECT_EQ(mode.data[2] & 0x80, 0x80);
    EXPECT_EQ(mode.data[0] + 1u, mode.data.size());
}

TEST_F(MassStorage, EraseFailureOfADiskBlockFailsTheWrite) {
    c.faults().eraseFailure(1);
    BotResult r = runBot(c, rw10(scsi::kWrite10, 0, 1), 512, false, sectorPattern(1));
    EXPECT_EQ(r.status, scsi::kStatusFailed);
    EXPECT_SENSE(sense(), 0x03, 0x0C, 0x00);
}

TEST_F(MassStorage, HostAndDeviceDisagreeingOnTheDataPhase) {
    struct Case {
        const char* what;
        std::vector<uint8_t> cdb;
        uint32_t hostLength;
        bool hostIn;
        uint8_t status;
        uint32_t residue;
        bool stalled;
        std::size_t dataIn;
    };
    const Case cases[] = {
        {"host wants more than the device has", inquiry(36), 64, true, 0, 28, true, 36},
        {"host wants less than the device has", rw10(scsi::kRead10, 0, 2), 1000, true,
         kCswPhaseError, 0, false, 1000},
        {"host expects nothing, device sends", rw10(scsi::kRead10, 0, 1), 0, true, kCswPhaseError,
         0, false, 0},
        {"host reads, device has nothing", kTestUnitReady, 8, true, 0, 8, true, 0},
        {"host sends, device wants nothing", kTestUnitReady, 8, false, 0, 8, true, 0},
        {"host reads, device wants to receive", rw10(scsi::kWrite10, 0, 1), 512, true,
         kCswPhaseError, 512, true, 0},
        {"host sends, device wants to send", inquiry(36), 36, false, kCswPhaseError, 36, true, 0},
        {"host sends more than the device takes", rw10(scsi::kWrite10, 0, 1), 1024, false, 0, 512,
         true, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        BotResult r = runBot(c, k.cdb, k.hostLength, k.hostIn);
        ASSERT_TRUE(r.transported);
        EXPECT_EQ(r.status, k.status);
        EXPECT_EQ(r.residue, k.residue);
        EXPECT_EQ(r.dataStalled, k.stalled);
        EXPECT_EQ(r.data.size(), k.dataIn);
    }
}

TEST_F(MassStorage, AShortWriteIsAPhaseErrorAndWritesNothing) {
    auto before = c.flash().writtenPages().size();
    std::vector<uint8_t> data(1000, 0x00);
    BotResult r = runBot(c, rw10(scsi::kWrite10, 0, 2), 1000, false, data);
    EXPECT_EQ(r.status, kCswPhaseError);
    EXPECT_EQ(c.flash().writtenPages().size(), before);
}

TEST_F(MassStorage, DataInArrivesInAsManyPiecesAsTheHostAsks) {
    std::vector<uint8_t> w = cbw(1024, true, rw10(scsi::kRead10, 0, 2));
    ASSERT_EQ(c.bulkOut(0x02, w).status, TransferStatus::Ok);
    std::vector<uint8_t> buf(1024);
    uint32_t got = 0;
    for (int i = 0; i < 4; ++i) {
        usb::TransferResult r = c.bulkIn(0x81, std::span(buf).subspan(got, 256));
        ASSERT_EQ(r.status, TransferStatus::Ok);
        got += r.actual;
    }
    EXPECT_EQ(got, 1024u);
    std::vector<uint8_t> csw(13);
    EXPECT_EQ(c.bulkIn(0x81, csw).actual, 13u);
    EXPECT_EQ(csw[12], 0);
    // Nothing more to send: the device does not answer.
    EXPECT_EQ(c.bulkIn(0x81, csw).status, TransferStatus::NoAnswer);
}

TEST_F(MassStorage, AnInvalidCommandWrapperNeedsAResetRecovery) {
    std::vector<uint8_t> w = cbw(0, false, kTestUnitReady);
    w[0] = 'X';
    EXPECT_EQ(c.bulkOut(0x02, w).status, TransferStatus::Stall);
    c.clearHalt(0x02);
    c.clearHalt(0x81);
    EXPECT_EQ(c.bulkOut(0x02, cbw(0, false, kTestUnitReady)).status, TransferStatus::Halted);
    std::vector<uint8_t> none;
    ASSERT_EQ(c.control({0x21, 0xFF, 0, 0, 0}, none).status, TransferStatus::Ok);
    c.clearHalt(0x02);
    c.clearHalt(0x81);
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).status, 0);
    // A wrapper of the wrong size is invalid as well.
    w = cbw(0, false, kTestUnitReady);
    w.push_back(0);
    EXPECT_EQ(c.bulkOut(0x02, w).status, TransferStatus::Stall);
}

TEST_F(MassStorage, EjectLoadAndPreventRemoval) {
    EXPECT_EQ(runBot(c, {scsi::kPreventAllowMediumRemoval, 0, 0, 0, 1, 0}, 0, false).status, 0);
    EXPECT_EQ(runBot(c, {scsi::kStartStopUnit, 0, 0, 0, 2, 0}, 0, false).status, 1);
    EXPECT_SENSE(sense(), 0x05, 0x53, 0x02);
    EXPECT_EQ(runBot(c, {scsi::kPreventAllowMediumRemoval, 0, 0, 0, 0, 0}, 0, false).status, 0);
    EXPECT_EQ(runBot(c, {scsi::kStartStopUnit, 0, 0, 0, 2, 0}, 0, false).status, 0);
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).status, 1);
    EXPECT_SENSE(sense(), 0x02, 0x3A, 0x00);
    EXPECT_EQ(runBot(c, {scsi::kStartStopUnit, 0, 0, 0, 3, 0}, 0, false).status, 0);
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).status, 0);
    EXPECT_EQ(runBot(c, {0xBE, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 0, false).status, 1);
    EXPECT_SENSE(sense(), 0x05, 0x20, 0x00); // unsupported opcode
}

TEST_F(MassStorage, InjectedBulkFaults) {
    // Short data phase: the rest comes with the next read.
    c.faults().failNext(Match::scsi(scsi::kRead10, Phase::Data), Fault::ShortData, 1, 100);
    ASSERT_EQ(c.bulkOut(0x02, cbw(512, true, rw10(scsi::kRead10, 0, 1))).status,
              TransferStatus::Ok);
    std::vector<uint8_t> buf(512);
    EXPECT_EQ(c.bulkIn(0x81, buf).actual, 100u);
    EXPECT_EQ(c.bulkIn(0x81, std::span(buf).subspan(100)).actual, 412u);
    std::vector<uint8_t> csw(13);
    EXPECT_EQ(c.bulkIn(0x81, csw).actual, 13u);

    c.faults().failNext(Match::scsi(scsi::kTestUnitReady, Phase::Status), Fault::BadCsw);
    BotResult r = runBot(c, kTestUnitReady, 0, false);
    EXPECT_NE(r.cswSignature, kCswSignature);
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).cswSignature, kCswSignature);

    c.faults().failNext(Match::scsi(scsi::kTestUnitReady), Fault::Stall); // on the CBW
    EXPECT_EQ(c.bulkOut(0x02, cbw(0, false, kTestUnitReady)).status, TransferStatus::Stall);
    EXPECT_EQ(c.bulkOut(0x02, cbw(0, false, kTestUnitReady)).status, TransferStatus::Halted);
    c.clearHalt(0x02);
    EXPECT_EQ(runBot(c, kTestUnitReady, 0, false).status, 0);

    c.faults().failNext(Match::scsi(scsi::kRead10, Phase::Data), Fault::Stall);
    r = runBot(c, rw10(scsi::kRead10, 0, 1), 512, true);
    EXPECT_TRUE(r.dataStalled);
    EXPECT_EQ(r.status, scsi::kStatusFailed);

    c.faults().failNext(Match::bulk(0x81), Fault::Halted);
    ASSERT_EQ(c.bulkOut(0x02, cbw(0, false, kTestUnitReady)).status, TransferStatus::Ok);
    EXPECT_EQ(c.bulkIn(0x81, csw).status, TransferStatus::Halted);
    c.clearHalt(0x81);
    EXPECT_EQ(c.bulkIn(0x81, csw).actual, 13u); // the status waited

    c.faults().failNext(Match::bulk(0x02), Fault::DeviceGone);
    EXPECT_EQ(c.bulkOut(0x02, cbw(0, false, kTestUnitReady)).status, TransferStatus::DeviceGone);
    EXPECT_FALSE(c.isPlugged());
    EXPECT_EQ(c.bulkIn(0x81, csw).status, TransferStatus::DeviceGone);
}

// The host lays out a disk by raw page writes through its page translation;
// the unit must show those pages as the disk's first sectors, also where the
// layout runs on from one unit into the next.
class LayoutPlacement : public MassStorage {
  protected:
    LayoutPlacement() : MassStorage({2, 2}, 990) {}
};

TEST_F(LayoutPlacement, RawLayoutPagesShowAtTheirDiskSectors) {
    DiskPlacement place = c.placement();
    const uint32_t start = *place.firstBlock(Disk::Security);
    EXPECT_EQ(start, 991u);
    // A layout of up to 33 blocks: 10 at the end of unit 0, 23 translated into unit 1.
    const uint32_t sectors = 33 * 32;
    for (uint32_t r = 0; r < sectors; r += 31) {
        uint32_t page = place.translateLayoutPage(32 * start + r);
        std::vector<uint8_t> data = sectorPattern(r);
        ASSERT_EQ(writePage(c, page, data), TransferStatus::Ok) << r;
    }
    unlock();
    for (uint32_t r = 0; r < sectors; r += 31) {
        BotResult got = runBot(c, rw10(scsi::kRead10, r, 1), 512, true);
        ASSERT_EQ(got.status, 0) << r;
        EXPECT_EQ(got.data, sectorPattern(r)) << r;
    }
}

} // namespace
} // namespace emu

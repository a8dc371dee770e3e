#include "emulator/storage/scsi_unit.h"

#include <algorithm>
#include <cstring>

namespace emu {

namespace {

constexpr Sense kNoMedium{0x02, 0x3A, 0x00};
constexpr Sense kInvalidOpcode{0x05, 0x20, 0x00};
constexpr Sense kOutOfRange{0x05, 0x21, 0x00};
constexpr Sense kInvalidField{0x05, 0x24, 0x00};
constexpr Sense kRemovalPrevented{0x05, 0x53, 0x02};
constexpr Sense kWriteProtected{0x07, 0x27, 0x00};
constexpr Sense kWriteError{0x03, 0x0C, 0x00};

uint32_t be32(std::span<const uint8_t> b, std::size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | b[at + 3];
}

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void truncate(std::vector<uint8_t>& data, uint32_t allocation) {
    if (data.size() > allocation) data.resize(allocation);
}

} // namespace

void ScsiUnit::reset() {
    sense_ = {};
    loaded_ = true;
    preventRemoval_ = false;
}

uint8_t ScsiUnit::good() {
    sense_ = {};
    return scsi::kStatusGood;
}

uint8_t ScsiUnit::fail(Sense sense) {
    sense_ = sense;
    return scsi::kStatusFailed;
}

bool ScsiUnit::mediumReady() {
    if (loaded_ && store_.sectorCount() > 0) return true;
    fail(kNoMedium);
    return false;
}

bool ScsiUnit::blockRange(std::span<const uint8_t> cdb, uint32_t& lba, uint32_t& count) {
    lba = be32(cdb, 2);
    count = static_cast<uint32_t>(cdb[7] << 8 | cdb[8]);
    if (!mediumReady()) return false;
    uint64_t end = static_cast<uint64_t>(lba) + count;
    if (end > store_.sectorCount()) {
        fail(kOutOfRange);
        return false;
    }
    return true;
}

ScsiUnit::Start ScsiUnit::begin(std::span<const uint8_t> cdb) {
    Start failed;
    failed.status = scsi::kStatusFailed;
    switch (cdb[0]) {
    case scsi::kTestUnitReady: {
        Start s;
        s.status = mediumReady() ? good() : scsi::kStatusFailed;
        return s;
    }
    case scsi::kRequestSense:
        return requestSense(cdb);
    case scsi::kInquiry:
        return inquiry(cdb);
    case scsi::kModeSense6:
        return modeSense(cdb, false);
    case scsi::kModeSense10:
        return modeSense(cdb, true);
    case scsi::kStartStopUnit:
        return startStop(cdb);
    case scsi::kPreventAllowMediumRemoval: {
        preventRemoval_ = (cdb[4] & 1) != 0;
        Start s;
        s.status = good();
        return s;
    }
    case scsi::kReadCapacity10:
        return readCapacity();
    case scsi::kRead10:
        return read10(cdb);
    case scsi::kWrite10: {
        uint32_t lba = 0, count = 0;
        if (!blockRange(cdb, lba, count)) return failed;
        if (store_.writeProtected()) {
            fail(kWriteProtected);
            return failed;
        }
        Start s;
        s.direction = Direction::Out;
        s.length = count * kBlockSize;
        return s;
    }
    case scsi::kVerify10: {
        uint32_t lba = 0, count = 0;
        if ((cdb[1] & 0x02) != 0) {
            fail(kInvalidField);
            return failed;
        }
        if (!blockRange(cdb, lba, count)) return failed;
        Start s;
        s.status = good();
        return s;
    }
    default:
        fail(kInvalidOpcode);
        return failed;
    }
}

uint8_t ScsiUnit::finishOut(std::span<const uint8_t> cdb, std::span<const uint8_t> data) {
    if (cdb[0] != scsi::kWrite10) return fail(kInvalidOpcode);
    if (data.empty()) return good();
    if (!store_.writeSectors(be32(cdb, 2), data)) return fail(kWriteError);
    return good();
}

ScsiUnit::Start ScsiUnit::inquiry(std::span<const uint8_t> cdb) {
    Start s;
    if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) {
        s.status = fail(kInvalidField);
        return s;
    }
    s.direction = Direction::In;
    s.length = cdb[4];
    // Vendor (8), product (16) and revision (4).
    static constexpr char kIdentity[] = "KV7946  USB Flash Disk  1.00";
    s.data.assign(36, 0);
    s.data[0] = packet_ ? 0x05 : 0x00;
    s.data[1] = 0x80; // removable medium
    s.data[2] = 0x02;
    s.data[3] = 0x02;
    s.data[4] = 31; // additional length
    std::memcpy(s.data.data() + 8, kIdentity, sizeof kIdentity - 1);
    truncate(s.data, s.length);
    s.status = good();
    return s;
}

ScsiUnit::Start ScsiUnit::requestSense(std::span<const uint8_t> cdb) {
    Start s;
    s.direction = Direction::In;
    s.length = cdb[4];
    s.data.assign(18, 0);
    s.data[0] = 0x70;
    s.data[2] = sense_.key;
    s.data[7] = 10;
    s.data[12] = sense_.asc;
    s.data[13] = sense_.ascq;
    truncate(s.data, s.length);
    s.status = good();
    return s;
}

ScsiUnit::Start ScsiUnit::modeSense(std::span<const uint8_t> cdb, bool tenByte) {
    Start s;
    uint8_t page = cdb[2] & 0x3F;
    if (page != 0x00 && page != 0x08 && page != 0x3F) {
        s.status = fail(kInvalidField);
        return s;
    }
    uint8_t deviceSpecific = store_.writeProtected() ? 0x80 : 0x00;
    s.direction = Direction::In;
    if (tenByte) {
        s.length = static_cast<uint32_t>(cdb[7] << 8 | cdb[8]);
        s.data = {0, 0, 0, deviceSpecific, 0, 0, 0, 0};
    } else {
        s.length = cdb[4];
        s.data = {0, 0, deviceSpecific, 0};
    }
    if (page != 0x00) {
        // Caching page: no write cache, no read-ahead settings.
        std::vector<uint8_t> caching(20, 0);
        caching[0] = 0x08;
        caching[1] = 0x12;
        s.data.insert(s.data.end(), caching.begin(), caching.end());
    }
    std::size_t lengthField = s.data.size() - (tenByte ? 2 : 1);
    if (tenByte) {
        s.data[0] = static_cast<uint8_t>(lengthField >> 8);
        s.data[1] = static_cast<uint8_t>(lengthField & 0xFF);
    } else {
        s.data[0] = static_cast<uint8_t>(lengthField);
    }
    truncate(s.data, s.length);
    s.status = good();
    return s;
}

ScsiUnit::Start ScsiUnit::readCapacity() {
    Start s;
    if (!mediumReady()) {
        s.status = scsi::kStatusFailed;
        return s;
    }
    s.direction = Direction::In;
    s.length = 8;
    putBe32(s.data, store_.sectorCount() - 1);
    putBe32(s.data, kBlockSize);
    s.status = good();
    return s;
}

ScsiUnit::Start ScsiUnit::read10(std::span<const uint8_t> cdb) {
    Start s;
    uint32_t lba = 0, count = 0;
    if (!blockRange(cdb, lba, count)) {
        s.status = scsi::kStatusFailed;
        return s;
    }
    s.direction = Direction::In;
    s.length = count * kBlockSize;
    s.data.resize(s.length);
    if (count) store_.readSectors(lba, s.data);
    s.status = good();
    return s;
}

ScsiUnit::Start ScsiUnit::startStop(std::span<const uint8_t> cdb) {
    Start s;
    bool start = (cdb[4] & 0x01) != 0;
    bool loadEject = (cdb[4] & 0x02) != 0;
    if (loadEject && !start) {
        if (preventRemoval_) {
            s.status = fail(kRemovalPrevented);
            return s;
        }
        loaded_ = false;
    } else if (loadEject) {
        loaded_ = true;
    }
    s.status = good();
    return s;
}

} // namespace emu

// What a host does to the controller in tests: vendor requests and Bulk-Only
// commands, straight on the usb::Device interface.
#pragma once

#include "emulator/controller.h"
#include "emulator/system/vendor_commands.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace emu::test {

struct Reply {
    usb::TransferStatus status;
    std::vector<uint8_t> data;
    bool ok() const { return status == usb::TransferStatus::Ok; }
};

inline Reply vendorIn(usb::Device& d, uint8_t code, uint16_t value, uint16_t index,
                      uint16_t length) {
    std::vector<uint8_t> buf(length, 0xEE);
    usb::TransferResult r = d.control({0xC0, code, value, index, length}, buf);
    buf.resize(r.status == usb::TransferStatus::Ok ? r.actual : 0);
    return {r.status, buf};
}

inline usb::TransferStatus vendorOut(usb::Device& d, uint8_t code, uint16_t value, uint16_t index,
                                     std::vector<uint8_t> data) {
    return d.control({0x40, code, value, index, static_cast<uint16_t>(data.size())}, data).status;
}

inline std::vector<uint8_t> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

inline std::vector<uint8_t> setPayload(const std::string& oldPw, const std::string& newPw) {
    std::vector<uint8_t> p{static_cast<uint8_t>(oldPw.size())};
    p.insert(p.end(), oldPw.begin(), oldPw.end());
    p.push_back(static_cast<uint8_t>(newPw.size()));
    p.insert(p.end(), newPw.begin(), newPw.end());
    return p;
}

inline std::vector<uint8_t> readPage(usb::Device& d, uint32_t page) {
    return vendorIn(d, cmd::kReadPage, static_cast<uint16_t>(page & 0xFFFF),
                    static_cast<uint16_t>((page >> 16) + 0x8000), 528)
        .data;
}

inline usb::TransferStatus writePage(usb::Device& d, uint32_t page, std::vector<uint8_t> data) {
    data.resize(512, 0);
    return vendorOut(d, cmd::kWritePage, static_cast<uint16_t>(page & 0xFFFF),
                     static_cast<uint16_t>(page >> 16), data);
}

inline bool configure(usb::Device& d) {
    std::vector<uint8_t> none;
    return d.control({0x00, usb::kSetConfiguration, 1, 0, 0}, none).status ==
           usb::TransferStatus::Ok;
}

inline std::vector<uint8_t> cbw(uint32_t length, bool in, std::vector<uint8_t> cdb,
                                uint32_t tag = 0x12345678) {
    std::vector<uint8_t> w(31, 0);
    const uint32_t sig = 0x43425355;
    std::memcpy(&w[0], &sig, 4);
    std::memcpy(&w[4], &tag, 4);
    std::memcpy(&w[8], &length, 4);
    w[12] = in ? 0x80 : 0x00;
    w[14] = static_cast<uint8_t>(cdb.size());
    std::copy(cdb.begin(), cdb.end(), w.begin() + 15);
    return w;
}

struct BotResult {
    bool transported = false; // CBW accepted and CSW read
    bool dataStalled = false;
    std::vector<uint8_t> data;
    uint32_t cswSignature = 0;
    uint32_t cswTag = 0;
    uint32_t residue = 0;
    uint8_t status = 0xFF;
};

inline std::vector<uint8_t> rw10(uint8_t op, uint32_t lba, uint16_t count) {
    return {op,
            0,
            static_cast<uint8_t>(lba >> 24),
            static_cast<uint8_t>(lba >> 16),
            static_cast<uint8_t>(lba >> 8),
            static_cast<uint8_t>(lba),
            0,
            static_cast<uint8_t>(count >> 8),
            static_cast<uint8_t>(count),
            0};
}

// One Bulk-Only command as a careful host runs it: CBW, data phase, CSW; a
// stalled data phase is cleared and followed by the CSW read.
inline BotResult runBot(usb::Device& d, std::vector<uint8_t> cdb, uint32_t length, bool in,
                        std::vector<uint8_t> out = {}) {
    BotResult res;
    std::vector<uint8_t> w = cbw(length, in, cdb);
    if (d.bulkOut(0x02, w).status != usb::TransferStatus::Ok) return res;
    if (length && in) {
        std::vector<uint8_t> buf(length);
        uint32_t got = 0;
        while (got < length) {
            usb::TransferResult r = d.bulkIn(0x81, std::span(buf).subspan(got));
            if (r.status == usb::TransferStatus::Stall) {
                res.dataStalled = true;
                d.clearHalt(0x81);
                break;
            }
            if (r.status != usb::TransferStatus::Ok) return res;
            got += r.actual;
            if (r.actual == 0) break;
        }
        buf.resize(got);
        res.data = buf;
    } else if (length) {
        out.resize(length);
        usb::TransferResult r = d.bulkOut(0x02, out);
        if (r.status == usb::TransferStatus::Stall) {
            res.dataStalled = true;
            d.clearHalt(0x02);
        } else if (r.status != usb::TransferStatus::Ok) {
            return res;
        }
    }
    std::vector<uint8_t> csw(13);
    usb::TransferResult r = d.bulkIn(0x81, csw);
    if (r.status == usb::TransferStatus::Stall) { // status stalled once: retry
        d.clearHalt(0x81);
        r = d.bulkIn(0x81, csw);
    }
    if (r.status != usb::TransferStatus::Ok || r.actual != 13) return res;
    res.transported = true;
    std::memcpy(&res.cswSignature, &csw[0], 4);
    std::memcpy(&res.cswTag, &csw[4], 4);
    std::memcpy(&res.residue, &csw[8], 4);
    res.status = csw[12];
    return res;
}

} // namespace emu::test

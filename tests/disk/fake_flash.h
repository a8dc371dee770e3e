// An in-memory NAND flash behind FlashAccess: pages are kept only once
// written (unwritten pages read as 0xFF), a page write can only clear bits,
// and faults can be set per block. Records every command it gets.
#pragma once

#include "app/disk/flash_access.h"
#include "app/disk/geometry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace disk::test {

class FakeFlash : public FlashAccess {
  public:
    using Page = std::array<uint8_t, 528>;

    FakeFlash(uint8_t units, uint8_t zones) : units_(units), zones_(zones) {}

    bool GetGeometry(uint8_t& units, uint8_t& zones) override {
        ++commands;
        if (failGeometry) return false;
        units = units_;
        zones = zones_;
        return true;
    }
    bool GetStatus(uint8_t& status) override {
        ++commands;
        status = 0x10;
        return true;
    }
    bool GetWriteProtect(uint8_t& flags) override {
        ++commands;
        flags = writeProtected ? 0 : 1;
        return true;
    }
    bool ReadPage(uint32_t page, std::span<uint8_t, 528> reply) override {
        ++commands;
        const Page p = Read(page);
        std::copy(p.begin(), p.end(), reply.begin());
        return true;
    }
    bool ReadSpare(uint32_t page, std::span<uint8_t, 16> reply) override {
        ++commands;
        if (unreadableSpare.count(page / kPagesPerBlock)) return false;
        const Page p = Read(page);
        std::copy(p.begin() + 512, p.end(), reply.begin());
        return true;
    }
    bool WritePage(uint32_t page, std::span<const uint8_t, 512> data) override {
        ++commands;
        if (failWritesFrom && page >= *failWritesFrom) return false;
        writes.push_back(page);
        Page& p = pages_.try_emplace(page, Blank()).first->second;
        for (size_t i = 0; i < 512; ++i) {
            if ((data[i] & ~p[i]) != 0) ++corruptWrites; // a 0 bit cannot become 1
            p[i] &= data[i];
        }
        return true;
    }
    bool WriteConfigPage(std::span<const uint8_t, 512> data) override {
        ++commands;
        Page& p = pages_.try_emplace(1, Blank()).first->second;
        std::copy(data.begin(), data.end(), p.begin());
        configWrites++;
        return true;
    }
    bool EraseBlock(uint32_t block) override {
        ++commands;
        erases.push_back(block);
        auto fail = eraseFailures.find(block);
        if (fail != eraseFailures.end() && fail->second > 0) {
            --fail->second;
            return false;
        }
        auto first = pages_.lower_bound(block * kPagesPerBlock);
        auto last = pages_.lower_bound((block + 1) * kPagesPerBlock);
        pages_.erase(first, last);
        return true;
    }

    // Test set-up: the spare record of a block (bytes 2-3 of its first page).
    void SetSpareRecord(uint32_t block, uint16_t record) {
        Page& p = pages_.try_emplace(block * kPagesPerBlock, Blank()).first->second;
        p[514] = static_cast<uint8_t>(record >> 8);
        p[515] = static_cast<uint8_t>(record);
    }
    void SetPage(uint32_t page, const std::vector<uint8_t>& bytes) {
        Page& p = pages_.try_emplace(page, Blank()).first->second;
        std::copy(bytes.begin(), bytes.end(), p.begin());
    }
    Page Read(uint32_t page) const {
        auto it = pages_.find(page);
        return it == pages_.end() ? Blank() : it->second;
    }
    bool Written(uint32_t page) const { return pages_.count(page) != 0; }
    const std::map<uint32_t, Page>& pages() const { return pages_; }
    std::set<uint32_t> ErasedSet() const { return {erases.begin(), erases.end()}; }

    static Page Blank() {
        Page p;
        p.fill(0xFF);
        return p;
    }

    bool failGeometry = false;
    bool writeProtected = false;
    std::optional<uint32_t> failWritesFrom;
    std::map<uint32_t, int> eraseFailures; // block -> failing attempts left
    std::set<uint32_t> unreadableSpare;    // blocks
    std::vector<uint32_t> erases;
    std::vector<uint32_t> writes;
    int configWrites = 0;
    int corruptWrites = 0;
    uint64_t commands = 0;

  private:
    uint8_t units_, zones_;
    std::map<uint32_t, Page> pages_;
};

} // namespace disk::test

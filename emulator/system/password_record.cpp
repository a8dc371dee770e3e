#include "emulator/system/password_record.h"

#include <algorithm>

namespace emu {

namespace {

constexpr uint8_t kMark = 0x55;
constexpr uint8_t kSetMark = 0x50;
constexpr uint8_t kVersion = 1;
constexpr std::size_t kSaltOffset = 4;
constexpr std::size_t kDigestOffset = 12;
constexpr std::size_t kCheckOffset = 20;
constexpr unsigned kDigestRounds = 4096;

uint64_t loadLe(const PageData& page, std::size_t offset, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned i = 0; i < bytes; ++i)
        v |= static_cast<uint64_t>(page[offset + i]) << (8 * i);
    return v;
}

void storeLe(PageData& page, std::size_t offset, uint64_t v, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i)
        page[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Iterated 64-bit multiply-xor mixing of salt and password; one way only.
uint64_t digest(uint64_t salt, std::string_view password) {
    uint64_t h = 0xCBF29CE484222325ull ^ salt;
    for (unsigned round = 0; round < kDigestRounds; ++round) {
        for (char c : password) {
            h ^= static_cast<uint8_t>(c);
            h *= 0x100000001B3ull;
        }
        h ^= h >> 29;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= round;
    }
    return h;
}

uint32_t checkSum(const PageData& page) {
    uint32_t sum = 0x7946;
    for (std::size_t i = 0; i < kCheckOffset; ++i)
        sum = (sum << 5 | sum >> 27) ^ page[i];
    return sum;
}

bool hasTrailer(const PageData& page) {
    return page[510] == 0x55 && page[511] == 0xAA;
}

} // namespace

PageData blankPasswordRecord() {
    PageData page;
    page.fill(0xFF);
    page[0] = kMark;
    page[510] = 0x55;
    page[511] = 0xAA;
    return page;
}

PageData passwordRecord(std::string_view password, uint64_t salt) {
    PageData page = blankPasswordRecord();
    page[1] = kSetMark;
    page[2] = kVersion;
    page[3] = static_cast<uint8_t>(password.size());
    storeLe(page, kSaltOffset, salt, 8);
    storeLe(page, kDigestOffset, digest(salt, password), 8);
    storeLe(page, kCheckOffset, checkSum(page), 4);
    return page;
}

RecordState recordState(const PageData& page) {
    if (page == blankPasswordRecord()) return RecordState::Blank;
    if (page[0] != kMark || !hasTrailer(page) || page[1] != kSetMark || page[2] != kVersion)
        return RecordState::FormatError;
    if (page[3] < 1 || page[3] > 8) return RecordState::Corrupted;
    if (!std::all_of(page.begin() + 24, page.begin() + 510, [](uint8_t b) { return b == 0xFF; }))
        return RecordState::Corrupted;
    if (loadLe(page, kCheckOffset, 4) != checkSum(page)) return RecordState::Corrupted;
    return RecordState::Valid;
}

bool recordMatches(const PageData& page, std::string_view password) {
    if (recordState(page) != RecordState::Valid) return false;
    if (password.size() != page[3]) return false;
    return loadLe(page, kDigestOffset, 8) == digest(loadLe(page, kSaltOffset, 8), password);
}

PageData corruptedRecord(const PageData& record) {
    PageData page = record;
    page[kDigestOffset] ^= 0x5A;
    return page;
}

} // namespace emu

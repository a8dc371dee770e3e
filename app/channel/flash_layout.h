// The flash as the host sees it through the channel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv {

constexpr std::size_t kPageDataSize = 512;
constexpr std::size_t kSpareSize = 16;
constexpr uint32_t kPagesPerBlock = 32;
constexpr uint32_t kBlockDataSize = kPagesPerBlock * kPageDataSize; // 16 KB
constexpr uint32_t kLogicalBlocksPerZone = 1000;
constexpr uint32_t kPhysicalBlocksPerZone = 1024;

// The system block (block 0) and its pages the host interprets.
constexpr uint32_t kSystemBlock = 0;
constexpr uint32_t kConfigPage = 1;
constexpr uint32_t kPasswordPage = 2;

// Configuration page fields.
constexpr std::size_t kConfigStringsOffset = 32;
constexpr std::size_t kConfigBootLayoutOffset = 493;
constexpr std::size_t kConfigDivisionPointOffset = 494; // big-endian
constexpr std::size_t kConfigUnitTableOffset = 496;     // 8 big-endian entries

// Spare bytes 2-3: big-endian logical block number.
constexpr std::size_t kSpareLogicalBlockOffset = 2;

// Fills a 512-byte page with the blank password record.
inline void FillBlankPasswordPage(uint8_t* page) {
    page[0] = 0x55;
    for (std::size_t i = 1; i < 510; ++i)
        page[i] = 0xFF;
    page[510] = 0x55;
    page[511] = 0xAA;
}

} // namespace kv

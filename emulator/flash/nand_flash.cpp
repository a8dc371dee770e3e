#include "emulator/flash/nand_flash.h"

#include <algorithm>

namespace emu {

bool isErased(const PageBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
}

PageBytes NandFlash::read(uint32_t page) const {
    auto it = pages_.find(page);
    if (it != pages_.end()) return it->second;
    PageBytes erased;
    erased.fill(0xFF);
    return erased;
}

void NandFlash::program(uint32_t page, std::span<const uint8_t> data,
                        std::span<const uint8_t> spare) {
    PageBytes bytes = read(page);
    for (std::size_t i = 0; i < data.size() && i < kPageDataBytes; ++i)
        bytes[i] &= data[i];
    for (std::size_t i = 0; i < spare.size() && i < kPageSpareBytes; ++i)
        bytes[kPageDataBytes + i] &= spare[i];
    store(page, bytes);
}

void NandFlash::store(uint32_t page, const PageBytes& bytes) {
    if (isErased(bytes))
        pages_.erase(page);
    else
        pages_[page] = bytes;
}

void NandFlash::eraseBlock(uint32_t block) {
    uint32_t first = block * kPagesPerBlock;
    pages_.erase(pages_.lower_bound(first), pages_.lower_bound(first + kPagesPerBlock));
}

std::size_t NandFlash::bytesHeld() const {
    // A map node: the key, the page and about four pointers of bookkeeping.
    return pages_.size() * (sizeof(uint32_t) + sizeof(PageBytes) + 4 * sizeof(void*));
}

} // namespace emu

// NAND flash array. Erasing sets a block to 0xFF; programming a page can only
// clear bits. Only pages that hold a programmed bit take memory.
#pragma once

#include "emulator/flash/geometry.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>

namespace emu {

using PageBytes = std::array<uint8_t, kPageBytes>; // 512 data + 16 spare

class NandFlash {
  public:
    explicit NandFlash(Geometry geometry) : geometry_(geometry) {}

    const Geometry& geometry() const { return geometry_; }
    bool validPage(uint32_t page) const { return page < geometry_.totalPages(); }
    bool validBlock(uint32_t block) const { return block < geometry_.totalPhysicalBlocks(); }

    // Reads data and spare bytes of a page (0xFF for an erased page).
    PageBytes read(uint32_t page) const;
    // ANDs the bytes into the page; spare may be empty (left unprogrammed).
    void program(uint32_t page, std::span<const uint8_t> data, std::span<const uint8_t> spare);
    // Replaces a page's bytes outright, for loading images and test set-ups.
    void store(uint32_t page, const PageBytes& bytes);
    void eraseBlock(uint32_t block);

    // Pages that hold at least one programmed bit, in page order.
    const std::map<uint32_t, PageBytes>& writtenPages() const { return pages_; }
    std::size_t bytesHeld() const;

  private:
    Geometry geometry_;
    std::map<uint32_t, PageBytes> pages_;
};

bool isErased(const PageBytes& bytes);

} // namespace emu

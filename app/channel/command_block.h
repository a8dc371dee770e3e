// The fixed buffer of every channel command: the four fields of a vendor
// control request followed by one flash page's worth of data.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace kv {

constexpr std::size_t kCommandDataSize = 528; // 512 page bytes + 16 spare bytes

struct CommandBlock {
    uint8_t bRequest = 0;
    uint8_t reserved = 0; // ignored by the drivers
    uint16_t wValue = 0;  // little-endian on the wire, as on the host
    uint16_t wIndex = 0;
    uint16_t wLength = 0;
    uint8_t data[kCommandDataSize] = {};
};

static_assert(std::endian::native == std::endian::little, "the block is sent as it lies in memory");
static_assert(sizeof(CommandBlock) == 536);
static_assert(offsetof(CommandBlock, bRequest) == 0);
static_assert(offsetof(CommandBlock, reserved) == 1);
static_assert(offsetof(CommandBlock, wValue) == 2);
static_assert(offsetof(CommandBlock, wIndex) == 4);
static_assert(offsetof(CommandBlock, wLength) == 6);
static_assert(offsetof(CommandBlock, data) == 8);

constexpr uint32_t kCommandBlockSize = sizeof(CommandBlock);

} // namespace kv

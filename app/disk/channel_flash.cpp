#include "app/disk/channel_flash.h"

#include <algorithm>

namespace disk {

namespace dc = kv::DeviceChannel;

bool ChannelFlash::GetGeometry(uint8_t& units, uint8_t& zones) {
    if (!dc::GetGeometry(handle_, block_)) return false;
    units = block_.data[0];
    zones = block_.data[1];
    return true;
}

bool ChannelFlash::GetStatus(uint8_t& status) {
    if (!dc::GetStatus(handle_, block_)) return false;
    status = block_.data[0];
    return true;
}

bool ChannelFlash::GetWriteProtect(uint8_t& flags) {
    if (!dc::GetWriteProtect(handle_, block_)) return false;
    flags = block_.data[0];
    return true;
}

bool ChannelFlash::ReadPage(uint32_t page, std::span<uint8_t, 528> reply) {
    if (!dc::ReadPage(handle_, block_, page)) return false;
    std::copy_n(block_.data, reply.size(), reply.begin());
    return true;
}

bool ChannelFlash::ReadSpare(uint32_t page, std::span<uint8_t, 16> reply) {
    if (!dc::ReadSpare(handle_, block_, page)) return false;
    std::copy_n(block_.data, reply.size(), reply.begin());
    return true;
}

bool ChannelFlash::WritePage(uint32_t page, std::span<const uint8_t, 512> data) {
    std::copy(data.begin(), data.end(), block_.data);
    return dc::WritePage(handle_, block_, page);
}

bool ChannelFlash::WriteConfigPage(std::span<const uint8_t, 512> data) {
    std::copy(data.begin(), data.end(), block_.data);
    return dc::WriteConfigPage(handle_, block_);
}

bool ChannelFlash::EraseBlock(uint32_t block) {
    return dc::EraseBlock(handle_, block_, block);
}

} // namespace disk

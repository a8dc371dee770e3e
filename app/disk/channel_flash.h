// FlashAccess over an open device channel handle: one DeviceChannel command
// per call, on a command block of its own.
#pragma once

#include "app/channel/device_channel.h"
#include "app/disk/flash_access.h"

namespace disk {

class ChannelFlash : public FlashAccess {
  public:
    explicit ChannelFlash(win32::HANDLE handle) : handle_(handle) {}

    bool GetGeometry(uint8_t& units, uint8_t& zones) override;
    bool GetStatus(uint8_t& status) override;
    bool GetWriteProtect(uint8_t& flags) override;
    bool ReadPage(uint32_t page, std::span<uint8_t, 528> reply) override;
    bool ReadSpare(uint32_t page, std::span<uint8_t, 16> reply) override;
    bool WritePage(uint32_t page, std::span<const uint8_t, 512> data) override;
    bool WriteConfigPage(std::span<const uint8_t, 512> data) override;
    bool EraseBlock(uint32_t block) override;

  private:
    win32::HANDLE handle_;
    kv::CommandBlock block_{};
};

} // namespace disk

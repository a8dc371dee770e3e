// The device commands the disk layout code needs, one call per command.
// Each returns whether the device carried it out; replies are valid only
// after success.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

namespace disk {

class FlashAccess {
  public:
    virtual ~FlashAccess() = default;
    virtual bool GetGeometry(uint8_t& units, uint8_t& zones) = 0;
    virtual bool GetStatus(uint8_t& status) = 0;
    virtual bool GetWriteProtect(uint8_t& flags) = 0;
    // 512 data bytes followed by the 16 spare bytes.
    virtual bool ReadPage(uint32_t page, std::span<uint8_t, 528> reply) = 0;
    virtual bool ReadSpare(uint32_t page, std::span<uint8_t, 16> reply) = 0;
    virtual bool WritePage(uint32_t page, std::span<const uint8_t, 512> data) = 0;
    virtual bool WriteConfigPage(std::span<const uint8_t, 512> data) = 0;
    virtual bool EraseBlock(uint32_t block) = 0;
};

// What a long device operation tells its caller: the progress position
// (0 to 100) and a call before each device command, in which a dialog lets
// its window process pending messages.
struct OperationHooks {
    std::function<void(int)> progress;
    std::function<void()> beforeCommand;

    void Progress(int position) const {
        if (progress) progress(position > 100 ? 100 : position);
    }
    void BeforeCommand() const {
        if (beforeCommand) beforeCommand();
    }
};

} // namespace disk

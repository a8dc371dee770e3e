// Bulk-Only Transport target: command block wrapper on bulk-out, optional
// data phase, command status wrapper on bulk-in, with the thirteen host and
// device expectation cases of the transport.
#pragma once

#include "emulator/storage/scsi_unit.h"
#include "emulator/usb/faults.h"
#include "platform/usb/usb_device.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace emu {

constexpr uint32_t kCbwSignature = 0x43425355;
constexpr uint32_t kCswSignature = 0x53425355;
constexpr uint8_t kCswPhaseError = 2;

class BulkOnlyTarget {
  public:
    BulkOnlyTarget(ScsiUnit& unit, FaultPlan& faults) : unit_(unit), faults_(faults) {}

    usb::TransferResult bulkOut(std::span<const uint8_t> data);
    usb::TransferResult bulkIn(std::span<uint8_t> buffer);

    void setHalt(uint8_t endpoint);
    // Clears a halt; after an invalid command wrapper both endpoints stay
    // halted until a mass storage reset has been received.
    void clearHalt(uint8_t endpoint);
    bool halted(uint8_t endpoint) const;
    // Bulk-Only Mass Storage Reset (class request): ready for the next CBW.
    void massStorageReset();
    // Bus reset or new configuration: idle, no halts.
    void reset();

  private:
    enum class State { Idle, DataOut, DataIn, Status, NeedsReset };

    usb::TransferResult takeCommand(std::span<const uint8_t> data);
    usb::TransferResult receiveData(std::span<const uint8_t> data);
    usb::TransferResult sendData(std::span<uint8_t> buffer, std::optional<uint32_t> limit);
    usb::TransferResult sendStatus(std::span<uint8_t> buffer, bool badSignature,
                                   std::optional<uint32_t> limit);
    void toStatus(uint8_t status, uint32_t residue);
    usb::TransferResult stall(uint8_t endpoint, uint32_t actual = 0);
    std::optional<uint8_t> opcode() const;

    ScsiUnit& unit_;
    FaultPlan& faults_;
    State state_ = State::Idle;
    bool inHalted_ = false;
    bool outHalted_ = false;
    bool needsReset_ = false;

    std::array<uint8_t, 16> cdb_{};
    uint32_t tag_ = 0;
    uint32_t hostLength_ = 0;
    // Data phase.
    std::vector<uint8_t> data_;
    uint32_t moved_ = 0;
    uint32_t deviceLength_ = 0; // bytes the device moves in the data phase
    bool stallAtEnd_ = false;   // data phase ends with a stall
    bool executeOut_ = false;   // carry out the write once the data are in
    uint8_t pendingStatus_ = 0;
    // Status phase.
    uint8_t cswStatus_ = 0;
    uint32_t residue_ = 0;
};

} // namespace emu

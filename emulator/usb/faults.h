// Faults that tests can inject into the controller.
//
//   controller.faults().failNext(Match::vendor(0xFB), Fault::Stall);        // next CMD_WRITE_PAGE
//   controller.faults().failNext(Match::vendor(0x00), Fault::NoAnswer, 2);  // two verifies
//   controller.faults().failNext(Match::bulk(0x81), Fault::Halted);         // next bulk-in
//   controller.faults().failNext(Match::scsi(0x28, Phase::Data), Fault::ShortData, 1, 100);
//   controller.faults().failNext(Match::scsi(0x00, Phase::Status), Fault::BadCsw);
//   controller.faults().eraseFailure(17);          // block 17 never erases
//   controller.faults().eraseFailure(18, 1);       // block 18 fails once
//   controller.faults().unreadableSpare(32 * 1001);
//
// A matched transfer is not carried out:
//   Stall       the device answers STALL (a bulk endpoint is then halted)
//   NoAnswer    the device never answers
//   DeviceGone  the device drops off the bus; every transfer fails until it is
//               plugged in again
//   Halted      the endpoint reports itself halted (a bulk endpoint stays halted)
// except for these two, which change what is carried out:
//   ShortData   an IN transfer returns only `bytes` bytes (default: half of
//               what it would have moved); on the bulk data phase the rest
//               follows in later transfers. An OUT transfer reports `bytes`
//               moved and the command is dropped.
//   BadCsw      the command runs, its status wrapper carries a bad signature.
//
// An erase failure makes every erase of the block fail (the block keeps its
// contents): CMD_ERASE_BLOCK stalls, and so do page writes of the system block
// and mass-storage writes that must erase it. An unreadable spare makes
// CMD_READ_SPARE and CMD_READ_PAGE of that page stall.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>

namespace usb {
struct SetupPacket;
}

namespace emu {

enum class Fault { Stall, NoAnswer, DeviceGone, ShortData, Halted, BadCsw };

// Parts of a Bulk-Only command: the CBW, the data phase, the CSW.
enum class Phase { Command, Data, Status };

struct Match {
    enum class Kind { Vendor, Standard, AnyControl, Bulk, Scsi };
    Kind kind = Kind::AnyControl;
    uint8_t code = 0; // request code, endpoint address or SCSI opcode
    Phase phase = Phase::Command;

    static Match vendor(uint8_t bRequest) { return {Kind::Vendor, bRequest, Phase::Command}; }
    static Match standard(uint8_t bRequest) { return {Kind::Standard, bRequest, Phase::Command}; }
    static Match anyControl() { return {Kind::AnyControl, 0, Phase::Command}; }
    static Match bulk(uint8_t endpoint) { return {Kind::Bulk, endpoint, Phase::Command}; }
    static Match scsi(uint8_t opcode, Phase phase = Phase::Command) {
        return {Kind::Scsi, opcode, phase};
    }
};

struct InjectedFault {
    Fault fault = Fault::Stall;
    std::optional<uint32_t> bytes; // for ShortData
};

class FaultPlan {
  public:
    static constexpr unsigned kAlways = ~0u;

    void failNext(Match match, Fault fault, unsigned count = 1,
                  std::optional<uint32_t> bytes = std::nullopt);
    void eraseFailure(uint32_t block, unsigned times = kAlways);
    void unreadableSpare(uint32_t page, unsigned times = kAlways);
    void clear();
    // Armed transfer faults not yet used.
    unsigned pending() const;

    // Used by the controller: takes one fault for this transfer, if armed.
    std::optional<InjectedFault> takeControl(const usb::SetupPacket& setup);
    std::optional<InjectedFault> takeBulk(uint8_t endpoint, std::optional<uint8_t> opcode,
                                          Phase phase);
    bool takeEraseFailure(uint32_t block);
    bool takeUnreadableSpare(uint32_t page);

  private:
    struct Armed {
        Match match;
        InjectedFault fault;
        unsigned remaining;
    };
    std::optional<InjectedFault> take(bool (*matches)(const Match&, Fault, const void*),
                                      const void* arg);
    static bool useCount(std::map<uint32_t, unsigned>& counts, uint32_t key);

    std::deque<Armed> armed_;
    std::map<uint32_t, unsigned> eraseFailures_;
    std::map<uint32_t, unsigned> unreadableSpares_;
};

} // namespace emu

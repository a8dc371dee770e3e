// A SCSI direct-access unit (removable medium) on top of a SectorStore.
#pragma once

#include "emulator/storage/sector_store.h"

#include <cstdint>
#include <span>
#include <vector>

namespace emu {

namespace scsi {
constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kModeSense6 = 0x1A;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kPreventAllowMediumRemoval = 0x1E;
constexpr uint8_t kReadCapacity10 = 0x25;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kVerify10 = 0x2F;
constexpr uint8_t kModeSense10 = 0x5A;

constexpr uint8_t kStatusGood = 0;
constexpr uint8_t kStatusFailed = 1;
} // namespace scsi

struct Sense {
    uint8_t key = 0, asc = 0, ascq = 0;
};

class ScsiUnit {
  public:
    static constexpr uint32_t kBlockSize = 512;
    enum class Direction { None, In, Out };

    // What a command intends to move, decided before its data phase; for data
    // in, `data` holds the bytes and `status` the outcome already.
    struct Start {
        Direction direction = Direction::None;
        uint32_t length = 0;
        std::vector<uint8_t> data;
        uint8_t status = scsi::kStatusGood;
    };

    explicit ScsiUnit(SectorStore& store) : store_(store) {}

    void setPacketDevice(bool packet) { packet_ = packet; }
    bool packetDevice() const { return packet_; }
    // Power-up state: medium loaded, removal allowed, no sense.
    void reset();

    Start begin(std::span<const uint8_t> cdb);
    // Carries out a data-out command whose data have all arrived.
    uint8_t finishOut(std::span<const uint8_t> cdb, std::span<const uint8_t> data);
    // Fails the command in hand with this sense (unsupported unit number etc.).
    uint8_t fail(Sense sense);

    const Sense& sense() const { return sense_; }
    bool mediumLoaded() const { return loaded_; }

  private:
    uint8_t good();
    bool mediumReady(); // sets NOT READY sense when no medium is there
    bool blockRange(std::span<const uint8_t> cdb, uint32_t& lba, uint32_t& count);

    Start inquiry(std::span<const uint8_t> cdb);
    Start requestSense(std::span<const uint8_t> cdb);
    Start modeSense(std::span<const uint8_t> cdb, bool tenByte);
    Start readCapacity();
    Start read10(std::span<const uint8_t> cdb);
    Start startStop(std::span<const uint8_t> cdb);

    SectorStore& store_;
    Sense sense_;
    bool packet_ = false;
    bool loaded_ = true;
    bool preventRemoval_ = false;
};

} // namespace emu

#include "emulator/storage/bulk_only_target.h"

#include <algorithm>
#include <cstring>

namespace emu {

namespace {

uint32_t le32(std::span<const uint8_t> b, std::size_t at) {
    return b[at] | static_cast<uint32_t>(b[at + 1]) << 8 | static_cast<uint32_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(b[at + 3]) << 24;
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

constexpr Sense kLunNotSupported{0x05, 0x25, 0x00};

} // namespace

std::optional<uint8_t> BulkOnlyTarget::opcode() const {
    if (state_ == State::Idle || state_ == State::NeedsReset) return std::nullopt;
    return cdb_[0];
}

usb::TransferResult BulkOnlyTarget::stall(uint8_t endpoint, uint32_t actual) {
    setHalt(endpoint);
    return {usb::TransferStatus::Stall, actual};
}

void BulkOnlyTarget::setHalt(uint8_t endpoint) {
    if (endpoint == 0x81) inHalted_ = true;
    if (endpoint == 0x02) outHalted_ = true;
}

void BulkOnlyTarget::clearHalt(uint8_t endpoint) {
    if (needsReset_) return;
    if (endpoint == 0x81) inHalted_ = false;
    if (endpoint == 0x02) outHalted_ = false;
}

bool BulkOnlyTarget::halted(uint8_t endpoint) const {
    return endpoint == 0x81 ? inHalted_ : endpoint == 0x02 ? outHalted_ : false;
}

void BulkOnlyTarget::massStorageReset() {
    needsReset_ = false;
    state_ = State::Idle;
    data_.clear();
}

void BulkOnlyTarget::reset() {
    massStorageReset();
    inHalted_ = outHalted_ = false;
}

void BulkOnlyTarget::toStatus(uint8_t status, uint32_t residue) {
    cswStatus_ = status;
    residue_ = residue;
    state_ = State::Status;
    data_.clear();
}

usb::TransferResult BulkOnlyTarget::bulkOut(std::span<const uint8_t> data) {
    if (outHalted_) return {usb::TransferStatus::Halted, 0};
    std::optional<uint8_t> op = opcode();
    Phase phase = state_ == State::Idle ? Phase::Command : Phase::Data;
    if (state_ == State::Idle && data.size() >= 16) op = data[15];
    if (auto f = faults_.takeBulk(0x02, op, phase)) {
        switch (f->fault) {
        case Fault::Stall:
            if (state_ == State::DataOut) toStatus(scsi::kStatusFailed, hostLength_ - moved_);
            return stall(0x02);
        case Fault::NoAnswer:
            return {usb::TransferStatus::NoAnswer, 0};
        case Fault::DeviceGone:
            return {usb::TransferStatus::DeviceGone, 0};
        case Fault::Halted:
            setHalt(0x02);
            return {usb::TransferStatus::Halted, 0};
        case Fault::ShortData:
            return {usb::TransferStatus::Ok,
                    std::min<uint32_t>(f->bytes.value_or(static_cast<uint32_t>(data.size() / 2)),
                                       static_cast<uint32_t>(data.size()))};
        case Fault::BadCsw:
            break;
        }
    }
    switch (state_) {
    case State::Idle:
        return takeCommand(data);
    case State::DataOut:
        return receiveData(data);
    default:
        // Not ready for another command before its status has been read.
        return {usb::TransferStatus::NoAnswer, 0};
    }
}

usb::TransferResult BulkOnlyTarget::takeCommand(std::span<const uint8_t> data) {
    if (data.size() != 31 || le32(data, 0) != kCbwSignature || data[14] < 1 || data[14] > 16) {
        needsReset_ = true;
        state_ = State::NeedsReset;
        setHalt(0x81);
        return stall(0x02);
    }
    tag_ = le32(data, 4);
    hostLength_ = le32(data, 8);
    bool hostIn = (data[12] & 0x80) != 0;
    std::memcpy(cdb_.data(), data.data() + 15, cdb_.size());
    std::fill(cdb_.begin() + data[14], cdb_.end(), 0);

    ScsiUnit::Start start;
    if (data[13] != 0)
        start.status = unit_.fail(kLunNotSupported);
    else
        start = unit_.begin(cdb_);
    // A command that ended before moving data has no data phase.
    if ((start.direction == ScsiUnit::Direction::In && start.data.empty()) ||
        (start.direction == ScsiUnit::Direction::Out && start.length == 0))
        start.direction = ScsiUnit::Direction::None;

    data_.clear();
    moved_ = 0;
    stallAtEnd_ = false;
    executeOut_ = false;
    const uint32_t full = static_cast<uint32_t>(data.size());

    if (hostLength_ == 0) {
        // Host expects no data: the device intending to move some is a phase error.
        toStatus(start.direction == ScsiUnit::Direction::None ? start.status : kCswPhaseError, 0);
        return {usb::TransferStatus::Ok, full};
    }
    if (hostIn) {
        state_ = State::DataIn;
        if (start.direction == ScsiUnit::Direction::In) {
            data_ = std::move(start.data);
            uint32_t di = static_cast<uint32_t>(data_.size());
            if (di > hostLength_) { // more than asked for: send what was asked, phase error
                data_.resize(hostLength_);
                pendingStatus_ = kCswPhaseError;
                residue_ = 0;
            } else {
                pendingStatus_ = start.status;
                residue_ = hostLength_ - di;
                stallAtEnd_ = di < hostLength_;
            }
            deviceLength_ = static_cast<uint32_t>(data_.size());
        } else {
            // No data to send (or the device wants to receive): stall the data phase.
            deviceLength_ = 0;
            stallAtEnd_ = true;
            pendingStatus_ =
                start.direction == ScsiUnit::Direction::Out ? kCswPhaseError : start.status;
            residue_ = hostLength_;
        }
        return {usb::TransferStatus::Ok, full};
    }
    state_ = State::DataOut;
    if (start.direction == ScsiUnit::Direction::Out) {
        if (hostLength_ < start.length) { // less than the device needs: phase error, no write
            deviceLength_ = hostLength_;
            pendingStatus_ = kCswPhaseError;
            residue_ = 0;
        } else {
            deviceLength_ = start.length;
            executeOut_ = true;
            residue_ = hostLength_ - start.length;
            stallAtEnd_ = start.length < hostLength_;
        }
    } else {
        deviceLength_ = 0;
        stallAtEnd_ = true;
        pendingStatus_ = start.direction == ScsiUnit::Direction::In ? kCswPhaseError : start.status;
        residue_ = hostLength_;
    }
    return {usb::TransferStatus::Ok, full};
}

usb::TransferResult BulkOnlyTarget::receiveData(std::span<const uint8_t> data) {
    uint32_t room = deviceLength_ - moved_;
    if (room == 0) { // the device wants nothing (more): stall the rest
        toStatus(pendingStatus_, residue_);
        return stall(0x02);
    }
    uint32_t take = std::min<uint32_t>(room, static_cast<uint32_t>(data.size()));
    if (executeOut_) data_.insert(data_.end(), data.begin(), data.begin() + take);
    moved_ += take;
    if (moved_ < deviceLength_) return {usb::TransferStatus::Ok, take};

    uint8_t status = pendingStatus_;
    uint32_t residue = residue_;
    if (executeOut_) {
        status = unit_.finishOut(cdb_, data_);
        if (status != scsi::kStatusGood) residue = hostLength_;
    }
    bool more = stallAtEnd_;
    toStatus(status, residue);
    if (more) {
        setHalt(0x02);
        if (take < data.size()) return {usb::TransferStatus::Stall, take};
    }
    return {usb::TransferStatus::Ok, take};
}

usb::TransferResult BulkOnlyTarget::bulkIn(std::span<uint8_t> buffer) {
    if (inHalted_) return {usb::TransferStatus::Halted, 0};
    Phase phase = state_ == State::Status   ? Phase::Status
                  : state_ == State::DataIn ? Phase::Data
                                            : Phase::Command;
    bool badCsw = false;
    std::optional<uint32_t> limit;
    if (auto f = faults_.takeBulk(0x81, opcode(), phase)) {
        switch (f->fault) {
        case Fault::Stall:
            if (state_ == State::DataIn) toStatus(scsi::kStatusFailed, hostLength_ - moved_);
            return stall(0x81);
        case Fault::NoAnswer:
            return {usb::TransferStatus::NoAnswer, 0};
        case Fault::DeviceGone:
            return {usb::TransferStatus::DeviceGone, 0};
        case Fault::Halted:
            setHalt(0x81);
            return {usb::TransferStatus::Halted, 0};
        case Fault::ShortData:
            limit = f->bytes.value_or(static_cast<uint32_t>(buffer.size() / 2));
            break;
        case Fault::BadCsw:
            badCsw = true;
            break;
        }
    }
    switch (state_) {
    case State::DataIn:
        return sendData(buffer, limit);
    case State::Status:
        return sendStatus(buffer, badCsw, limit);
    default:
        return {usb::TransferStatus::NoAnswer, 0}; // nothing to send
    }
}

usb::TransferResult BulkOnlyTarget::sendData(std::span<uint8_t> buffer,
                                             std::optional<uint32_t> limit) {
    uint32_t left = deviceLength_ - moved_;
    if (left == 0) {
        toStatus(pendingStatus_, residue_);
        return stall(0x81);
    }
    uint32_t n = std::min<uint32_t>(left, static_cast<uint32_t>(buffer.size()));
    if (limit) n = std::min(n, *limit);
    std::memcpy(buffer.data(), data_.data() + moved_, n);
    moved_ += n;
    if (moved_ == deviceLength_ && !stallAtEnd_) toStatus(pendingStatus_, residue_);
    return {usb::TransferStatus::Ok, n};
}

usb::TransferResult BulkOnlyTarget::sendStatus(std::span<uint8_t> buffer, bool badSignature,
                                               std::optional<uint32_t> limit) {
    if (buffer.size() < 13) return stall(0x81); // the wrapper does not fit: babble
    uint8_t csw[13];
    putLe32(csw, badSignature ? 0x5842DEAD : kCswSignature);
    putLe32(csw + 4, tag_);
    putLe32(csw + 8, residue_);
    csw[12] = cswStatus_;
    uint32_t n = limit ? std::min<uint32_t>(*limit, 13) : 13;
    std::memcpy(buffer.data(), csw, n);
    state_ = State::Idle;
    return {usb::TransferStatus::Ok, n};
}

} // namespace emu

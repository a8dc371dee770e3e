#include "emulator/usb/faults.h"

#include "platform/usb/usb_device.h"

namespace emu {

namespace {

struct BulkKey {
    uint8_t endpoint;
    std::optional<uint8_t> opcode;
    Phase phase;
};

bool matchesControl(const Match& m, Fault fault, const void* arg) {
    if (fault == Fault::BadCsw) return false;
    const auto& setup = *static_cast<const usb::SetupPacket*>(arg);
    uint8_t type = setup.bmRequestType & 0x60;
    switch (m.kind) {
    case Match::Kind::AnyControl:
        return true;
    case Match::Kind::Vendor:
        return type == usb::kTypeVendor && setup.bRequest == m.code;
    case Match::Kind::Standard:
        return type == usb::kTypeStandard && setup.bRequest == m.code;
    default:
        return false;
    }
}

bool matchesBulk(const Match& m, Fault fault, const void* arg) {
    const auto& key = *static_cast<const BulkKey*>(arg);
    // A bad status wrapper can only be the status wrapper.
    if (fault == Fault::BadCsw && key.phase != Phase::Status) return false;
    if (m.kind == Match::Kind::Bulk) return m.code == key.endpoint;
    if (m.kind == Match::Kind::Scsi) return key.opcode == m.code && m.phase == key.phase;
    return false;
}

} // namespace

void FaultPlan::failNext(Match match, Fault fault, unsigned count, std::optional<uint32_t> bytes) {
    if (count == 0) return;
    armed_.push_back({match, {fault, bytes}, count});
}

void FaultPlan::eraseFailure(uint32_t block, unsigned times) {
    if (times) eraseFailures_[block] = times;
}

void FaultPlan::unreadableSpare(uint32_t page, unsigned times) {
    if (times) unreadableSpares_[page] = times;
}

void FaultPlan::clear() {
    armed_.clear();
    eraseFailures_.clear();
    unreadableSpares_.clear();
}

unsigned FaultPlan::pending() const {
    unsigned n = 0;
    for (const auto& a : armed_)
        n += a.remaining == kAlways ? 1 : a.remaining;
    return n;
}

std::optional<InjectedFault> FaultPlan::take(bool (*matches)(const Match&, Fault, const void*),
                                             const void* arg) {
    for (auto it = armed_.begin(); it != armed_.end(); ++it) {
        if (!matches(it->match, it->fault.fault, arg)) continue;
        InjectedFault f = it->fault;
        if (it->remaining != kAlways && --it->remaining == 0) armed_.erase(it);
        return f;
    }
    return std::nullopt;
}

std::optional<InjectedFault> FaultPlan::takeControl(const usb::SetupPacket& setup) {
    return take(matchesControl, &setup);
}

std::optional<InjectedFault> FaultPlan::takeBulk(uint8_t endpoint, std::optional<uint8_t> opcode,
                                                 Phase phase) {
    BulkKey key{endpoint, opcode, phase};
    return take(matchesBulk, &key);
}

bool FaultPlan::useCount(std::map<uint32_t, unsigned>& counts, uint32_t key) {
    auto it = counts.find(key);
    if (it == counts.end()) return false;
    if (it->second != kAlways && --it->second == 0) counts.erase(it);
    return true;
}

bool FaultPlan::takeEraseFailure(uint32_t block) {
    return useCount(eraseFailures_, block);
}
bool FaultPlan::takeUnreadableSpare(uint32_t page) {
    return useCount(unreadableSpares_, page);
}

} // namespace emu

#include "tools/kv7946-sim/scenario/device_bay.h"

#include "emulator/controller.h"
#include "emulator/image/disk_export.h"
#include "emulator/image/image_file.h"
#include "platform/win32/machine.h"
#include "tools/simpc/pc.h"

#include <optional>

namespace scenario {

namespace {

std::optional<emu::Fault> faultKind(const std::string& kind) {
    if (kind == "stall") return emu::Fault::Stall;
    if (kind == "no-answer") return emu::Fault::NoAnswer;
    if (kind == "gone") return emu::Fault::DeviceGone;
    return std::nullopt;
}

// Files of a run may go into folders that do not exist yet.
void makeParent(const std::filesystem::path& path) {
    std::error_code ec;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
}

// The pseudo request of the scenario language for the name query.
constexpr int kNameRequest = 0x107;
constexpr uint8_t kGetDescriptor = 0x06;

} // namespace

struct DeviceBay::Impl {
    struct Slot {
        std::unique_ptr<emu::Controller> controller;
        std::optional<std::string> image; // saved there at the end
        std::optional<int> port;          // while plugged in
    };

    Impl(vt::Clock& c, win32::MachineKind kind, std::filesystem::path root)
        : clock(c), pc(c, kind, std::move(root)) {
        pc.installFilterDriver();
    }

    // Keeps the flash in the image file, when the device has one.
    static bool save(const Slot& slot, std::string& error) {
        if (!slot.image) return true;
        makeParent(*slot.image);
        return emu::saveImage(*slot.controller, *slot.image, &error);
    }

    Slot* slot(int n, std::string& error) {
        auto it = slots.find(n);
        if (it != slots.end()) return &it->second;
        error = "there is no device " + std::to_string(n);
        return nullptr;
    }

    vt::Clock& clock;
    sim::Pc pc;
    std::map<int, Slot> slots;
};

DeviceBay::DeviceBay(vt::Clock& clock, win32::MachineKind kind, std::filesystem::path root)
    : impl_(std::make_unique<Impl>(clock, kind, std::move(root))) {}

DeviceBay::~DeviceBay() {
    // The programs end before their devices go.
    for (const auto& process : impl_->pc.machine().processes()) {
        if (!process->running()) continue;
        process->terminate(0);
        process->wait();
    }
    for (auto& [n, slot] : impl_->slots) {
        if (slot.port) impl_->pc.unplug(*slot.port);
        slot.controller->stopTrace();
        std::string error;
        Impl::save(slot, error);
    }
}

win32::Machine& DeviceBay::machine() {
    return impl_->pc.machine();
}

bool DeviceBay::add(int n, const DeviceSpec& spec, std::string& error) {
    if (impl_->slots.count(n)) {
        error = "device " + std::to_string(n) + " exists already";
        return false;
    }
    Impl::Slot slot;
    std::error_code ec;
    if (spec.image && std::filesystem::exists(*spec.image, ec)) {
        slot.controller = emu::loadImage(*spec.image, &error);
        if (!slot.controller) return false;
    } else {
        auto bad = emu::Geometry::check(spec.units, spec.zones);
        if (bad) {
            error = *bad;
            return false;
        }
        emu::Geometry geometry;
        geometry.units = spec.units;
        geometry.zones = spec.zones;
        slot.controller = std::make_unique<emu::Controller>(geometry, spec.name);
        if (spec.password) slot.controller->setPassword(*spec.password);
        slot.controller->setWriteProtect(spec.writeProtect);
    }
    slot.image = spec.image;
    if (!Impl::save(slot, error)) return false;
    impl_->slots[n] = std::move(slot);
    return plug(n, error);
}

bool DeviceBay::plug(int n, std::string& error) {
    Impl::Slot* slot = impl_->slot(n, error);
    if (!slot) return false;
    if (slot->port) {
        error = "device " + std::to_string(n) + " is plugged in already";
        return false;
    }
    int port = impl_->pc.plug(*slot->controller);
    if (port == 0) {
        error = "device " + std::to_string(n) + " does not answer on the bus";
        return false;
    }
    slot->port = port;
    return true;
}

bool DeviceBay::unplug(int n, std::string& error) {
    Impl::Slot* slot = impl_->slot(n, error);
    if (!slot) return false;
    if (!slot->port) {
        error = "device " + std::to_string(n) + " is not plugged in";
        return false;
    }
    impl_->pc.unplug(*slot->port);
    slot->port.reset();
    return Impl::save(*slot, error);
}

bool DeviceBay::fault(int n, const FaultSpec& fault, std::string& error) {
    Impl::Slot* slot = impl_->slot(n, error);
    if (!slot) return false;
    auto kind = faultKind(fault.kind);
    if (!kind) {
        error = "unknown fault '" + fault.kind + "'";
        return false;
    }
    emu::Match match = fault.request == kNameRequest
                           ? emu::Match::standard(kGetDescriptor)
                           : emu::Match::vendor(static_cast<uint8_t>(fault.request));
    unsigned count = fault.times ? static_cast<unsigned>(*fault.times) : emu::FaultPlan::kAlways;
    slot->controller->faults().failNext(match, *kind, count);
    return true;
}

bool DeviceBay::trace(int n, const std::filesystem::path& path, std::string& error) {
    Impl::Slot* slot = impl_->slot(n, error);
    if (!slot) return false;
    vt::Clock& clock = impl_->clock;
    auto micros = [&clock] {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(clock.now()).count());
    };
    makeParent(path);
    return slot->controller->startTrace(path.string(), &error, micros);
}

bool DeviceBay::exportDisk(int n, const std::string& disk, const std::filesystem::path& path,
                           std::string& error) {
    Impl::Slot* slot = impl_->slot(n, error);
    if (!slot) return false;
    emu::Disk which = disk == "standard"   ? emu::Disk::Standard
                      : disk == "security" ? emu::Disk::Security
                                           : emu::Disk::Whole;
    makeParent(path);
    return emu::exportDisk(*slot->controller, which, path.string(), &error);
}

} // namespace scenario

#include "tools/simpc/pc.h"

#include "drivers/filter/install.h"
#include "platform/wdm/io_manager.h"
#include "platform/wdm/pnp_manager.h"
#include "platform/win32/file_store.h"
#include "platform/win32/registry_store.h"

namespace sim {

namespace {

struct WdmVersion {
    wdm::UCHAR major, minor;
};

WdmVersion wdmVersion(win32::MachineKind kind) {
    switch (kind) {
    case win32::MachineKind::Win98SE:
        return {1, 0x00};
    case win32::MachineKind::WinME:
        return {1, 0x05};
    case win32::MachineKind::Win2000:
        return {1, 0x10};
    case win32::MachineKind::WinXP:
        return {1, 0x20};
    }
    return {1, 0x20};
}

} // namespace

Pc::Pc(vt::Clock& clock, win32::MachineKind kind, std::filesystem::path root) {
    WdmVersion v = wdmVersion(kind);
    kernel_ = std::make_unique<wdm::Kernel>(clock, v.major, v.minor);
    machine_ = std::make_unique<win32::Machine>(clock, kind, std::move(root));
    machine_->setKernelDevices(&kernel_->io());
    bus_ = std::make_unique<usb::BusDriver>(*kernel_);
}

Pc::~Pc() {
    // Devices go first, so that programs blocked on them get their answers.
    bus_.reset();
    machine_.reset();
    kernel_.reset();
}

bool Pc::installFilterDriver() {
    if (machine_->isWin9x()) return false;
    std::string file = machine_->systemDirectory() + "\\drivers\\KV7946.sys";
    machine_->files().makeDirectories(machine_->systemDirectory() + "\\drivers");
    machine_->files().writeFile(file, "KV7946 filter driver");
    const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KV7946";
    auto& reg = machine_->registry();
    reg.createKey(key);
    reg.setDword(key, "Type", 1);
    reg.setDword(key, "Start", 3);
    reg.setDword(key, "ErrorControl", 1);
    reg.setString(key, "ImagePath", "System32\\DRIVERS\\KV7946.sys");
    kv7946::InstallFilterDriver(kernel_->pnp());
    return true;
}

int Pc::plug(usb::Device& device) {
    return bus_->plug(device);
}

void Pc::unplug(int port) {
    bus_->unplug(port);
}

std::vector<int> Pc::ports() const {
    return bus_->ports();
}

std::vector<std::string> Pc::verifierReport() const {
    std::vector<std::string> r = kernel_->report();
    for (auto& leak : machine_->handleLeaks())
        r.push_back(leak);
    return r;
}

} // namespace sim

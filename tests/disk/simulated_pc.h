// An emulated controller plugged into a simulated Windows XP PC with the
// filter driver; runs disk code in a process of that PC, on the device's
// channel.
#pragma once

#include "app/channel/device_channel.h"
#include "app/disk/channel_flash.h"
#include "emulator/controller.h"
#include "platform/clock/clock.h"
#include "tools/simpc/pc.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>

namespace disk::test {

class SimulatedDevice {
  public:
    SimulatedDevice(uint32_t units, uint32_t zones)
        : root_(std::filesystem::temp_directory_path() /
                ("kv-disk-pc-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++))),
          controller({.units = units, .zones = zones}) {
        std::filesystem::create_directories(root_);
        self_ = std::make_unique<vt::Clock::Attachment>(clock_.attach("test"));
        pc_ = std::make_unique<sim::Pc>(clock_, win32::MachineKind::WinXP, root_);
        pc_->installFilterDriver();
        port_ = pc_->plug(controller);
    }
    ~SimulatedDevice() {
        if (port_ != 0) pc_->unplug(port_);
        pc_.reset();
        self_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    bool plugged() const { return port_ != 0; }

    // Runs fn in a process of the PC with the device's channel; its result.
    bool Run(const std::function<bool(FlashAccess&)>& fn) {
        const auto rc = pc_->machine().run("KV7946AP.exe", [&]() -> int {
            auto handle = kv::DeviceChannel::OpenDevice(0);
            if (handle == win32::INVALID_HANDLE_VALUE) return 2;
            ChannelFlash flash(handle);
            const bool ok = fn(flash);
            kv::DeviceChannel::CloseDevice(handle);
            return ok ? 0 : 1;
        });
        return rc == 0;
    }

    // Blocks that got CMD_ERASE_BLOCK, and how often each.
    std::multiset<uint32_t> Erased() const {
        std::multiset<uint32_t> blocks;
        for (const auto& c : controller.commandLog())
            if (c.bRequest == 0xB9) blocks.insert(c.wValue | (uint32_t{c.wIndex} << 16));
        return blocks;
    }

    std::vector<std::string> Unplug() {
        if (port_ != 0) pc_->unplug(port_);
        port_ = 0;
        return pc_->verifierReport();
    }

  private:
    static inline int counter_ = 0;
    std::filesystem::path root_;
    vt::Clock clock_;
    std::unique_ptr<vt::Clock::Attachment> self_;
    std::unique_ptr<sim::Pc> pc_;
    int port_ = 0;

  public:
    emu::Controller controller;
};

} // namespace disk::test

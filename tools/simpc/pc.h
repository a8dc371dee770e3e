// A simulated PC with its kernel: one win32::Machine (the user-mode side),
// the simulated kernel (I/O manager, PnP and power managers, verifier) and a
// USB bus that emulated devices plug into.
//
//   vt::Clock clock;
//   auto self = clock.attach("test");
//   sim::Pc pc(clock, win32::MachineKind::WinXP, tmpDir);
//   pc.installFilterDriver();        // KV7946.SYS serves 1D9F:7947
//   emu::Controller disk(geometry);
//   int port = pc.plug(disk);         // "\\.\KV7946-0" now opens
//   ... run programs on pc.machine() ...
//   pc.unplug(port);
//   EXPECT_THAT(pc.verifierReport(), IsEmpty());
//
// plug and unplug wait (on the clock) for the PnP work they cause; call them
// from a simulated thread or an attached one. Devices must outlive their
// plugging; the destructor unplugs whatever is still plugged.
#pragma once

#include "platform/clock/clock.h"
#include "platform/usb/bus_driver.h"
#include "platform/usb/usb_device.h"
#include "platform/wdm/kernel.h"
#include "platform/win32/machine.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class Pc {
  public:
    Pc(vt::Clock& clock, win32::MachineKind kind, std::filesystem::path root);
    ~Pc();
    Pc(const Pc&) = delete;
    Pc& operator=(const Pc&) = delete;

    win32::Machine& machine() { return *machine_; }
    wdm::Kernel& kernel() { return *kernel_; }
    usb::BusDriver& bus() { return *bus_; }

    // Installs KV7946.SYS: the driver file in the system's drivers folder,
    // its service key "KV7946", and the binding to vendor 1D9F product 7947
    // for devices plugged from now on. False (nothing done) on 98 and ME.
    bool installFilterDriver();

    // Plugs a device into a free port and returns the port number (0 when the
    // device did not answer its device descriptor).
    int plug(usb::Device& device);
    // Pulls the device out of the port: surprise removal, then remove.
    void unplug(int port);
    std::vector<int> ports() const;

    // Every verifier finding so far: kernel checks that fired, pool blocks,
    // IRPs and system threads still alive, and handles that ended processes
    // left open. Take it once the devices are unplugged and programs ended.
    std::vector<std::string> verifierReport() const;

  private:
    std::unique_ptr<wdm::Kernel> kernel_;
    std::unique_ptr<win32::Machine> machine_;
    std::unique_ptr<usb::BusDriver> bus_;
};

} // namespace sim

// The simulated USB bus: one physical device object per plugged device,
// serving IOCTL_INTERNAL_USB_SUBMIT_URB against the usb::Device behind it.
// Control and bulk transfers complete asynchronously from the bus's
// completion context (at DISPATCH_LEVEL), in order per endpoint; a transfer
// the device never answers blocks its endpoint until it is cancelled.
// Select configuration, pipe reset and abort complete at once.
#pragma once

#include "platform/usb/usb_device.h"
#include "platform/wdm/kernel.h"
#include "platform/wdm/pnp_manager.h"

#include <memory>
#include <vector>

namespace usb {

class BusDriver {
  public:
    explicit BusDriver(wdm::Kernel& kernel);
    ~BusDriver(); // unplugs every device still plugged
    BusDriver(const BusDriver&) = delete;
    BusDriver& operator=(const BusDriver&) = delete;

    // Powers the device up, reads its device descriptor, creates its
    // physical device object and hands it to the PnP manager (which loads
    // the installed drivers and starts the stack). Returns the port number
    // (1 and up), or 0 when the device did not answer its descriptor.
    int plug(Device& device);
    // Completes the port's transfers with "device not responding", powers
    // the device down, and lets the PnP manager remove the stack.
    void unplug(int port);
    std::vector<int> ports() const;

    wdm::DeviceNode* node(int port) const;
    wdm::PDEVICE_OBJECT pdo(int port) const;
    // Transfers waiting or in progress on the port.
    size_t pendingTransfers(int port) const;

    struct Impl;

  private:
    std::unique_ptr<Impl> impl_;
};

} // namespace usb

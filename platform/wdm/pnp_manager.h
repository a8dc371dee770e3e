// The Plug and Play manager: the machine's installation table (which
// drivers serve which USB vendor/product), device nodes built on the bus's
// physical device objects, and the PnP and power requests sent to them.
// Every request runs on a system thread of its own ("PnP manager"); the
// calls below wait for it.
#pragma once

#include "platform/wdm/kernel.h"

#include <functional>
#include <string>
#include <vector>

namespace wdm {

struct DriverInstallation {
    std::string service; // e.g. "KV7946"
    PDRIVER_INITIALIZE entry;
};

struct DeviceNode {
    int id = 0;
    PDEVICE_OBJECT pdo = nullptr;
    USHORT vendor = 0;
    USHORT product = 0;
    bool stack = false;                // drivers added on top of the PDO
    bool started = false;              // the last start succeeded
    bool gone = false;                 // removed for good
    NTSTATUS problem = STATUS_SUCCESS; // why the stack could not be built or started
};

class PnpManager {
  public:
    explicit PnpManager(Kernel& kernel) : kernel_(kernel) {}
    ~PnpManager();

    // Installation: the drivers that load, in order from the bottom, for a
    // device with this vendor and product id.
    void install(USHORT vendor, USHORT product, DriverInstallation driver);
    bool installed(USHORT vendor, USHORT product) const;

    // Called by a bus driver (on a kernel thread) for a new physical device
    // object: loads the drivers (DriverEntry once per driver), calls each
    // AddDevice and sends IRP_MN_START_DEVICE.
    DeviceNode* deviceArrived(PDEVICE_OBJECT pdo, USHORT vendor, USHORT product);
    // Called by a bus driver when the device is gone: surprise removal,
    // then remove.
    void deviceGone(DeviceNode* node);
    // Builds the driver stack again on a node whose stack was removed.
    NTSTATUS restart(DeviceNode* node);

    // Runs fn on a new PnP system thread and waits for it.
    void run(const std::function<void()>& fn);

    // Requests for tests; each returns the request's final status.
    NTSTATUS sendPnp(DeviceNode* node, UCHAR minor, DEVICE_CAPABILITIES* caps = nullptr);
    NTSTATUS sendPower(DeviceNode* node, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state);
    NTSTATUS setSystemPower(DeviceNode* node, SYSTEM_POWER_STATE state);
    NTSTATUS setDevicePower(DeviceNode* node, DEVICE_POWER_STATE state);
    NTSTATUS sendWmi(DeviceNode* node, UCHAR minor = IRP_MN_QUERY_ALL_DATA);

    PDEVICE_OBJECT top(DeviceNode* node) const;
    std::vector<DeviceNode*> nodes() const;

  private:
    NTSTATUS sendPnpHere(DeviceNode* node, UCHAR minor, DEVICE_CAPABILITIES* caps);
    NTSTATUS buildStack(DeviceNode* node);

    Kernel& kernel_;
    struct Entry {
        USHORT vendor, product;
        DriverInstallation driver;
    };
    std::vector<Entry> table_;
    std::vector<std::unique_ptr<DeviceNode>> nodes_;
    int nextId_ = 1;
};

} // namespace wdm

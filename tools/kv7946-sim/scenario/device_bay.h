// The simulated PC of a scenario with its emulated controllers, each on a
// USB port of its own, numbered as the scenario numbers them.
#pragma once

#include "platform/clock/clock.h"
#include "platform/win32/machine.h"
#include "tools/kv7946-sim/scenario/script.h"

#include <filesystem>
#include <map>
#include <memory>

namespace scenario {

class DeviceBay {
  public:
    // root: the machine's host folder.
    DeviceBay(vt::Clock& clock, win32::MachineKind kind, std::filesystem::path root);
    // Ends the programs, unplugs every device and saves those with an image file.
    ~DeviceBay();

    win32::Machine& machine();

    // Creates controller n (or loads it from spec.image when that file
    // exists) and plugs it in. A device with an image file is saved there
    // when made, when unplugged and at the end.
    bool add(int n, const DeviceSpec& spec, std::string& error);
    bool plug(int n, std::string& error);
    bool unplug(int n, std::string& error);
    bool fault(int n, const FaultSpec& fault, std::string& error);
    bool trace(int n, const std::filesystem::path& path, std::string& error);
    // disk: standard, security or whole.
    bool exportDisk(int n, const std::string& disk, const std::filesystem::path& path,
                    std::string& error);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace scenario

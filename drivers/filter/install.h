// The installation step of KV7946.SYS: binds the driver to the controller's
// USB device node in the machine's installation table.
#pragma once

#include "platform/wdm/pnp_manager.h"

namespace kv7946 {

constexpr wdm::USHORT kVendorId = 0x1D9F;
constexpr wdm::USHORT kProductId = 0x7947;
constexpr const char* kServiceName = "KV7946";

void InstallFilterDriver(wdm::PnpManager& pnp);

} // namespace kv7946

#include "drivers/filter/install.h"

#include "drivers/filter/filter.h"

namespace kv7946 {

void InstallFilterDriver(wdm::PnpManager& pnp) {
    pnp.install(kVendorId, kProductId, {kServiceName, DriverEntry});
}

} // namespace kv7946

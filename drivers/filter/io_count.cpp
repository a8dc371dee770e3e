#include "drivers/filter/filter.h"

namespace kv7946 {

void IoIncrement(PDEVICE_OBJECT DeviceObject) {
    InterlockedIncrement(&Extension(DeviceObject)->OutstandingIo);
}

LONG IoDecrement(PDEVICE_OBJECT DeviceObject) {
    PFILTER_EXTENSION ext = Extension(DeviceObject);
    LONG result = InterlockedDecrement(&ext->OutstandingIo);
    if (result == 0) KeSetEvent(&ext->RemoveEvent, 1, FALSE);
    return result;
}

} // namespace kv7946

// The power manager's calls for drivers.
#pragma once

#include "platform/wdm/irp.h"

namespace wdm {

using PREQUEST_POWER_COMPLETE = void (*)(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction,
                                         POWER_STATE PowerState, PVOID Context,
                                         PIO_STATUS_BLOCK IoStatus);

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP* Irp);
void PoStartNextPowerIrp(PIRP Irp);
NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp);
POWER_STATE PoSetPowerState(PDEVICE_OBJECT DeviceObject, POWER_STATE_TYPE Type, POWER_STATE State);

} // namespace wdm

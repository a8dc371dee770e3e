// KV7946.SYS: the filter driver that gives user mode the device channel
// "\\.\KV7946-<c>" of each controller.
#pragma once

#include "platform/usb/urb.h"
#include "platform/wdm/wdm.h"

namespace kv7946 {

using namespace wdm;

constexpr ULONG kPoolTag = PoolTag("Wdm ");
constexpr ULONG kLinkNameChars = 21; // "\DosDevices\KV7946-0" with terminator

struct FILTER_EXTENSION {
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT LowerDeviceObject;
    LONG OutstandingIo;
    KEVENT RemoveEvent;
    LONG DevicePowerState;
    PIRP PendingSystemPowerIrp;
    BOOLEAN Accepting;
    WCHAR LinkName[kLinkNameChars];
};
using PFILTER_EXTENSION = FILTER_EXTENSION*;

inline PFILTER_EXTENSION Extension(PDEVICE_OBJECT DeviceObject) {
    return static_cast<PFILTER_EXTENSION>(DeviceObject->DeviceExtension);
}

NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
NTSTATUS FilterAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);

void IoIncrement(PDEVICE_OBJECT DeviceObject);
LONG IoDecrement(PDEVICE_OBJECT DeviceObject);

NTSTATUS DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS DispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS DispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp);

NTSTATUS OnRequestComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
void OnDevicePowerRequestComplete(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction,
                                  POWER_STATE PowerState, PVOID Context, PIO_STATUS_BLOCK IoStatus);
NTSTATUS OnDeviceD0Complete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

NTSTATUS SubmitUrbSync(PDEVICE_OBJECT LowerDeviceObject, usb::PURB Urb);
NTSTATUS UnconfigureDevice(PDEVICE_OBJECT DeviceObject);

NTSTATUS SendVendorRequest(PDEVICE_OBJECT DeviceObject, ULONG TransferFlags, UCHAR Request,
                           USHORT Value, USHORT Index, ULONG Length, PVOID Buffer);
NTSTATUS GetDescriptor(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length,
                       UCHAR DescriptorType, UCHAR Index, PULONG ByteCount);
NTSTATUS SendVendorRequestAsync(PDEVICE_OBJECT DeviceObject, const UCHAR* Block);
NTSTATUS OnAsyncRequestComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

} // namespace kv7946

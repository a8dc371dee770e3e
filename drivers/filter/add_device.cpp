#include "drivers/filter/filter.h"

namespace kv7946 {

namespace {
constexpr ULONG kNameCount = 32;
} // namespace

NTSTATUS FilterAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject) {
    WCHAR deviceName[] = u"\\Device\\KV7946-0";
    WCHAR linkName[] = u"\\DosDevices\\KV7946-0";
    static_assert(sizeof(linkName) / sizeof(WCHAR) == kLinkNameChars);
    constexpr size_t deviceLast = sizeof(deviceName) / sizeof(WCHAR) - 2;
    constexpr size_t linkLast = sizeof(linkName) / sizeof(WCHAR) - 2;

    PDEVICE_OBJECT deviceObject = nullptr;
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    for (ULONG i = 0; i < kNameCount; ++i) {
        deviceName[deviceLast] = static_cast<WCHAR>(u'0' + i);
        linkName[linkLast] = static_cast<WCHAR>(u'0' + i);
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, deviceName);
        status = IoCreateDevice(DriverObject, sizeof(FILTER_EXTENSION), &name, FILE_DEVICE_UNKNOWN,
                                0, FALSE, &deviceObject);
        if (NT_SUCCESS(status)) {
            UNICODE_STRING link;
            RtlInitUnicodeString(&link, linkName);
            status = IoCreateSymbolicLink(&link, &name);
            break;
        }
    }
    if (!NT_SUCCESS(status)) {
        // A device object without its link would hold the name for nothing.
        if (deviceObject) IoDeleteDevice(deviceObject);
        return status;
    }

    PFILTER_EXTENSION ext = Extension(deviceObject);
    RtlCopyMemory(ext->LinkName, linkName, sizeof(linkName));
    ext->Accepting = TRUE;
    KeInitializeEvent(&ext->RemoveEvent, NotificationEvent, FALSE);

    deviceObject->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;
    deviceObject->Flags &= ~DO_DEVICE_INITIALIZING;
    ext->PhysicalDeviceObject = PhysicalDeviceObject;
    ext->LowerDeviceObject = IoAttachDeviceToDeviceStack(deviceObject, PhysicalDeviceObject);
    if (!ext->LowerDeviceObject) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, ext->LinkName);
        IoDeleteSymbolicLink(&link);
        IoDeleteDevice(deviceObject);
        return STATUS_NO_SUCH_DEVICE;
    }
    IoIncrement(deviceObject);
    return STATUS_SUCCESS;
}

} // namespace kv7946

// Device objects, names and device stacks.
#include "platform/wdm/kernel_impl.h"

#include <cstdlib>

#include "platform/wdm/irp.h"

namespace wdm {

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, ULONG DeviceType, ULONG DeviceCharacteristics,
                        BOOLEAN Exclusive, PDEVICE_OBJECT* DeviceObject) {
    Kernel& k = currentKernel();
    auto& impl = k.impl();
    std::u16string name = fromUnicodeString(DeviceName);
    std::lock_guard lock(impl.m);
    if (!name.empty()) {
        if (name[0] != u'\\') return STATUS_OBJECT_NAME_INVALID;
        if (impl.devices.count(upper(name))) return STATUS_OBJECT_NAME_COLLISION;
    }
    size_t size = sizeof(DEVICE_OBJECT) + DeviceExtensionSize;
    auto* d = static_cast<PDEVICE_OBJECT>(std::calloc(1, size));
    if (!d) return STATUS_INSUFFICIENT_RESOURCES;
    d->Type = 3;
    d->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT));
    d->DriverObject = DriverObject;
    d->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
    d->Characteristics = DeviceCharacteristics;
    d->DeviceExtension = DeviceExtensionSize ? static_cast<void*>(d + 1) : nullptr;
    d->DeviceType = DeviceType;
    d->StackSize = 1;
    d->State = new DeviceState;
    d->State->kernel = &k;
    d->State->name = name;
    d->NextDevice = DriverObject->DeviceObject;
    DriverObject->DeviceObject = d;
    if (!name.empty()) impl.devices[upper(name)] = d;
    impl.allDevices.insert(d);
    *DeviceObject = d;
    return STATUS_SUCCESS;
}

void releaseDeviceIfUnused(PDEVICE_OBJECT device) {
    DeviceState* st = device->State;
    Kernel& k = *st->kernel;
    std::lock_guard lock(k.impl().m);
    if (!st->deleted || st->references > 0) return;
    k.impl().allDevices.erase(device);
    delete st;
    std::free(device);
}

void IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
    Kernel& k = currentKernel();
    auto& impl = k.impl();
    {
        std::lock_guard lock(impl.m);
        DeviceState* st = DeviceObject->State;
        if (!st || st->deleted) {
            k.verifier().report("IoDeleteDevice of a device object deleted before");
            return;
        }
        if (DeviceObject->AttachedDevice)
            k.verifier().report("IoDeleteDevice of a device object with a device attached to it");
        // A remove must wait until every request has left the device.
        for (IRP* irp : impl.irps) {
            if (irp->CurrentLocation < 1) continue;
            auto* stack = reinterpret_cast<IO_STACK_LOCATION*>(irp + 1);
            for (int i = irp->CurrentLocation - 1; i < irp->StackCount; ++i) {
                const IO_STACK_LOCATION& loc = stack[i];
                if (loc.DeviceObject != DeviceObject) continue;
                if (loc.MajorFunction == IRP_MJ_PNP && loc.MinorFunction == IRP_MN_REMOVE_DEVICE)
                    continue;
                k.verifier().report("IoDeleteDevice while a request is in progress in the device");
            }
        }
        st->deleted = true;
        if (!st->name.empty()) impl.devices.erase(upper(st->name));
        PDEVICE_OBJECT* p = &DeviceObject->DriverObject->DeviceObject;
        while (*p && *p != DeviceObject)
            p = &(*p)->NextDevice;
        if (*p) *p = DeviceObject->NextDevice;
        // A lower device keeps no pointer to a deleted one.
        for (PDEVICE_OBJECT d : impl.allDevices)
            if (d->AttachedDevice == DeviceObject) d->AttachedDevice = nullptr;
    }
    releaseDeviceIfUnused(DeviceObject);
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
    Kernel& k = currentKernel();
    auto& impl = k.impl();
    std::lock_guard lock(impl.m);
    if (impl.linkFailCount > 0) {
        --impl.linkFailCount;
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::u16string link = upper(fromUnicodeString(SymbolicLinkName));
    if (link.empty() || link[0] != u'\\') return STATUS_OBJECT_NAME_INVALID;
    if (impl.links.count(link)) return STATUS_OBJECT_NAME_COLLISION;
    impl.links[link] = fromUnicodeString(DeviceName);
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    return k.impl().links.erase(upper(fromUnicodeString(SymbolicLinkName)))
               ? STATUS_SUCCESS
               : STATUS_OBJECT_NAME_NOT_FOUND;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                           PDEVICE_OBJECT TargetDevice) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    if (!TargetDevice || (TargetDevice->State && TargetDevice->State->deleted)) return nullptr;
    PDEVICE_OBJECT top = TargetDevice;
    while (top->AttachedDevice)
        top = top->AttachedDevice;
    top->AttachedDevice = SourceDevice;
    SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    return top;
}

void IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    if (!TargetDevice->AttachedDevice)
        k.verifier().report("IoDetachDevice of a device object with nothing attached");
    TargetDevice->AttachedDevice = nullptr;
}

PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT DeviceObject) {
    Kernel& k = currentKernel();
    std::lock_guard lock(k.impl().m);
    PDEVICE_OBJECT top = DeviceObject;
    while (top->AttachedDevice)
        top = top->AttachedDevice;
    return top;
}

void ObDereferenceObject(PVOID) {}

} // namespace wdm

#include "platform/usb/usbd.h"

#include "platform/wdm/ex.h"

#include <cstring>

namespace usb {

PUSB_INTERFACE_DESCRIPTOR
USBD_ParseConfigurationDescriptorEx(PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor,
                                    PVOID StartPosition, LONG InterfaceNumber,
                                    LONG AlternateSetting, LONG InterfaceClass,
                                    LONG InterfaceSubClass, LONG InterfaceProtocol) {
    auto* base = reinterpret_cast<uint8_t*>(ConfigurationDescriptor);
    uint8_t* end = base + ConfigurationDescriptor->wTotalLength;
    auto* p = static_cast<uint8_t*>(StartPosition ? StartPosition : base);
    while (p + 2 <= end && p[0] >= 2) {
        if (p[1] == USB_INTERFACE_DESCRIPTOR_TYPE && p + sizeof(USB_INTERFACE_DESCRIPTOR) <= end) {
            auto* d = reinterpret_cast<PUSB_INTERFACE_DESCRIPTOR>(p);
            if ((InterfaceNumber == -1 || d->bInterfaceNumber == InterfaceNumber) &&
                (AlternateSetting == -1 || d->bAlternateSetting == AlternateSetting) &&
                (InterfaceClass == -1 || d->bInterfaceClass == InterfaceClass) &&
                (InterfaceSubClass == -1 || d->bInterfaceSubClass == InterfaceSubClass) &&
                (InterfaceProtocol == -1 || d->bInterfaceProtocol == InterfaceProtocol))
                return d;
        }
        p += p[0];
    }
    return nullptr;
}

PURB USBD_CreateConfigurationRequestEx(PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor,
                                       PUSBD_INTERFACE_LIST_ENTRY InterfaceList) {
    size_t size = sizeof(_URB_SELECT_CONFIGURATION) - sizeof(USBD_INTERFACE_INFORMATION);
    for (auto* e = InterfaceList; e->InterfaceDescriptor; ++e) {
        ULONG pipes = e->InterfaceDescriptor->bNumEndpoints;
        size += sizeof(USBD_INTERFACE_INFORMATION) +
                (pipes ? pipes - 1 : 0) * sizeof(USBD_PIPE_INFORMATION);
    }
    auto* urb = static_cast<PURB>(
        wdm::ExAllocatePoolWithTag(wdm::NonPagedPool, size, wdm::PoolTag("Wdm ")));
    if (!urb) return nullptr;
    std::memset(urb, 0, size);
    urb->UrbHeader.Length = static_cast<USHORT>(size);
    urb->UrbHeader.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    urb->UrbSelectConfiguration.ConfigurationDescriptor = ConfigurationDescriptor;
    auto* p = reinterpret_cast<uint8_t*>(&urb->UrbSelectConfiguration.Interface);
    for (auto* e = InterfaceList; e->InterfaceDescriptor; ++e) {
        auto* info = reinterpret_cast<USBD_INTERFACE_INFORMATION*>(p);
        ULONG pipes = e->InterfaceDescriptor->bNumEndpoints;
        info->Length = static_cast<USHORT>(sizeof(USBD_INTERFACE_INFORMATION) +
                                           (pipes ? pipes - 1 : 0) * sizeof(USBD_PIPE_INFORMATION));
        info->InterfaceNumber = e->InterfaceDescriptor->bInterfaceNumber;
        info->AlternateSetting = e->InterfaceDescriptor->bAlternateSetting;
        info->NumberOfPipes = pipes;
        for (ULONG i = 0; i < pipes; ++i)
            info->Pipes[i].MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
        e->Interface = info;
        p += info->Length;
    }
    return urb;
}

} // namespace usb

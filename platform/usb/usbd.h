// The USB driver interface calls: the internal control codes of the bus and
// the helpers for building select-configuration requests.
#pragma once

#include "platform/usb/urb.h"
#include "platform/wdm/types.h"

namespace usb {

constexpr ULONG FILE_DEVICE_USB = 0x22;
constexpr ULONG IOCTL_INTERNAL_USB_SUBMIT_URB =
    wdm::CTL_CODE(FILE_DEVICE_USB, 0, wdm::METHOD_NEITHER, wdm::FILE_ANY_ACCESS);
constexpr ULONG IOCTL_INTERNAL_USB_RESET_PORT =
    wdm::CTL_CODE(FILE_DEVICE_USB, 1, wdm::METHOD_NEITHER, wdm::FILE_ANY_ACCESS);
constexpr ULONG IOCTL_INTERNAL_USB_GET_PORT_STATUS =
    wdm::CTL_CODE(FILE_DEVICE_USB, 4, wdm::METHOD_NEITHER, wdm::FILE_ANY_ACCESS);
static_assert(IOCTL_INTERNAL_USB_SUBMIT_URB == 0x220003);

constexpr ULONG USBD_PORT_ENABLED = 1;
constexpr ULONG USBD_PORT_CONNECTED = 2;

struct USBD_INTERFACE_LIST_ENTRY {
    PUSB_INTERFACE_DESCRIPTOR InterfaceDescriptor;
    USBD_INTERFACE_INFORMATION* Interface; // filled in by the create call
};
using PUSBD_INTERFACE_LIST_ENTRY = USBD_INTERFACE_LIST_ENTRY*;

// Finds an interface descriptor at or after StartPosition; -1 matches any
// value. Null when there is none.
PUSB_INTERFACE_DESCRIPTOR
USBD_ParseConfigurationDescriptorEx(PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor,
                                    PVOID StartPosition, LONG InterfaceNumber,
                                    LONG AlternateSetting, LONG InterfaceClass,
                                    LONG InterfaceSubClass, LONG InterfaceProtocol);

// A select-configuration URB for the listed interfaces (the list ends with
// a null descriptor), from pool the caller frees with ExFreePool. Each
// entry's Interface points at its part of the URB.
PURB USBD_CreateConfigurationRequestEx(PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor,
                                       PUSBD_INTERFACE_LIST_ENTRY InterfaceList);

} // namespace usb

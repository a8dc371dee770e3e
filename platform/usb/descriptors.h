// Standard USB descriptors as they travel on the wire (USB 2.0, 9.6).
#pragma once

#include <cstdint>

namespace usb {

#pragma pack(push, 1)
struct USB_DEVICE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};

struct USB_CONFIGURATION_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces;
    uint8_t bConfigurationValue;
    uint8_t iConfiguration;
    uint8_t bmAttributes;
    uint8_t MaxPower;
};

struct USB_INTERFACE_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
};

struct USB_ENDPOINT_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bEndpointAddress;
    uint8_t bmAttributes;
    uint16_t wMaxPacketSize;
    uint8_t bInterval;
};

struct USB_STRING_DESCRIPTOR {
    uint8_t bLength;
    uint8_t bDescriptorType;
    char16_t bString[1];
};
#pragma pack(pop)

static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18);
static_assert(sizeof(USB_CONFIGURATION_DESCRIPTOR) == 9);
static_assert(sizeof(USB_INTERFACE_DESCRIPTOR) == 9);
static_assert(sizeof(USB_ENDPOINT_DESCRIPTOR) == 7);

using PUSB_DEVICE_DESCRIPTOR = USB_DEVICE_DESCRIPTOR*;
using PUSB_CONFIGURATION_DESCRIPTOR = USB_CONFIGURATION_DESCRIPTOR*;
using PUSB_INTERFACE_DESCRIPTOR = USB_INTERFACE_DESCRIPTOR*;
using PUSB_ENDPOINT_DESCRIPTOR = USB_ENDPOINT_DESCRIPTOR*;

constexpr uint8_t USB_DEVICE_DESCRIPTOR_TYPE = 1;
constexpr uint8_t USB_CONFIGURATION_DESCRIPTOR_TYPE = 2;
constexpr uint8_t USB_STRING_DESCRIPTOR_TYPE = 3;
constexpr uint8_t USB_INTERFACE_DESCRIPTOR_TYPE = 4;
constexpr uint8_t USB_ENDPOINT_DESCRIPTOR_TYPE = 5;

constexpr uint8_t USB_ENDPOINT_TYPE_MASK = 0x03;
constexpr uint8_t USB_ENDPOINT_TYPE_CONTROL = 0;
constexpr uint8_t USB_ENDPOINT_TYPE_ISOCHRONOUS = 1;
constexpr uint8_t USB_ENDPOINT_TYPE_BULK = 2;
constexpr uint8_t USB_ENDPOINT_TYPE_INTERRUPT = 3;

} // namespace usb

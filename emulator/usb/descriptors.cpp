#include "emulator/usb/descriptors.h"

namespace emu {

std::vector<uint8_t> deviceDescriptor() {
    return {18,
            1, // bLength, DEVICE
            0x10,
            0x01, // bcdUSB 1.10
            0,
            0,
            0,  // class at interface level
            64, // bMaxPacketSize0
            kVendorId & 0xFF,
            kVendorId >> 8,
            kProductId & 0xFF,
            kProductId >> 8,
            0x00,
            0x01, // bcdDevice 1.00
            1,
            2,
            3,  // manufacturer, product, serial number strings
            1}; // one configuration
}

std::vector<uint8_t> interfaceDescriptor() {
    return {9, 4, 0, 0, 2, 0x08, 0x06, 0x50, 5}; // mass storage, SCSI, Bulk-Only
}

std::vector<uint8_t> configurationDescriptor() {
    std::vector<uint8_t> d = {9, 2, 32, 0, 1, kConfigurationValue, 4, 0x80, 50};
    std::vector<uint8_t> itf = interfaceDescriptor();
    d.insert(d.end(), itf.begin(), itf.end());
    const std::vector<uint8_t> in = {7, 5, kBulkInEndpoint, 0x02, 64, 0, 0};
    const std::vector<uint8_t> out = {7, 5, kBulkOutEndpoint, 0x02, 64, 0, 0};
    d.insert(d.end(), in.begin(), in.end());
    d.insert(d.end(), out.begin(), out.end());
    return d;
}

std::vector<uint8_t> languageDescriptor() {
    return {4, 3, kLanguageEnglishUs & 0xFF, kLanguageEnglishUs >> 8};
}

} // namespace emu

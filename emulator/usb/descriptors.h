// The controller's USB descriptors: one configuration with one Bulk-Only mass
// storage interface (bulk-in 0x81, bulk-out 0x02).
#pragma once

#include <cstdint>
#include <vector>

namespace emu {

constexpr uint16_t kVendorId = 0x1D9F;
constexpr uint16_t kProductId = 0x7947;
constexpr uint8_t kBulkInEndpoint = 0x81;
constexpr uint8_t kBulkOutEndpoint = 0x02;
constexpr uint8_t kConfigurationValue = 1;
constexpr uint16_t kLanguageEnglishUs = 0x0409;

std::vector<uint8_t> deviceDescriptor();        // 18 bytes
std::vector<uint8_t> configurationDescriptor(); // 32 bytes with interface and endpoints
std::vector<uint8_t> interfaceDescriptor();     // 9 bytes
std::vector<uint8_t> languageDescriptor();      // string 0

} // namespace emu

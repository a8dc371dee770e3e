// Vendor command codes (bRequest) understood by the controller.
#pragma once

#include <cstdint>

namespace kv {

constexpr uint8_t CMD_VERIFY_PASSWORD = 0x00;    // OUT, wLength = password length
constexpr uint8_t CMD_SET_PASSWORD = 0x40;       // OUT, Lold/old/Lnew/new
constexpr uint8_t CMD_ERASE_BLOCK = 0xB9;        // OUT, no data
constexpr uint8_t CMD_GET_PASSWORD_ERROR = 0xF6; // IN, 1 byte: why the last password was refused
constexpr uint8_t CMD_READ_SPARE = 0xF7;         // IN, 16 spare bytes
constexpr uint8_t CMD_GET_PASSWORD_FLAG = 0xF8;  // IN, 1 byte: 1 when a password is set
constexpr uint8_t CMD_GET_WRITE_PROTECT = 0xF9;  // IN, 1 byte: bit 0 set when writable
constexpr uint8_t CMD_GET_GEOMETRY = 0xFA;       // IN, 2 bytes: flash units, zones
constexpr uint8_t CMD_WRITE_PAGE = 0xFB;         // OUT, 512 page bytes
constexpr uint8_t CMD_READ_PAGE = 0xFC;          // IN, 512 page bytes + 16 spare bytes
constexpr uint8_t CMD_GET_STATUS = 0xFE;         // IN, 1 byte: device status
constexpr uint8_t CMD_WRITE_CONFIG_PAGE = 0xFF;  // OUT, 512-byte configuration page

// String descriptor index of the device name.
constexpr uint8_t kDeviceNameString = 7;

// Replies of CMD_GET_PASSWORD_ERROR.
constexpr uint8_t kReasonCorrupted = 1;
constexpr uint8_t kReasonFormatError = 2;
constexpr uint8_t kReasonWrongPassword = 3;

// Status bytes after which CMD_GET_PASSWORD_ERROR can tell why a password was refused.
constexpr uint8_t kStatusReasonAvailableA = 0x10;
constexpr uint8_t kStatusReasonAvailableB = 0x20;

} // namespace kv

// Vendor request codes the controller serves on its default pipe.
#pragma once

#include <cstdint>

namespace emu::cmd {

constexpr uint8_t kVerifyPassword = 0x00;   // OUT, wLength = password length
constexpr uint8_t kSetPassword = 0x40;      // OUT, Lold old Lnew new
constexpr uint8_t kEraseBlock = 0xB9;       // OUT, block in wValue/wIndex
constexpr uint8_t kGetPasswordError = 0xF6; // IN 1
constexpr uint8_t kReadSpare = 0xF7;        // IN 16, page in wValue/wIndex
constexpr uint8_t kGetPasswordFlag = 0xF8;  // IN 1
constexpr uint8_t kGetWriteProtect = 0xF9;  // IN 1
constexpr uint8_t kGetGeometry = 0xFA;      // IN 2
constexpr uint8_t kWritePage = 0xFB;        // OUT 512, page in wValue/wIndex
constexpr uint8_t kReadPage = 0xFC;         // IN 528, page in wValue/(wIndex - 0x8000)
constexpr uint8_t kGetStatus = 0xFE;        // IN 1
constexpr uint8_t kWriteConfigPage = 0xFF;  // OUT 512

constexpr unsigned kMaxPasswordLength = 8;

// Status byte.
constexpr uint8_t kStatusLocked = 0x10;    // Security Disk closed
constexpr uint8_t kStatusUnlocked = 0x20;  // Security Disk open
constexpr uint8_t kStatusLockedOut = 0x30; // password commands refused until re-plugged

// Refusal reasons.
constexpr uint8_t kReasonNone = 0;
constexpr uint8_t kReasonCorrupted = 1;
constexpr uint8_t kReasonFormatError = 2;
constexpr uint8_t kReasonWrongPassword = 3;

// Password flag.
constexpr uint8_t kFlagNoPassword = 0;
constexpr uint8_t kFlagPasswordSet = 1;
constexpr uint8_t kFlagRecordDamaged = 2;

constexpr unsigned kWrongPasswordLimit = 3;

} // namespace emu::cmd

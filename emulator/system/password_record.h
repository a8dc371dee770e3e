// The password record kept in page 2 of the system block.
//
//   0      0x55                     record mark
//   1      0x50 'P'                 a password is set (0xFF in the blank form)
//   2      0x01                     record version
//   3      password length (1-8)
//   4-11   salt
//   12-19  digest of salt and password (little-endian 64-bit)
//   20-23  check sum over bytes 0-19 (little-endian 32-bit)
//   24-509 0xFF
//   510    0x55, 511 0xAA           record trailer
//
// The blank form (0x55, 509 x 0xFF, 0x55, 0xAA) means that no password is set.
// A page without mark, trailer or known version is a format error; a record
// of the right form whose check sum does not hold is corrupted.
#pragma once

#include "emulator/system/config_page.h"

#include <cstdint>
#include <string_view>

namespace emu {

enum class RecordState { Blank, Valid, FormatError, Corrupted };

PageData blankPasswordRecord();
PageData passwordRecord(std::string_view password, uint64_t salt);
RecordState recordState(const PageData& page);
// True when the record is valid and holds this password.
bool recordMatches(const PageData& page, std::string_view password);
// Damages the digest but keeps the form: the record then reads as corrupted.
PageData corruptedRecord(const PageData& record);

} // namespace emu

// Device image files. One file holds a device: its geometry, its switches and
// every page of flash that is not erased.
//
//   offset 0   8 bytes  "KV7946IM"
//          8   u32      format version (1)
//          12  u8       units
//          13  u8       zones
//          14  u16      flags: bit 0 write-protect switch, bit 1 packet device
//          16  u32      number of page records
//          20  u32      check sum of the page records
//          24  8 bytes  0
//          32  records, by ascending page number: u32 page, 512 data, 16 spare
//
// All numbers little-endian.
#pragma once

#include "emulator/controller.h"

#include <memory>
#include <string>

namespace emu {

struct ImageFlags {
    bool writeProtect = false;
    bool packetDevice = false;
};

// Writes the image to `path` (through a temporary file, then renamed).
bool saveImage(const Controller& controller, const std::string& path, std::string* error);
// Loads an image; on failure returns none and says why.
std::unique_ptr<Controller> loadImage(const std::string& path, std::string* error);

} // namespace emu

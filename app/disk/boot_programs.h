// The boot programs written into the MBR and the boot sectors (sources in
// boot/, assembled at build time).
#pragma once

#include <array>
#include <cstdint>

namespace disk {

extern const std::array<uint8_t, 446> kMbrProgram;
extern const std::array<uint8_t, 448> kFat12Program;
extern const std::array<uint8_t, 448> kFat16Program;

} // namespace disk

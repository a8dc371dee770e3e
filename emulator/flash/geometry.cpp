#include "emulator/flash/geometry.h"

namespace emu {

std::optional<std::string> Geometry::check(uint32_t units, uint32_t zones) {
    if (units < 1 || units > kMaxUnits) return "the unit count must be 1 to 8";
    if (zones < 1 || zones > kMaxZones) return "the zone count must be 1 to 64";
    if (zones % units != 0) return "the zone count must be a multiple of the unit count";
    return std::nullopt;
}

} // namespace emu

#include "app/disk/config_page.h"

namespace disk {

uint32_t DivisionPoint(std::span<const uint8_t, 512> page) {
    return (uint32_t{page[kDivisionPointOffset]} << 8) | page[kDivisionPointOffset + 1];
}

void SetDivisionPoint(ConfigPage page, uint32_t e) {
    page[kDivisionPointOffset] = static_cast<uint8_t>(e >> 8);
    page[kDivisionPointOffset + 1] = static_cast<uint8_t>(e);
}

void SetBootLayoutFlag(ConfigPage page, LayoutType type) {
    page[kBootLayoutFlagOffset] = type == LayoutType::Hdd ? 1 : 0;
}

void SetUnitTable(ConfigPage page, const FlashGeometry& g) {
    for (uint32_t i = 0; i < kMaxUnits; ++i) {
        const uint32_t word = i < g.units() ? g.logicalPerUnit() + 1 : 0;
        page[kUnitTableOffset + 2 * i] = static_cast<uint8_t>(word >> 8);
        page[kUnitTableOffset + 2 * i + 1] = static_cast<uint8_t>(word);
    }
}

} // namespace disk

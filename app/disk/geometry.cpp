#include "app/disk/geometry.h"

namespace disk {

std::optional<FlashGeometry> FlashGeometry::From(uint32_t units, uint32_t zones) {
    if (units == 0 || units > kMaxUnits || zones == 0 || zones > kMaxZones) return std::nullopt;
    if (zones % units != 0) return std::nullopt;
    return FlashGeometry(units, zones);
}

uint32_t SecurityFirstBlock(const FlashGeometry& g, uint32_t e) {
    const uint32_t L = g.logicalPerUnit();
    const uint32_t P = g.physicalPerUnit();
    if (e < L) return e + 1;
    if (e == L) return P + 1;
    return (e % L) + (e / L) * P + 1;
}

uint32_t TranslateSector(const FlashGeometry& g, uint32_t x) {
    const uint32_t L = g.logicalPerUnit();
    const uint32_t P = g.physicalPerUnit();
    const uint32_t block = x / kPagesPerBlock;
    const uint32_t k = block / P;
    if (block > k * P + L && block < (k + 1) * P) return x + kPagesPerBlock * (P - L);
    return x;
}

} // namespace disk

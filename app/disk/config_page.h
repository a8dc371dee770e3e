// The layout fields at the end of the configuration page (page 1 of the
// system block): boot layout flag, division point and unit table.
#pragma once

#include "app/disk/fat_params.h"
#include "app/disk/geometry.h"

#include <array>
#include <cstdint>
#include <span>

namespace disk {

constexpr uint32_t kConfigPage = 1;
constexpr size_t kBootLayoutFlagOffset = 493;
constexpr size_t kDivisionPointOffset = 494;
constexpr size_t kUnitTableOffset = 496;

using ConfigPage = std::span<uint8_t, 512>;

uint32_t DivisionPoint(std::span<const uint8_t, 512> page);
void SetDivisionPoint(ConfigPage page, uint32_t e);
// 1 for the HDD layout, 0 for Floppy and Zip.
void SetBootLayoutFlag(ConfigPage page, LayoutType type);
// Word i, for each of the b units, is L + 1; the other words are 0.
void SetUnitTable(ConfigPage page, const FlashGeometry& g);

} // namespace disk

// The configuration page (page 1 of the system block): bytes 0-31 the
// controller's own header, from 32 the chain of USB string descriptors, then
// the boot layout flag (493), the division point (494-495, big-endian) and the
// unit table (496-511, eight big-endian words).
#pragma once

#include "emulator/flash/geometry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace emu {

using PageData = std::array<uint8_t, kPageDataBytes>;

constexpr uint32_t kConfigPage = 1;
constexpr uint32_t kPasswordPage = 2;
constexpr std::size_t kChainStart = 32;
constexpr std::size_t kChainEnd = 493; // first byte after the chain area
constexpr std::size_t kBootFlagOffset = 493;
constexpr std::size_t kDivisionOffset = 494;
constexpr std::size_t kUnitTableOffset = 496;
constexpr unsigned kNameStringIndex = 7;

// A fresh page: the controller's strings with `name` as string 7, division
// point `division` (logical blocks of the Standard Disk), boot flag 1.
PageData defaultConfigPage(const Geometry& geometry, const std::string& name, uint32_t division);

// String descriptor `index` of the chain (bLength bytes), or none when the
// chain ends before it or is broken there.
std::optional<std::vector<uint8_t>> chainString(const PageData& page, unsigned index);
// Rebuilds the chain with a new string 7; false (page unchanged) when the
// chain has no string 7 or the new chain does not fit.
bool replaceChainString7(PageData& page, const std::string& utf8Name);

uint16_t divisionPoint(const PageData& page);
void setDivisionPoint(PageData& page, uint16_t blocks);
uint8_t bootLayoutFlag(const PageData& page);
std::array<uint16_t, 8> unitTable(const PageData& page);

std::vector<uint8_t> utf16Descriptor(const std::string& utf8);
std::string descriptorText(const std::vector<uint8_t>& descriptor); // as UTF-8

} // namespace emu

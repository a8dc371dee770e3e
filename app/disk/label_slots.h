// The four volume-label slots kept for the whole run of the application.
// A slot is the first 12 bytes of a FAT directory entry: 11 name bytes and
// the attribute byte; all zero means no label.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace disk {

using LabelSlot = std::array<uint8_t, 12>;

constexpr uint8_t kVolumeLabelAttribute = 0x08;
constexpr size_t kLabelChars = 11;

struct LabelSlots {
    LabelSlot Whole{};
    LabelSlot Standard{};
    LabelSlot Security{};
    LabelSlot Active{};
};

// The slot for a label as typed: empty text gives no label; otherwise the
// first 11 characters, case kept, zero-padded, then the label attribute.
LabelSlot MakeLabelSlot(std::string_view text);

} // namespace disk

#include "app/disk/label_slots.h"

namespace disk {

LabelSlot MakeLabelSlot(std::string_view text) {
    LabelSlot slot{};
    if (text.empty()) return slot;
    for (size_t i = 0; i < text.size() && i < kLabelChars; ++i)
        slot[i] = static_cast<uint8_t>(text[i]);
    slot[kLabelChars] = kVolumeLabelAttribute;
    return slot;
}

} // namespace disk

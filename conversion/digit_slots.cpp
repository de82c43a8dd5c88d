#include "conversion/digit_slots.h"

namespace conversion {

void UpdateDigitSlots(DigitSlots& slots, std::u16string_view entry) {
    if (entry.empty()) {
        return;
    }
    for (std::size_t i = 0; i < SlotCount; ++i) {
        slots.at(i) = i < entry.size() ? std::u16string(1, entry[i]) : std::u16string();
    }
}

ColumnUpdates ConvertDigitSlots(const DigitSlots& slots) {
    ColumnUpdates updates;
    for (std::size_t k = 0; k < SlotCount; ++k) {
        updates.at(k) = LookupDigit(slots.at(k));
    }
    return updates;
}

}  // namespace conversion

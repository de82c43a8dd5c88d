// Feeds any sequence of entry texts through the digit slots and the conversion, and checks what
// must hold whatever the texts are. The input is read as UTF-16 code units (lone surrogates and
// NUL included); the unit U+FFFF ends one entry text and starts the next.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "conversion/digit_code.h"
#include "conversion/digit_slots.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::vector<std::u16string> EntryTexts(std::span<const std::uint8_t> bytes) {
    std::vector<std::u16string> texts(1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == u'\xFFFF') {
            texts.emplace_back();
        } else {
            texts.back().push_back(unit);
        }
    }
    return texts;
}

// Every slot is the entry's unit at its place, or empty past the entry's end; an empty entry
// leaves the slots as they were.
void CheckSlots(const conversion::DigitSlots& slots, const conversion::DigitSlots& before,
                const std::u16string& entry) {
    if (entry.empty()) {
        Require(slots == before);
        return;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        Require(slots.at(i) == (i < entry.size() ? entry.substr(i, 1) : std::u16string()));
    }
}

// A column shows exactly when its slot is one of the ten ASCII digits, with that digit and the
// digit code's letters for it.
void CheckColumns(const conversion::DigitSlots& slots, const conversion::ColumnUpdates& updates) {
    for (std::size_t k = 0; k < updates.size(); ++k) {
        const std::u16string& slot = slots.at(k);
        const bool asciiDigit = slot.size() == 1 && slot[0] >= u'0' && slot[0] <= u'9';
        Require(updates.at(k).has_value() == asciiDigit);
        if (asciiDigit) {
            Require(updates.at(k)->digit == slot);
            Require(updates.at(k)->consonants == conversion::DigitCode.at(std::size_t(slot[0] - u'0')).consonants);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    conversion::DigitSlots slots{};
    for (const std::u16string& entry : EntryTexts({data, size})) {
        const conversion::DigitSlots before = slots;
        conversion::UpdateDigitSlots(slots, entry);
        CheckSlots(slots, before, entry);
        CheckColumns(slots, conversion::ConvertDigitSlots(slots));
        CheckSlots(slots, before, entry);  // the conversion changed nothing
    }
    return 0;
}

// The number being worked on, one character per slot, and what each result column shows for it.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "conversion/digit_code.h"

namespace conversion {

inline constexpr std::size_t SlotCount = 7;

// Slot k holds the k-th UTF-16 code unit of the last non-empty entry, or nothing.
using DigitSlots = std::array<std::u16string, SlotCount>;

// What one result column is given: a digit with its consonants, or nothing, which leaves the
// column as it is.
using ColumnUpdate = std::optional<DigitCodeRow>;
using ColumnUpdates = std::array<ColumnUpdate, SlotCount>;

// Rewrites every slot from `entry`. An empty entry keeps the slots, so the last number survives
// clearing the entry box.
void UpdateDigitSlots(DigitSlots& slots, std::u16string_view entry);

// One update per column, in column order; the texts point into the digit code table.
ColumnUpdates ConvertDigitSlots(const DigitSlots& slots);

}  // namespace conversion

#include "conversion/digit_code.h"

#include <algorithm>

namespace conversion {

std::optional<DigitCodeRow> LookupDigit(std::u16string_view text) {
    const auto* row = std::ranges::find(DigitCode, text, &DigitCodeRow::digit);
    if (row == DigitCode.end()) {
        return std::nullopt;
    }
    return *row;
}

}  // namespace conversion

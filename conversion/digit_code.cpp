#include "conversion/digit_code.h"

#include <algorithm>

namespace conversion {

std::optional<DigitCodeRow> LookupDigit(std::u16string_view text) {
    // Not std::ranges::find: the web build's standard library (Emscripten 3.1.6) has no ranges yet.
    const auto* row = std::find_if(DigitCode.begin(), DigitCode.end(),
                                   [text](const DigitCodeRow& candidate) { return candidate.digit == text; });
    if (row == DigitCode.end()) {
        return std::nullopt;
    }
    return *row;
}

}  // namespace conversion

#include "windows/forms/text_limit.h"

#include <algorithm>

namespace forms {
namespace {

bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr std::u16string_view LineBreaks = u"\r\n";

}  // namespace

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

EditedText KeepWholeCharacters(std::u16string_view text, std::size_t cursor, std::size_t maxLength) {
    EditedText kept{{}, 0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool pair = IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        const std::size_t width = pair ? 2 : 1;
        const bool whole = pair || !(IsHighSurrogate(unit) || IsLowSurrogate(unit));
        if (whole && kept.text.size() + width <= maxLength) {
            kept.text.append(text.substr(i, width));
        }
        if (i + width <= cursor) {
            kept.cursor = kept.text.size();
        }
        i += width - 1;
    }
    kept.cursor = std::min(kept.cursor, kept.text.size());
    return kept;
}

EditedText KeepFirstLine(std::u16string_view text, std::size_t cursor) {
    const std::size_t first = text.find_first_of(LineBreaks);
    if (first == std::u16string_view::npos) {
        return {std::u16string(text), std::min(cursor, text.size())};
    }
    // The box never holds a break, so every break in the text came with the insertion.
    const std::size_t rest = std::max(std::min(cursor, text.size()), text.find_last_of(LineBreaks) + 1);
    return {std::u16string(text.substr(0, first)).append(text.substr(rest)), first};
}

}  // namespace forms

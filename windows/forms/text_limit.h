// The rule a length-limited text box keeps, the same on every toolkit.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace forms {

struct EditedText {
    std::u16string text;
    std::size_t cursor;
};

// The first half of a wide character: a surrogate pair's first UTF-16 code unit.
bool IsHighSurrogate(char16_t unit);

// What a box with room for `maxLength` UTF-16 code units keeps of an edit: at most `maxLength`
// units and never half a character, so an unpaired surrogate (such as the first half of a wide
// character cut at the limit) is dropped whole. `cursor` follows the text it stood after.
EditedText KeepWholeCharacters(std::u16string_view text, std::size_t cursor, std::size_t maxLength);

// What a single-line box keeps of an edit that brought in a line break: the inserted text up to
// its first CR or LF, as a single-line Windows box keeps of a paste. The inserted text ends at
// `cursor`, where typing, pasting and dropping leave it; what follows was there before and stays.
// U+2028 and U+2029 are kept as characters, as the Windows box keeps them, so that every build
// keeps the same text.
EditedText KeepFirstLine(std::u16string_view text, std::size_t cursor);

}  // namespace forms

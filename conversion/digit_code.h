// The phonetic digit code: the consonant sounds that each decimal digit stands for.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace conversion {

struct DigitCodeRow {
    std::u16string_view digit;
    // The letters of the group, one space apart; "CH" is a single letter of the code.
    std::u16string_view consonants;
};

inline constexpr std::array<DigitCodeRow, 10> DigitCode{{
    {u"0", u"R"},
    {u"1", u"T D"},
    {u"2", u"N \u00D1"},
    {u"3", u"M"},
    {u"4", u"C K Q"},
    {u"5", u"L"},
    {u"6", u"S Z"},
    {u"7", u"F"},
    {u"8", u"CH J G"},
    {u"9", u"V B P"},
}};

// The row whose digit equals `text` exactly (no trimming, no other scripts' digits), if any.
std::optional<DigitCodeRow> LookupDigit(std::u16string_view text);

}  // namespace conversion

#include "conversion/digit_code.h"

#include <gtest/gtest.h>

#include <string>

namespace conversion {
namespace {

// Every key is exactly one ASCII digit and gives back itself; everything else finds no row.
TEST(LookupDigit, FindsEachAsciiDigitAsItsOwnKey) {
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        const std::u16string text(1, digit);
        const auto row = LookupDigit(text);
        ASSERT_TRUE(row) << char(digit);
        EXPECT_EQ(row->digit, text);
        EXPECT_FALSE(row->consonants.empty());
        EXPECT_NE(row->consonants.front(), u' ');
        EXPECT_NE(row->consonants.back(), u' ');
    }
}

class NotADigit : public testing::TestWithParam<std::u16string> {};

TEST_P(NotADigit, FindsNothing) { EXPECT_FALSE(LookupDigit(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Texts, NotADigit,
                         testing::Values(u"", u"a", u"A", u" ", u".", u"/", u":", u"\0", u"\uFF11" /* full-width one */,
                                         u"\u0661" /* Arabic-Indic one */, u"\u00B9" /* superscript one */, u"12",
                                         u"1 ", u" 1", u"01", u"\U0001F600"));

TEST(LookupDigit, KeepsTheTildeLetterAndTheTwoLetterConsonant) {
    const auto two = LookupDigit(u"2");
    ASSERT_TRUE(two);
    EXPECT_EQ(two->consonants.size(), 3U);
    EXPECT_EQ(two->consonants[2], char16_t{0x00D1});

    const auto eight = LookupDigit(u"8");
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->consonants.size(), 6U);
    EXPECT_EQ(eight->consonants.substr(0, 3), u"CH ");
}

}  // namespace
}  // namespace conversion

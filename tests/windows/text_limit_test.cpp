#include "windows/forms/text_limit.h"

#include <gtest/gtest.h>

#include "row_name.h"

#include <string>

namespace forms {
namespace {

struct Edit {
    const char* name;
    std::u16string text;
    std::size_t cursor;
    std::u16string kept;
    std::size_t keptCursor;
};

class SevenUnitBox : public testing::TestWithParam<Edit> {};

TEST_P(SevenUnitBox, KeepsWholeCharactersWithinSevenUnits) {
    const auto kept = KeepWholeCharacters(GetParam().text, GetParam().cursor, 7);
    EXPECT_EQ(kept.text, GetParam().kept);
    EXPECT_EQ(kept.cursor, GetParam().keptCursor);
}

const std::u16string Smile = u"\U0001F600";
const std::u16string SmileHigh = Smile.substr(0, 1);

INSTANTIATE_TEST_SUITE_P(
    Edits, SevenUnitBox,
    testing::Values(Edit{"Empty", u"", 0, u"", 0}, Edit{"SevenFit", u"1234567", 7, u"1234567", 7},
                    Edit{"EighthCut", u"12345678", 8, u"1234567", 7},
                    Edit{"CursorInsideKeptText", u"12345678", 3, u"1234567", 3},
                    Edit{"WideCharacterAtTheLimitRefusedWhole", u"123456" + Smile, 8, u"123456", 6},
                    Edit{"HalfLeftByACutDropped", u"123456" + SmileHigh, 7, u"123456", 6},
                    Edit{"HalfInTheMiddleDropped", u"12" + SmileHigh + u"345", 3, u"12345", 2},
                    Edit{"LoneLowHalfDropped",
                         u"\xDE00"
                         u"1",
                         2, u"1", 1},
                    Edit{"ThreeWideCharactersFitInSeven", Smile + Smile + Smile + Smile, 8, Smile + Smile + Smile, 6},
                    Edit{"WideCharacterBeforeTheLimitKept", u"12345" + Smile, 7, u"12345" + Smile, 7}),
    RowName{});

class PastedLines : public testing::TestWithParam<Edit> {};

TEST_P(PastedLines, KeepTheInsertedTextUpToItsFirstLineBreak) {
    const auto kept = KeepFirstLine(GetParam().text, GetParam().cursor);
    EXPECT_EQ(kept.text, GetParam().kept);
    EXPECT_EQ(kept.cursor, GetParam().keptCursor);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, PastedLines,
    testing::Values(Edit{"NoBreak", u"9876", 2, u"9876", 2}, Edit{"LineFeed", u"98\n76", 5, u"98", 2},
                    Edit{"CarriageReturnAndLineFeed", u"98\r\n76\r\n", 8, u"98", 2},
                    Edit{"CarriageReturn", u"98\r76", 5, u"98", 2}, Edit{"BreakFirstKeepsNothing", u"\n76", 3, u"", 0},
                    Edit{"TextAfterTheInsertionStays", u"198\n7623", 6, u"19823", 3},
                    Edit{"UnicodeSeparatorsAreCharacters", u"9\u20288\u20297", 5, u"9\u20288\u20297", 5}),
    RowName{});

}  // namespace
}  // namespace forms

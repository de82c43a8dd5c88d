#include "conversion/digit_slots.h"

#include <gtest/gtest.h>

#include "row_name.h"

#include <string>
#include <vector>

namespace conversion {
namespace {

// A column as the result window would show it: "digit/consonants", or "-" when it is left alone.
std::vector<std::u16string> Shown(const ColumnUpdates& updates) {
    std::vector<std::u16string> shown;
    for (const auto& update : updates) {
        shown.push_back(update ? std::u16string(update->digit) + u"/" + std::u16string(update->consonants) : u"-");
    }
    return shown;
}

struct Entries {
    const char* name;
    std::vector<std::u16string> typed;  // the entry's text after each change
    DigitSlots slots;
    std::vector<std::u16string> columns;
};

class SlotsAfterTyping : public testing::TestWithParam<Entries> {};

TEST_P(SlotsAfterTyping, HoldTheEntryAndConvertColumnByColumn) {
    DigitSlots slots{};
    for (const auto& text : GetParam().typed) {
        UpdateDigitSlots(slots, text);
    }
    EXPECT_EQ(slots, GetParam().slots);
    EXPECT_EQ(Shown(ConvertDigitSlots(slots)), GetParam().columns);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, SlotsAfterTyping,
    testing::Values(
        Entries{"NothingTyped", {}, {}, {u"-", u"-", u"-", u"-", u"-", u"-", u"-"}},
        Entries{"TypedKeyByKey",
                {u"4", u"40", u"409"},
                {u"4", u"0", u"9"},
                {u"4/C K Q", u"0/R", u"9/V B P", u"-", u"-", u"-", u"-"}},
        Entries{"OneToSeven",
                {u"1234567"},
                {u"1", u"2", u"3", u"4", u"5", u"6", u"7"},
                {u"1/T D", u"2/N \u00D1", u"3/M", u"4/C K Q", u"5/L", u"6/S Z", u"7/F"}},
        Entries{"NinetyLeavesFiveColumns", {u"90"}, {u"9", u"0"}, {u"9/V B P", u"0/R", u"-", u"-", u"-", u"-", u"-"}},
        Entries{"LetterBetweenDigits", {u"1a3"}, {u"1", u"a", u"3"}, {u"1/T D", u"-", u"3/M", u"-", u"-", u"-", u"-"}},
        Entries{"LeadingSpaceIsNotTrimmed", {u" 8"}, {u" ", u"8"}, {u"-", u"8/CH J G", u"-", u"-", u"-", u"-", u"-"}},
        Entries{"EmptiedEntryKeepsTheNumber",
                {u"1234", u""},
                {u"1", u"2", u"3", u"4"},
                {u"1/T D", u"2/N \u00D1", u"3/M", u"4/C K Q", u"-", u"-", u"-"}},
        Entries{"ShortenedEntryEmptiesTheSlotsBeyondIt",
                {u"1234", u"12"},
                {u"1", u"2"},
                {u"1/T D", u"2/N \u00D1", u"-", u"-", u"-", u"-", u"-"}},
        Entries{"CharactersAfterTheSeventhAreIgnored",
                {u"987654321"},
                {u"9", u"8", u"7", u"6", u"5", u"4", u"3"},
                {u"9/V B P", u"8/CH J G", u"7/F", u"6/S Z", u"5/L", u"4/C K Q", u"3/M"}},
        // A wide character fills two slots with one half each, and neither half is a digit.
        Entries{"WideCharacterTakesTwoSlots",
                {u"\U0001F600"
                 u"5"},
                {u"\xD83D", u"\xDE00", u"5"},
                {u"-", u"-", u"5/L", u"-", u"-", u"-", u"-"}},
        Entries{"OtherScriptsDigitsAreNotDigits",
                {u"\uFF11\u06617"},
                {u"\uFF11", u"\u0661", u"7"},
                {u"-", u"-", u"7/F", u"-", u"-", u"-", u"-"}}),
    RowName{});

TEST(ConvertDigitSlots, ChangesNothingAndGivesTheSameEveryTime) {
    DigitSlots slots{};
    UpdateDigitSlots(slots, u"2808");
    const DigitSlots before = slots;
    const auto first = Shown(ConvertDigitSlots(slots));
    EXPECT_EQ(Shown(ConvertDigitSlots(slots)), first);
    EXPECT_EQ(slots, before);
}

}  // namespace
}  // namespace conversion

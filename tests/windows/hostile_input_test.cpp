// Whatever a person types or pastes, the entry keeps whole characters within seven units, the
// result window shows exactly the digits among them, and the program goes on running.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <string>
#include <vector>

#include "program_driver.h"
#include "row_name.h"

namespace {

using Driver = ProgramDriver;

struct Hostile {
    std::string name;
    std::u16string text;
};

// Every place of a seven-digit number, taken by a character of two code units.
std::vector<Hostile> EmojiAtEveryPlace() {
    std::vector<Hostile> rows;
    for (std::size_t place = 0; place <= 7; ++place) {
        std::u16string text = u"1234567";
        text.insert(place, u"\U0001F600");
        rows.push_back({"EmojiAtPlace" + std::to_string(place), text});
    }
    return rows;
}

std::vector<Hostile> HostileTexts() {
    std::vector<Hostile> rows = EmojiAtEveryPlace();
    const std::vector<Hostile> more{
        {"Hebrew", u"\u05D0\u05D1 12"},
        {"ArabicWithItsDigits", u"\u0627\u0663\u06615"},
        {"DirectionMarks", u"\u200F1\u200E2\u202E3"},
        {"CombiningMarks", u"1\u0301\u03082"},
        {"ControlCharacters",
         u"\x01"
         u"1\t2\x1B"
         u"3\x7F"},
        {"NulInside", std::u16string(u"4\0"
                                     u"5",
                                     3)},
        {"FullWidthDigits", u"\uFF11\uFF12\uFF13"},
        {"JoinedEmojiFamily",
         u"\U0001F468\u200D\U0001F469\u200D\U0001F467"
         u"9"},
        {"LoneSurrogates",
         u"1\xD800"
         u"2\xDC00"
         u"3"},
        {"OnlyWideCharacters", u"\U0001F600\U0001F601\U0001F602\U0001F603"},
        {"TenThousandCharacters", std::u16string(5000, u'8') + std::u16string(5000, u'\u05D0')},
    };
    rows.insert(rows.end(), more.begin(), more.end());
    return rows;
}

bool HoldsHalfACharacter(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = QChar::isHighSurrogate(text[i]);
        const bool pairedHigh = high && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1]);
        if ((high && !pairedHigh) || (!high && QChar::isLowSurrogate(text[i]))) {
            return true;
        }
        i += pairedHigh ? 1 : 0;
    }
    return false;
}

void ExpectSoundEntryAndResult() {
    const std::u16string entry = Driver::Entry()->text().toStdU16String();
    EXPECT_LE(entry.size(), 7U);
    EXPECT_FALSE(HoldsHalfACharacter(entry));
    Driver::Convert();
    EXPECT_EQ(Driver::Columns(), ExpectedColumns(entry));
    EXPECT_NE(Driver::Shown("Form1"), nullptr);
}

class HostileTyping : public testing::TestWithParam<Hostile> {};

TEST_P(HostileTyping, LeavesASoundEntryAndAnExactResult) {
    const Driver program;
    Driver::Type(GetParam().text);
    ExpectSoundEntryAndResult();
}

class HostilePaste : public testing::TestWithParam<Hostile> {};

TEST_P(HostilePaste, LeavesASoundEntryAndAnExactResult) {
    const Driver program;
    Driver::Paste(GetParam().text);
    ExpectSoundEntryAndResult();
}

INSTANTIATE_TEST_SUITE_P(Texts, HostileTyping, testing::ValuesIn(HostileTexts()), RowName{});
INSTANTIATE_TEST_SUITE_P(Texts, HostilePaste, testing::ValuesIn(HostileTexts()), RowName{});

}  // namespace

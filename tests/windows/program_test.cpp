// The whole program on real widgets: typed keys, clicks on the pictures, both windows.
#include <gtest/gtest.h>

#include "row_name.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "program_driver.h"
#include "windows/application.h"
#include "windows/forms/picture.h"
#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

using Driver = ProgramDriver;
using Columns = std::vector<std::u16string>;
using Step = std::function<void()>;

const Columns NoColumns(7, u"");
const Columns ThreeOhFive{u"3/M", u"0/R", u"5/L", u"", u"", u"", u""};
const Columns FourOhNine{u"4/C K Q", u"0/R", u"9/V B P", u"", u"", u"", u""};
const Columns EightTwoNine{u"8/CH J G", u"2/N \u00D1", u"9/V B P", u"4/C K Q", u"0/R", u"1/T D", u"5/L"};

Step Typing(const std::u16string& text) {
    return [text] { Driver::Type(text); };
}
Step Pasting(const std::u16string& text) {
    return [text] { Driver::Paste(text); };
}
Step Dropping(const std::u16string& text) {
    return [text] { Driver::Drop(text); };
}
const Step Convert = [] { Driver::Convert(); };
const Step Ok = [] { Driver::Ok(); };
const Step ClearEntry = [] { Driver::ClearEntry(); };
const Step Home = [] { QTest::keyClick(Driver::Entry(), Qt::Key_Home); };
// Keys where the focus is, as a person without a pointer presses them.
const Step Enter = [] { Driver::Press(Qt::Key_Return); };
const Step KeypadEnter = [] { Driver::Press(Qt::Key_Enter, Qt::KeypadModifier); };
const Step HeldEnter = [] { Driver::Hold(Qt::Key_Return, 5); };
const Step Escape = [] { Driver::Press(Qt::Key_Escape); };
Step Keying(std::string_view keys) {
    return [keys] {
        for (const char key : keys) {
            Driver::Press(QTest::asciiToKey(key));
        }
    };
}
const Step DesktopClosesTheResult = [] {
    Driver::Existing("Form2")->close();
    Driver::Settle();
};

void Perform(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        step();
    }
}

QRect PixelRect(const forms::TwipRect& rect) {
    return {forms::ToPixels(rect.left), forms::ToPixels(rect.top), forms::ToPixels(rect.width),
            forms::ToPixels(rect.height)};
}

QString ToQString(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// What a screen reader says for a control: the text of the label that names it, or its own.
QString SpokenName(const forms::ControlDesign& control) {
    if (control.labelledBy != nullptr) {
        return ToQString(control.labelledBy->text);
    }
    return control.accessibleName.empty() ? ToQString(control.text) : QString::fromLatin1(control.accessibleName);
}

TEST(Program, StartsWithOnlyTheMainWindowCentredAndTheEntryFocused) {
    const Driver program;
    QWidget* form1 = Driver::Shown("Form1");
    ASSERT_NE(form1, nullptr);
    const QRect screen = form1->screen()->availableGeometry();
    EXPECT_EQ(form1->frameGeometry(),
              QRect(screen.x() + (screen.width() - 400) / 2, screen.y() + (screen.height() - 499) / 2, 400, 499));
    EXPECT_EQ(form1->windowTitle(), "Tablinor - Verdusk");
    EXPECT_TRUE(form1->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(Driver::Existing("Form2"), nullptr);
    EXPECT_EQ(QApplication::focusWidget(), Driver::Entry());
    EXPECT_TRUE(Driver::Entry()->text().isEmpty());
}

TEST(Program, OpensTheResultWindowOverTheMiddleOfTheMainWindow) {
    const Driver program;
    Driver::Convert();
    QWidget* form1 = Driver::Shown("Form1");
    QWidget* form2 = Driver::Shown("Form2");
    ASSERT_NE(form2, nullptr);
    EXPECT_EQ(form2->size(), QSize(250, 151));
    EXPECT_LE((form2->frameGeometry().center() - form1->frameGeometry().center()).manhattanLength(), 1);
    EXPECT_EQ(QApplication::focusWidget(), form2->findChild<QWidget*>("Command1"));
}

struct Layout {
    const char* name;
    const forms::WindowDesign* design;
};

class DesignedLayout : public testing::TestWithParam<Layout> {};

// Every control stands where the design puts it, in its font and colour, and only the entry
// box and the button take the focus.
TEST_P(DesignedLayout, MatchesTheDesignTableToThePixel) {
    const Driver program;
    Driver::Convert();
    const forms::WindowDesign& design = *GetParam().design;
    QWidget* window = Driver::Shown(design.name.data());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(forms::ToPixels(design.width), forms::ToPixels(design.height)));
    EXPECT_EQ(window->windowTitle(), ToQString(design.caption));
    for (const forms::ControlDesign* control : design.controls) {
        SCOPED_TRACE(control->name.data());
        auto* widget = window->findChild<QWidget*>(QLatin1String(control->name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), PixelRect(control->rect));
        EXPECT_EQ(widget->focusPolicy() != Qt::NoFocus, control->kind != forms::ControlKind::Label);
        EXPECT_FALSE(widget->autoFillBackground());
        if (control->font) {
            EXPECT_EQ(widget->font().family(), QLatin1String(control->font->name));
            EXPECT_EQ(QFontInfo(widget->font()).pixelSize(), qRound(control->font->points * 4 / 3));
            EXPECT_EQ(widget->font().weight(), control->font->weight);
            EXPECT_EQ(QFontInfo(widget->font()).family(), "Tahoma");
        }
        if (control->colour) {
            const QColor colour = widget->palette().color(QPalette::WindowText);
            EXPECT_EQ(colour.red() | colour.green() << 8 | colour.blue() << 16, int(*control->colour));
        }
        EXPECT_EQ(ScreenReaderText(widget), SpokenName(*control));
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, DesignedLayout,
                         testing::Values(Layout{"Form1", &tablinor::form1::Form1},
                                         Layout{"Form2", &tablinor::form2::Form2}),
                         RowName{});

TEST_P(DesignedLayout, DrawsItsPictureUnscaledAtTheOrigin) {
    const Driver program;
    Driver::Convert();
    const forms::WindowDesign& design = *GetParam().design;
    QWidget* window = Driver::Shown(design.name.data());
    ASSERT_NE(window, nullptr);
    const auto bytes = forms::ReadPicture(design.picture).bytes;
    const QImage picture = QImage::fromData(bytes.data(), int(bytes.size())).convertToFormat(QImage::Format_RGB32);
    const QImage shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // Corners of the part the window and the picture share, away from every control.
    const int bottom = std::min(shown.height(), picture.height()) - 1;
    for (const QPoint at : {QPoint(0, 0), QPoint(shown.width() - 1, bottom), QPoint(2, bottom)}) {
        EXPECT_EQ(shown.pixel(at), picture.pixel(at)) << at.x() << "," << at.y();
    }
}

// What the result window shows at a step along the way.
Step Showing(const std::vector<std::u16string>& columns) {
    return [columns] { EXPECT_EQ(Driver::Columns(), columns); };
}

struct Flow {
    const char* name;
    std::vector<Step> steps;
    Columns columns;  // what the result window shows at the end; none when it is closed
    std::u16string entry;
};

class Conversion : public testing::TestWithParam<Flow> {};

TEST_P(Conversion, ShowsEachDigitOverItsConsonants) {
    const Driver program;
    Perform(GetParam().steps);
    Driver::Settle();
    EXPECT_EQ(Driver::Columns(), GetParam().columns);
    EXPECT_EQ(Driver::Entry()->text(), ToQString(GetParam().entry));
    EXPECT_NE(Driver::Shown("Form1"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Flows, Conversion,
    testing::Values(Flow{"NothingTyped", {Convert}, NoColumns, u""},
                    Flow{
                        "ThreeDigits", {Typing(u"305"), Convert}, {u"3/M", u"0/R", u"5/L", u"", u"", u"", u""}, u"305"},
                    Flow{"OneToSeven",
                         {Typing(u"1234567"), Convert},
                         {u"1/T D", u"2/N \u00D1", u"3/M", u"4/C K Q", u"5/L", u"6/S Z", u"7/F"},
                         u"1234567"},
                    Flow{"OpenWindowKeepsTheColumnsLeftAlone",
                         {Typing(u"305"), Convert, ClearEntry, Typing(u"9"), Convert},
                         {u"9/V B P", u"0/R", u"5/L", u"", u"", u"", u""},
                         u"9"},
                    Flow{"SameDigitIntoAnOpenWindowChangesNothing",
                         {Typing(u"0123456"), Convert, ClearEntry, Typing(u"0"), Convert},
                         {u"0/R", u"1/T D", u"2/N \u00D1", u"3/M", u"4/C K Q", u"5/L", u"6/S Z"},
                         u"0"},
                    Flow{"OkEmptiesTheEntryAndClosesTheWindow", {Typing(u"409"), Convert, Ok}, {}, u""},
                    Flow{"ConvertAfterOkShowsTheLastNumberAgain",
                         {Typing(u"409"), Convert, Ok, Convert},
                         {u"4/C K Q", u"0/R", u"9/V B P", u"", u"", u"", u""},
                         u""},
                    Flow{"ConvertAfterOkStartsAFreshWindow",
                         {Typing(u"0123456"), Convert, Ok, Typing(u"12"), Convert},
                         {u"1/T D", u"2/N \u00D1", u"", u"", u"", u"", u""},
                         u"12"},
                    Flow{"SpacesAndLettersLeaveTheirColumns",
                         {Typing(u" 8a"), Convert},
                         {u"", u"8/CH J G", u"", u"", u"", u"", u""},
                         u" 8a"},
                    Flow{"WideCharacterTakesTwoColumns",
                         {Typing(u"\U0001F600"
                                 u"5"),
                          Convert},
                         {u"", u"", u"5/L", u"", u"", u"", u""},
                         u"\U0001F600"
                         u"5"},
                    Flow{"RightToLeftAndOtherScriptsDigits",
                         {Typing(u"\u05D0\u0663\uFF117"), Convert},
                         {u"", u"", u"", u"7/F", u"", u"", u""},
                         u"\u05D0\u0663\uFF117"},
                    Flow{"CombiningMarkIsACharacterOfItsOwn",
                         {Typing(u"1\u03012"), Convert},
                         {u"1/T D", u"", u"2/N \u00D1", u"", u"", u"", u""},
                         u"1\u03012"}),
    RowName{});

// The same by keys alone: Enter converts as a click on the head does, once however long it is
// held, and Escape closes the result window as the desktop's close does.
INSTANTIATE_TEST_SUITE_P(
    KeyFlows, Conversion,
    testing::Values(
        Flow{"EnterConverts", {Typing(u"305"), Enter}, ThreeOhFive, u"305"},
        Flow{"KeypadEnterConverts", {Typing(u"305"), KeypadEnter}, ThreeOhFive, u"305"},
        Flow{"EnterWithNothingTyped", {Enter}, NoColumns, u""},
        Flow{
            "EnterConvertsOnlyTheDigits", {Typing(u" 8a"), Enter}, {u"", u"8/CH J G", u"", u"", u"", u"", u""}, u" 8a"},
        Flow{"HeldEnterConvertsOnceAndLeavesOkAlone", {Typing(u"409"), HeldEnter}, FourOhNine, u"409"},
        Flow{"HeldEnterOnOkConvertsNothingAfter", {Typing(u"409"), Enter, Showing(FourOhNine), HeldEnter}, {}, u""},
        Flow{"EscapeClosesTheResultWindowAndKeepsTheEntry",
             {Typing(u"409"), Enter, Showing(FourOhNine), Escape},
             {},
             u"409"},
        Flow{"EscapeInTheMainWindowDoesNothing", {Typing(u"409"), Escape}, {}, u"409"},
        Flow{"KeyboardSession",
             {Keying("8294015"), Enter, Showing(EightTwoNine), Escape, Enter, Showing(EightTwoNine), Enter,
              Keying("12")},
             {},
             u"12"}),
    RowName{});

struct EntryEdit {
    const char* name;
    std::vector<Step> steps;
    std::u16string entry;
};

class SevenCharacterEntry : public testing::TestWithParam<EntryEdit> {};

TEST_P(SevenCharacterEntry, NeverHoldsMoreThanSevenUnitsOrHalfACharacter) {
    const Driver program;
    Perform(GetParam().steps);
    EXPECT_EQ(Driver::Entry()->text(), ToQString(GetParam().entry));
}

INSTANTIATE_TEST_SUITE_P(
    Edits, SevenCharacterEntry,
    testing::Values(
        EntryEdit{"EighthKeyRefused", {Typing(u"12345678")}, u"1234567"},
        EntryEdit{"WideCharacterThatDoesNotFitRefusedWhole", {Typing(u"123456\U0001F600")}, u"123456"},
        EntryEdit{"WideCharacterThatFitsKept", {Typing(u"12345\U0001F600")}, u"12345\U0001F600"},
        EntryEdit{"PasteCutAtSeven", {Pasting(u"123456789")}, u"1234567"},
        EntryEdit{
            "PasteCutBeforeAWideCharacter", {Typing(u"1234"), Pasting(u"\U0001F600\U0001F600")}, u"1234\U0001F600"},
        EntryEdit{"PasteAtTheStartKeepsWhatWasTyped", {Typing(u"123"), Home, Pasting(u"abcdef")}, u"abcd123"},
        EntryEdit{"HugePaste", {Pasting(std::u16string(10000, u'9'))}, u"9999999"},
        EntryEdit{"PasteKeepsItsFirstLine", {Pasting(u"98\n76")}, u"98"},
        EntryEdit{
            "PasteAtTheStartKeepsItsFirstLineAndWhatWasTyped", {Typing(u"123"), Home, Pasting(u"98\n76")}, u"98123"},
        EntryEdit{"DropKeepsItsFirstLine", {Typing(u"1"), Dropping(u"98\n76")}, u"198"},
        EntryEdit{"ControlCharactersAreNotTyped",
                  {Typing(u"\x01"
                          u"1\x1B"
                          u"2")},
                  u"12"}),
    RowName{});

// Each letter stands on a line of its own in the real font and width, and no line runs into
// the next one.
TEST(ResultWindow, StacksTheConsonantsOneUnderAnother) {
    const Driver program;
    Driver::Type(u"8294");
    Driver::Convert();
    QWidget* form2 = Driver::Shown("Form2");
    ASSERT_NE(form2, nullptr);
    const std::vector<std::pair<const char*, int>> expected{{"Label2", 3}, {"Label4", 2}, {"Label6", 3}, {"Label8", 3}};
    for (const auto& [name, lines] : expected) {
        SCOPED_TRACE(name);
        auto* label = form2->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr);
        EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance("CH"), label->width());
        // Rows with red ink, in runs separated by blank rows.
        const QImage image = label->grab().toImage();
        int runs = 0;
        bool inked = false;
        for (int y = 0; y < image.height(); ++y) {
            bool red = false;
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                red = red || (pixel.red() > 160 && pixel.green() < 120 && pixel.blue() < 120);
            }
            runs += red && !inked ? 1 : 0;
            inked = red;
        }
        EXPECT_GE(runs, lines);
        EXPECT_FALSE(inked) << "the last line runs out of the label";
    }
}

TEST(Program, CloseMarkEndsTheRunWithTheResultWindowOpen) {
    const Driver program;
    Driver::Type(u"12");
    Driver::Convert();
    int entryChanges = 0;
    QObject::connect(Driver::Entry(), &QLineEdit::textChanged, [&entryChanges] { ++entryChanges; });
    Driver::Click("Form1", tablinor::form1::Label3.rect);
    EXPECT_EQ(Driver::Shown("Form1"), nullptr);
    EXPECT_EQ(Driver::Shown("Form2"), nullptr);
    EXPECT_FALSE(tablinor::Form1.Exists());
    EXPECT_FALSE(tablinor::Form2.Exists());
    EXPECT_EQ(entryChanges, 0);  // ended as it was, without the Ok behaviour
    EXPECT_EQ(forms::FinishRun(), 0);
    Driver::Settle();
    EXPECT_EQ(Driver::Existing("Form1"), nullptr);
    EXPECT_EQ(Driver::Existing("Form2"), nullptr);
}

TEST(Program, DesktopCloseOfTheMainWindowEndsTheRun) {
    const Driver program;
    Driver::Convert();
    Driver::Existing("Form1")->close();
    EXPECT_EQ(Driver::Shown("Form1"), nullptr);
    EXPECT_EQ(Driver::Shown("Form2"), nullptr);
    EXPECT_FALSE(tablinor::Form1.Exists());
}

TEST(Program, DesktopCloseOfTheResultWindowKeepsTheEntry) {
    const Driver program;
    Driver::Type(u"12");
    Driver::Convert();
    Driver::Existing("Form2")->close();
    Driver::Settle();
    EXPECT_EQ(Driver::Existing("Form2"), nullptr);
    EXPECT_EQ(Driver::Entry()->text(), "12");
    Driver::Convert();
    EXPECT_EQ(Driver::Columns(), (Columns{u"1/T D", u"2/N \u00D1", u"", u"", u"", u"", u""}));
}

TEST(Program, OkDestroysTheResultWindowWithAllItsWidgets) {
    const Driver program;
    Driver::Type(u"1234567");
    Driver::Convert();  // the toolkit keeps a helper widget of its own after the first window
    Driver::Ok();
    Driver::Settle();
    const auto before = QApplication::allWidgets().size();
    Driver::Convert();
    EXPECT_EQ(QApplication::allWidgets().size(), before + 1 + qsizetype(tablinor::form2::Controls.size()));
    Driver::Ok();
    EXPECT_EQ(Driver::Shown("Form2"), nullptr);
    Driver::Settle();
    EXPECT_EQ(QApplication::allWidgets().size(), before);
}

struct OkKey {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool presses;
};

class KeyOnTheFocusedOk : public testing::TestWithParam<OkKey> {};

// Forms toolkits press a focused command button on Enter as well as on Space.
TEST_P(KeyOnTheFocusedOk, PressesItOnSpaceAndEnterOnly) {
    const Driver program;
    Driver::Type(u"12");
    Driver::Convert();
    QTest::keyClick(QApplication::focusWidget(), GetParam().key, GetParam().modifiers);
    EXPECT_EQ(Driver::Shown("Form2") == nullptr, GetParam().presses);
    EXPECT_EQ(Driver::Entry()->text(), GetParam().presses ? "" : "12");
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyOnTheFocusedOk,
                         testing::Values(OkKey{"Space", Qt::Key_Space, Qt::NoModifier, true},
                                         OkKey{"Enter", Qt::Key_Return, Qt::NoModifier, true},
                                         OkKey{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier, true},
                                         OkKey{"Letter", Qt::Key_A, Qt::NoModifier, false}),
                         RowName{});

struct Focus {
    const char* name;
    std::vector<Step> steps;
    const char* control;  // the one that has the focus at the end
};

class KeyboardFocus : public testing::TestWithParam<Focus> {};

// The focus is on the control that the next key is for, drawn as focused at once (not only from
// a first Tab on), and Tab and Shift+Tab leave it there: the head and the close mark take none.
TEST_P(KeyboardFocus, IsWhereTheNextKeyGoesAndShowsAtOnce) {
    const Driver program;
    Perform(GetParam().steps);
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr) << "the focus is nowhere: the next key is lost";
    EXPECT_EQ(focused->objectName().toStdString(), GetParam().control);
    const QImage shown = focused->grab().toImage();
    Driver::Press(Qt::Key_Tab);
    Driver::Press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), focused);
    EXPECT_TRUE(focused->grab().toImage() == shown) << "drawn as focused only after a Tab";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, KeyboardFocus,
    testing::Values(Focus{"TheBoxAtStart", {}, "Text1"}, Focus{"OkAfterAClickOnTheHead", {Convert}, "Command1"},
                    Focus{"OkAfterEnter", {Enter}, "Command1"},
                    Focus{"OkAfterConvertingIntoTheOpenWindow", {Enter, Convert}, "Command1"},
                    Focus{"TheBoxAfterEnterOnOk", {Enter, Showing(NoColumns), Enter}, "Text1"},
                    Focus{"TheBoxAfterAClickOnOk", {Convert, Ok}, "Text1"},
                    Focus{"TheBoxAfterEscape", {Enter, Showing(NoColumns), Escape}, "Text1"},
                    Focus{"TheBoxAfterTheDesktopClosesTheResult", {Convert, DesktopClosesTheResult}, "Text1"}),
    RowName{});

TEST(Program, SecondRunStartsWithEmptySlots) {
    {
        const Driver first;
        Driver::Type(u"123");
    }
    const Driver second;
    Driver::Convert();
    EXPECT_EQ(Driver::Columns(), NoColumns);
}

struct Place {
    const char* name;
    QPoint point;
};

class OutsideTheClickArea : public testing::TestWithParam<Place> {};

TEST_P(OutsideTheClickArea, ClickDoesNothing) {
    const Driver program;
    Driver::Type(u"1");
    Driver::ClickAt("Form1", GetParam().point);
    EXPECT_FALSE(tablinor::Form2.Exists());
    EXPECT_NE(Driver::Shown("Form1"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Places, OutsideTheClickArea,
                         testing::Values(Place{"LeftOfTheArea", {119, 300}}, Place{"RightOfTheArea", {257, 300}},
                                         Place{"AboveTheArea", {180, 247}}, Place{"BelowTheArea", {180, 393}},
                                         Place{"Title", {200, 40}}, Place{"LowerLeftCorner", {5, 495}}),
                         RowName{});

TEST(Fonts, AMissingFontFolderDegradesToSimilarFontsWithAClearMessage) {
    testing::internal::CaptureStderr();
    const Driver program("/nonexistent-font-folder");
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("/nonexistent-font-folder/tahoma.ttf is missing, so a similar font stands in for it"),
              std::string::npos)
        << message;
    Driver::Type(u"8");
    Driver::Convert();
    EXPECT_EQ(Driver::Columns().front(), u"8/CH J G");
}

TEST(Run, HandlesEventsUntilTheCloseMark) {
    std::u16string shown;
    const int status = forms::Run({}, [&shown] {
        tablinor::Start();
        QTimer::singleShot(0, [&shown] {
            Driver::Type(u"8");
            Driver::Convert();
            shown = Driver::Columns().front();
            Driver::Click("Form1", tablinor::form1::Label3.rect);
        });
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(shown, u"8/CH J G");
    EXPECT_FALSE(tablinor::Form1.Exists());
    EXPECT_EQ(Driver::Existing("Form1"), nullptr);
}

}  // namespace

// The design's faces are drawn unsmoothed at these sizes, as their own tables ask and as Windows
// draws them: smoothed, Wine's Tahoma Bold at 11 pixels is as thin as the regular face. Against
// the white of the picture, unsmoothed letters have dark pixels and no grey ones.
TEST(MainWindow, DrawsItsBoldCaptionUnsmoothed) {
    const Driver program;
    QWidget* form1 = Driver::Shown("Form1");
    ASSERT_NE(form1, nullptr);
    const auto* caption = form1->findChild<QLabel*>("Label1");
    ASSERT_NE(caption, nullptr);
    const QImage image = form1->grab(caption->geometry()).toImage();
    int dark = 0;
    int grey = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int level = qGray(image.pixel(x, y));
            dark += level < 96 ? 1 : 0;
            grey += level >= 96 && level < 224 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 60);
    EXPECT_EQ(grey, 0);
}

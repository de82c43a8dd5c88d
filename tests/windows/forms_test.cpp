// The forms layer on its own, with a probe window of its own design.
#include <gtest/gtest.h>

#include "row_name.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <array>
#include <string>
#include <vector>

#include "probe_design.h"
#include "windows/forms/forms.h"
#include "windows/forms/picture.h"

namespace forms {
namespace {

using probe::Box;
using probe::Caption;
constexpr const WindowDesign& Probe = probe::Window;

constexpr WindowDesign Undecodable = probe::Undecodable(probe::Controls);

class FormsLayer : public testing::Test {
protected:
    void SetUp() override { BeginRun(); }
    void TearDown() override {
        FinishRun();
        QCoreApplication::processEvents();
    }
};

TEST_F(FormsLayer, SettingATextRaisesTheChangeBeforeItReturns) {
    const Window window(Probe);
    TextBox box(window, Box);
    std::vector<std::u16string> seen;
    box.OnChange([&] { seen.push_back(box.Text()); });
    box.SetText(u"12");
    EXPECT_EQ(seen, std::vector<std::u16string>{u"12"});
    // A change handler that sets the text again nests inside the first change.
    box.OnChange([&] {
        seen.push_back(box.Text());
        if (box.Text() == u"9") {
            box.SetText(u"");
        }
    });
    box.SetText(u"9");
    EXPECT_EQ(seen, (std::vector<std::u16string>{u"12", u"9", u""}));
}

TEST_F(FormsLayer, NoHandlerRunsAfterTheEnd) {
    Window window(Probe);
    TextBox box(window, Box);
    int changes = 0;
    box.OnChange([&] { ++changes; });
    window.Show();
    End();
    box.SetText(u"1");
    EXPECT_EQ(changes, 0);
}

struct SetCase {
    const char* name;
    std::u16string set;
    std::u16string kept;
};

class SetTextIntoSevenUnitBox : public FormsLayer, public testing::WithParamInterface<SetCase> {};

TEST_P(SetTextIntoSevenUnitBox, KeepsWholeCharacters) {
    const Window window(Probe);
    TextBox box(window, Box);
    box.SetText(GetParam().set);
    EXPECT_EQ(box.Text(), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Texts, SetTextIntoSevenUnitBox,
                         testing::Values(SetCase{"Ten", u"1234567890", u"1234567"},
                                         SetCase{"WideAtTheLimit", u"123456\U0001F600", u"123456"},
                                         SetCase{"WideWithin", u"12345\U0001F600", u"12345\U0001F600"},
                                         SetCase{"LoneHalf",
                                                 u"1\xD83D"
                                                 u"2",
                                                 u"12"}),
                         RowName{});

struct ClickCase {
    const char* name;
    QPoint press;
    QPoint release;
    Qt::MouseButton button;
    int clicks;
};

class LabelClick : public FormsLayer, public testing::WithParamInterface<ClickCase> {};

TEST_P(LabelClick, IsAPressAndAReleaseOverTheLabel) {
    Window window(Probe);
    Label caption(window, Caption);
    int clicks = 0;
    caption.OnClick([&] { ++clicks; });
    window.Show();
    auto* label = QApplication::topLevelWidgets().constFirst()->findChild<QLabel*>("Caption");
    ASSERT_NE(label, nullptr);
    QTest::mousePress(label, GetParam().button, {}, GetParam().press);
    QTest::mouseRelease(label, GetParam().button, {}, GetParam().release);
    EXPECT_EQ(clicks, GetParam().clicks);
}

INSTANTIATE_TEST_SUITE_P(Gestures, LabelClick,
                         testing::Values(ClickCase{"Inside", {5, 5}, {20, 10}, Qt::LeftButton, 1},
                                         ClickCase{"ReleasedOutside", {5, 5}, {5, 50}, Qt::LeftButton, 0},
                                         ClickCase{"RightButton", {5, 5}, {5, 5}, Qt::RightButton, 0}),
                         RowName{});

TEST_F(FormsLayer, AControlMissingFromTheWindowIsARunTimeError) {
    const Window window(Probe);
    EXPECT_THROW(Label(window, Box), RunTimeError);
}

TEST_F(FormsLayer, APictureThatDoesNotDecodeIsARunTimeError) { EXPECT_THROW(Window{Undecodable}, RunTimeError); }

struct StartCase {
    const char* name;
    ApplicationDesign application;
};

// The first window's picture may be decoded while the toolkit starts; the run goes the same way.
class RunStartingWith : public testing::TestWithParam<StartCase> {};

TEST_P(RunStartingWith, EndsWithAClearMessageAndAFailureStatusWhenThePictureDoesNotDecode) {
    testing::internal::CaptureStderr();
    const int status = forms::Run(GetParam().application, [] { const Window window(Undecodable); });
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(message.find("run-time error: invalid picture: the picture of Undecodable does not decode"),
              std::string::npos)
        << message;
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Decoding, RunStartingWith,
                         testing::Values(StartCase{"WhenShown", {}},
                                         StartCase{"WhileTheToolkitStarts", {.firstWindow = &Undecodable}}),
                         RowName{});

// The first window takes the picture decoded ahead; another window of the same design decodes its own.
TEST(Run, ShowsThePictureDecodedWhileTheToolkitStartedAndDecodesItAgainForTheNextWindow) {
    const auto bytes = ReadPicture(Probe.picture).bytes;
    const QImage picture = QImage::fromData(bytes.data(), int(bytes.size())).convertToFormat(QImage::Format_RGB32);
    std::vector<QImage> shown;
    const int status = forms::Run({.firstWindow = &Probe}, [&] {
        for (int window = 0; window < 2; ++window) {
            Window form(Probe);
            form.Show();
            shown.push_back(
                QApplication::topLevelWidgets().constFirst()->grab().toImage().convertToFormat(QImage::Format_RGB32));
        }
        End();
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(shown.size(), 2U);
    for (const QImage& image : shown) {
        // Corners of the picture, away from the probe's controls.
        for (const QPoint at : {QPoint(0, 0), QPoint(picture.width() - 1, picture.height() - 1)}) {
            EXPECT_EQ(image.pixel(at), picture.pixel(at)) << at.x() << "," << at.y();
        }
    }
}

}  // namespace
}  // namespace forms

// The design's bold texts as the program draws them at the scale factor that ctest sets in
// QT_SCALE_FACTOR: with the stems of a bold face and in their own colour only.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "program_driver.h"
#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

using Driver = ProgramDriver;

// A label's part of its window, in device pixels, shown and with the label hidden: the pixels
// that differ are the text's ink.
struct Grab {
    QImage shown;
    QImage background;

    [[nodiscard]] bool Ink(int x, int y) const { return shown.pixel(x, y) != background.pixel(x, y); }
};

Grab GrabOverItsWindow(QWidget* label) {
    QWidget* window = label->window();
    const QRect area = label->geometry();
    Grab grab{.shown = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32), .background = {}};
    label->hide();
    grab.background = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    label->show();
    return grab;
}

// A row crosses a vertical or slanted stroke in a run of ink as wide as the stroke, and runs along
// a bar far more seldom, so the median length of the rows' runs of ink is the width of the stems.
int StemWidth(const Grab& grab) {
    std::vector<int> runs;
    for (int y = 0; y < grab.shown.height(); ++y) {
        int run = 0;
        for (int x = 0; x <= grab.shown.width(); ++x) {
            if (x < grab.shown.width() && grab.Ink(x, y)) {
                ++run;
            } else if (run > 0) {
                runs.push_back(run);
                run = 0;
            }
        }
    }
    if (runs.empty()) {
        return 0;
    }
    const auto middle = runs.begin() + std::ptrdiff_t(runs.size() / 2);
    std::nth_element(runs.begin(), middle, runs.end());
    return *middle;
}

// Ink of any other colour than the text's: the grey or tinted edge of smoothed glyphs.
int ImpureInk(const Grab& grab, QRgb colour) {
    int impure = 0;
    for (int y = 0; y < grab.shown.height(); ++y) {
        for (int x = 0; x < grab.shown.width(); ++x) {
            impure += grab.Ink(x, y) && grab.shown.pixel(x, y) != colour ? 1 : 0;
        }
    }
    return impure;
}

// Windows draws the design's bold texts, 11 to 13 pixels high at 96 dpi, with stems two pixels
// wide, and as many times that on a denser screen; unsmoothed, as the faces ask at these sizes.
TEST(BoldText, HasTheStemsOfABoldFaceInItsOwnColourOnly) {
    const Driver program;
    Driver::Type(u"8294015");
    Driver::Convert();
    for (const forms::WindowDesign* design : {&tablinor::form1::Form1, &tablinor::form2::Form2}) {
        QWidget* window = Driver::Shown(design->name.data());
        ASSERT_NE(window, nullptr);
        const int boldStem = int(2 * window->devicePixelRatioF());
        for (const forms::ControlDesign* control : design->controls) {
            if (!control->font || control->font->weight < forms::Bold) {
                continue;
            }
            auto* label = window->findChild<QLabel*>(QLatin1String(control->name));
            ASSERT_NE(label, nullptr);
            SCOPED_TRACE(design->name.data() + ("." + label->objectName() + " \"" + label->text() + '"').toStdString());
            const Grab grab = GrabOverItsWindow(label);
            EXPECT_GE(StemWidth(grab), boldStem);
            EXPECT_EQ(ImpureInk(grab, label->palette().color(QPalette::WindowText).rgb()), 0);
        }
    }
}

}  // namespace

// Drives the real seven-unit text box (Qt on the offscreen platform) with any mix of typed keys,
// pastes, program-set texts, cursor moves and deletions, and checks after every step that it
// holds at most seven UTF-16 code units and never half a character.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "windows/forms/forms.h"
#include "windows/probe_design.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool HoldsWholeCharacters(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        } else if (text[i].isSurrogate()) {
            return false;
        }
    }
    return true;
}

// Reads a step's text: a length byte, then that many UTF-16 code units.
std::u16string TakeText(const std::uint8_t*& data, const std::uint8_t* end) {
    std::u16string text;
    const std::size_t length = data < end ? *data++ : 0;
    for (std::size_t i = 0; i < length && data + 1 < end; ++i, data += 2) {
        text.push_back(static_cast<char16_t>(data[0] | (data[1] << 8)));
    }
    return text;
}

QString ToQString(const std::u16string& text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);  // lives as long as the fuzzing process
    forms::BeginRun();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const forms::Window window(probe::Window);
    forms::TextBox box(window, probe::Box);
    auto* edit = QApplication::topLevelWidgets().constLast()->findChild<QLineEdit*>("Box");
    const std::uint8_t* end = data + size;
    while (data < end) {
        const std::uint8_t step = *data++;
        switch (step % 6) {
            case 0:
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, ToQString(TakeText(data, end)),
                                    Qt::NoModifier);
                break;
            case 1:
                QGuiApplication::clipboard()->setText(ToQString(TakeText(data, end)));
                QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
                break;
            case 2:
                box.SetText(TakeText(data, end));
                break;
            case 3:
                QTest::keyClick(edit, step & 8U ? Qt::Key_Home : Qt::Key_Left);
                break;
            case 4:
                QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
                break;
            default:
                QTest::keyClick(edit, step & 8U ? Qt::Key_Backspace : Qt::Key_Delete);
                break;
        }
        Require(box.Text().size() <= 7);
        Require(HoldsWholeCharacters(edit->text()));
    }
    return 0;
}

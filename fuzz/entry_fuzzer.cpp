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
#include <span>
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

// The fuzzer's input, read step by step.
class Steps {
public:
    explicit Steps(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    [[nodiscard]] bool Done() const { return bytes_.empty(); }
    std::uint8_t Byte() {
        const std::uint8_t byte = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return byte;
    }
    // A length byte, then that many UTF-16 code units.
    QString Text() {
        QString text;
        const std::size_t length = Done() ? 0 : Byte();
        for (std::size_t i = 0; i < length && bytes_.size() >= 2; ++i) {
            text.append(QChar(char16_t(bytes_[0] | (bytes_[1] << 8))));
            bytes_ = bytes_.subspan(2);
        }
        return text;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

void Perform(std::uint8_t step, Steps& steps, forms::TextBox& box, QLineEdit* edit) {
    const bool variant = (step & 8U) != 0;
    switch (step % 6) {
        case 0:
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, steps.Text(), Qt::NoModifier);
            break;
        case 1:
            QGuiApplication::clipboard()->setText(steps.Text());
            QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            break;
        case 2:
            box.SetText(steps.Text().toStdU16String());
            break;
        case 3:
            QTest::keyClick(edit, variant ? Qt::Key_Home : Qt::Key_Left);
            break;
        case 4:
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            break;
        default:
            QTest::keyClick(edit, variant ? Qt::Key_Backspace : Qt::Key_Delete);
            break;
    }
}

}  // namespace

// NOLINTNEXTLINE(readability-non-const-parameter): the signature is libFuzzer's
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
    Steps steps({data, size});
    while (!steps.Done()) {
        Perform(steps.Byte(), steps, box, edit);
        Require(box.Text().size() <= 7);
        Require(HoldsWholeCharacters(edit->text()));
    }
    return 0;
}

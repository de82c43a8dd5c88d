#include "program_driver.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QWindow>

#include "conversion/digit_code.h"
#include "windows/application.h"
#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

QString ToQString(std::u16string_view text) { return QString::fromUtf16(text.data(), qsizetype(text.size())); }

// A key goes to the window that has the focus; with none, it is lost.
void SendKey(bool press, Qt::Key key, Qt::KeyboardModifiers modifiers, bool repeat) {
    QWindow* focused = QGuiApplication::focusWindow();
    ASSERT_NE(focused, nullptr) << "no window has the focus: the key is lost";
    const char ascii = QTest::keyToAscii(key);
    QTest::simulateEvent(focused, press, key, modifiers, ascii != 0 ? QString(QChar(ascii)) : QString(), repeat);
}

}  // namespace

std::vector<std::u16string> ExpectedColumns(std::u16string_view entry) {
    std::vector<std::u16string> columns;
    for (std::size_t k = 0; k < conversion::SlotCount; ++k) {
        const auto row = k < entry.size() ? conversion::LookupDigit(entry.substr(k, 1)) : std::nullopt;
        columns.push_back(row ? std::u16string(row->digit) + u'/' + std::u16string(row->consonants) : u"");
    }
    return columns;
}

QString ScreenReaderText(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

ProgramDriver::ProgramDriver(std::string_view fontFolder) {
    forms::BeginRun({.fontFolder = fontFolder});
    tablinor::Start();
    if (QWidget* form1 = Shown("Form1")) {
        (void)QTest::qWaitForWindowActive(form1);
    }
}

ProgramDriver::~ProgramDriver() {
    forms::FinishRun();
    Settle();
}

QWidget* ProgramDriver::Existing(const char* window) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String(window)) {
            return widget;
        }
    }
    return nullptr;
}

QWidget* ProgramDriver::Shown(const char* window) {
    QWidget* widget = Existing(window);
    return widget != nullptr && widget->isVisible() ? widget : nullptr;
}

QLineEdit* ProgramDriver::Entry() { return Existing("Form1")->findChild<QLineEdit*>("Text1"); }

void ProgramDriver::Type(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool pair = QChar::isHighSurrogate(text[i]) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1]);
        const std::size_t width = pair ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, Entry(), Qt::Key_unknown, ToQString(text.substr(i, width)), Qt::NoModifier);
        i += width - 1;
    }
}

void ProgramDriver::Paste(std::u16string_view text) {
    QGuiApplication::clipboard()->setText(ToQString(text));
    QTest::keyClick(Entry(), Qt::Key_V, Qt::ControlModifier);
}

void ProgramDriver::Drop(std::u16string_view text) {
    QMimeData data;
    data.setText(ToQString(text));
    const QPoint end(Entry()->width() - 2, Entry()->height() / 2);
    QDragEnterEvent enter(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Entry(), &enter);  // makes the box the drag's target
    QDropEvent drop(end, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Entry(), &drop);
}

void ProgramDriver::ClearEntry() {
    QTest::keyClick(Entry(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Entry(), Qt::Key_Backspace);
}

void ProgramDriver::Click(const char* window, const forms::TwipRect& rect) {
    ClickAt(window, QPoint(forms::ToPixels(rect.left + rect.width / 2), forms::ToPixels(rect.top + rect.height / 2)));
}

void ProgramDriver::ClickAt(const char* window, QPoint point) {
    QWidget* widget = Shown(window);
    ASSERT_NE(widget, nullptr) << window << " is not shown";
    QTest::mouseClick(widget->windowHandle(), Qt::LeftButton, {}, point);
}

void ProgramDriver::Convert() { Click("Form1", tablinor::form1::Label2.rect); }

void ProgramDriver::Ok() { Click("Form2", tablinor::form2::Command1.rect); }

void ProgramDriver::Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    SendKey(true, key, modifiers, false);
    SendKey(false, key, modifiers, false);
}

// As X11 repeats a held key: a release and a press, both marked as repeats, for each repeat.
void ProgramDriver::Hold(Qt::Key key, int repeats) {
    SendKey(true, key, Qt::NoModifier, false);
    for (int repeat = 0; repeat < repeats; ++repeat) {
        SendKey(false, key, Qt::NoModifier, true);
        SendKey(true, key, Qt::NoModifier, true);
    }
    SendKey(false, key, Qt::NoModifier, false);
}

void ProgramDriver::Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

std::vector<std::u16string> ProgramDriver::Columns() {
    std::vector<std::u16string> columns;
    QWidget* form2 = Shown("Form2");
    if (form2 == nullptr) {
        return columns;
    }
    const auto& labels = tablinor::form2::Labels;
    for (std::size_t k = 0; k < labels.size(); k += 2) {
        const auto text = [form2](const forms::ControlDesign& design) {
            return ScreenReaderText(form2->findChild<QLabel*>(QLatin1String(design.name)));
        };
        const QString digit = text(labels.at(k));
        const QString consonants = text(labels.at(k + 1));
        columns.push_back(digit.isEmpty() && consonants.isEmpty() ? u"" : (digit + u'/' + consonants).toStdU16String());
    }
    return columns;
}

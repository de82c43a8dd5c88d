// Drives the real program the way a person does: keys into the entry box, clicks on the windows.
#pragma once

#include <QPoint>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

#include "windows/forms/design.h"

class QLabel;
class QLineEdit;
class QWidget;

// What a fresh result window must show for an entry, column by column, as Columns() reads it:
// each of the first seven code units that the digit code knows, over its consonants.
std::vector<std::u16string> ExpectedColumns(std::u16string_view entry);

// What a screen reader reads for a widget.
QString ScreenReaderText(QWidget* widget);

class ProgramDriver {
public:
    // Starts the program, with the design's fonts from `fontFolder`.
    explicit ProgramDriver(std::string_view fontFolder = TABLINOR_FONT_DIR);
    ~ProgramDriver();
    ProgramDriver(const ProgramDriver&) = delete;
    ProgramDriver& operator=(const ProgramDriver&) = delete;
    ProgramDriver(ProgramDriver&&) = delete;
    ProgramDriver& operator=(ProgramDriver&&) = delete;

    // The shown top-level window of that name, or null.
    static QWidget* Shown(const char* window);
    // The window of that name whether shown or not, or null once it is destroyed.
    static QWidget* Existing(const char* window);
    static QLineEdit* Entry();

    // Types each character as a key press into the entry box, wide characters included.
    static void Type(std::u16string_view text);
    static void Paste(std::u16string_view text);
    // Drops the text at the end of the entry box, as dragged from another program.
    static void Drop(std::u16string_view text);
    static void ClearEntry();  // select all, then delete

    // A left click at the centre of a control's design rectangle, delivered to the window.
    static void Click(const char* window, const forms::TwipRect& rect);
    static void ClickAt(const char* window, QPoint point);
    static void Convert();
    static void Ok();
    // A key pressed and released where the focus is, in whichever window has it, as on a keyboard.
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A key held down through `repeats` of the keyboard's repeats, then released.
    static void Hold(Qt::Key key, int repeats);
    // Lets the event loop run, so that what was scheduled for it happens.
    static void Settle();

    // What the result window's columns read: "digit/consonants", "" for an empty column.
    static std::vector<std::u16string> Columns();
};

// Design data of a window: what the forms layer needs to build it, fixed at design time.
// Lengths are in twips (1/1440 inch; 15 twips make a pixel at 96 dpi), colours are 0x00BBGGRR.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace forms {

inline constexpr int TwipsPerPixel = 15;
inline constexpr int Normal = 400;
inline constexpr int Bold = 700;

using Colour = std::uint32_t;

struct FontDesign {
    std::string_view name;
    double points;
    int weight;
};

// What Windows draws a control in that the design leaves in the toolkit's font and text colour:
// its dialog face and the window text colour. Backends that cannot take them from Windows use these.
inline constexpr FontDesign DialogFont{.name = "MS Shell Dlg", .points = 8, .weight = Normal};
inline constexpr Colour WindowTextColour = 0x00000000;

struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

enum class ControlKind { Label, TextBox, Button };
enum class Alignment { Left, Centre };
enum class Pointer { Arrow, Hand };
enum class Keyboard { Text, Digits };

struct ControlDesign {
    std::string_view name;
    ControlKind kind;
    TwipRect rect;
    std::u16string_view text = {};
    std::optional<FontDesign> font = {};  // none: the toolkit's default font
    std::optional<Colour> colour = {};    // none: the toolkit's default text colour
    bool transparent = false;
    Alignment alignment = Alignment::Left;
    int maxLength = 0;  // text boxes only, in UTF-16 code units; 0 is no limit
    // Text boxes only: the keys that a touch screen's keyboard offers first. The box takes any
    // text whichever it offers.
    Keyboard keyboard = Keyboard::Text;
    int tabIndex = 0;
    // What a screen reader says for a control whose text does not tell what it does.
    std::string_view accessibleName = {};
    Pointer pointer = Pointer::Arrow;
    // The label whose text names this control for screen readers.
    const ControlDesign* labelledBy = nullptr;
};

enum class StartPosition { CentreScreen, CentreOwner };

struct WindowDesign {
    std::string_view name;
    std::u16string_view caption;  // the window's name towards the desktop
    int width;                    // client size, in twips
    int height;
    StartPosition start;
    // A persisted picture: "lt", two zero bytes, the image length (32-bit little-endian), the image.
    std::span<const std::uint8_t> picture;
    std::span<const ControlDesign* const> controls;  // in tab order
    // The keyboard of a form whose only tab stops are its box or its button: the control whose
    // click Enter (either Enter key) raises from anywhere in the window, as a form's default
    // button; and whether Escape asks the window to close, as the desktop's close does, as a form's
    // cancel button. One press, one click: a key held down repeats nothing.
    const ControlDesign* enterClicks = nullptr;
    bool escapeCloses = false;
};

inline constexpr int ToPixels(int twips) { return twips / TwipsPerPixel; }

// A font's size in whole pixels at the design's 96 dpi, as the windows were laid out (9.75 points
// are 13 pixels); the toolkits scale it with the twips on denser screens.
inline int FontPixels(const FontDesign& design) {
    constexpr double PixelsPerPoint = 96.0 / 72.0;
    return int(std::lround(design.points * PixelsPerPoint));
}

// How wide Windows draws a bold text's stems at 96 dpi. A backend whose bold face comes out
// thinner draws the text again further right, as Windows emboldens a face with no bold of its own.
inline constexpr int BoldStemPixels = 2;

}  // namespace forms

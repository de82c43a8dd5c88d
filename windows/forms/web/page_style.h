// How the page draws a window and its controls: the CSS of each, from its design. The program
// writes it into the elements it makes, and the build writes the first window's into the page
// itself, so that the browser shows that window before the program runs.
#pragma once

#include <string>

#include "windows/forms/design.h"
#include "windows/forms/web/face.h"

namespace forms::web {

// The faces the page carries. Wine's Tahoma is metric-compatible with the face the windows were
// laid out in, so "CH" fits its 17-pixel column, and it stands in for MS Sans Serif and for
// Windows' dialog face, as it took their place in Windows' own dialogs. Faces of the page take
// precedence over the system's, so every browser draws the same. The design's texts are all bold,
// drawn in the bold face, which the build writes into the page with the main window and the
// program takes from there; the controls it leaves in the toolkit's font, the entry and Ok, are
// drawn in the dialog face, which the program carries and adds, as nothing is drawn in it before.
struct PageFace {
    const char* family;  // as the page's style names it
    int weight;
    const Face& face;
};
extern const PageFace BoldFace;
extern const PageFace DialogFace;

// The page face that draws a font of the design, or none.
const PageFace* PageFaceOf(const FontDesign& design);

// CSS pixels that a viewport too small for a window centred on the screen keeps around it.
inline constexpr int ViewportMargin = 8;

std::string Pixels(int pixels);

// A number of CSS pixels with six decimals, as C's "%f" writes it.
std::string Pixels(double pixels);

std::string Placed(int left, int top, int width, int height);

// A window at its place and size, clipping its controls; it places its picture at the origin.
std::string WindowStyle(const WindowDesign& design);

// The element that stands for a control of this kind.
const char* ControlTag(ControlKind kind);

// A control as the design draws it, at a screen's ratio of device pixels to CSS pixels.
std::string ControlStyle(const ControlDesign& design, double pixelRatio);

}  // namespace forms::web

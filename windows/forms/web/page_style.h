// How the page draws a window and its controls: the CSS of each, from its design. The program
// writes it into the elements it makes, and the build writes the first window's into the page
// itself, so that the browser shows that window before the program runs.
#pragma once

#include <array>
#include <string>

#include "windows/forms/design.h"
#include "windows/forms/web/face.h"

namespace forms::web {

// The faces the page carries. Wine's Tahoma is metric-compatible with the face the windows were
// laid out in, so "CH" fits its 17-pixel column, and it stands in for MS Sans Serif and for
// Windows' dialog face, as it took their place in Windows' own dialogs. Faces of the page take
// precedence over the system's, so every browser draws the same. The design's texts are all bold;
// the controls it leaves in the toolkit's font are drawn in the dialog face.
struct PageFace {
    const char* family;
    int weight;
    const Face& face;
};
extern const std::array<PageFace, 3> PageFaces;

// The page face that draws a font of the design, or none.
const PageFace* PageFaceOf(const FontDesign& design);

// CSS pixels that a viewport too small for a window centred on the screen keeps around it.
inline constexpr int ViewportMargin = 8;

std::string Pixels(int pixels);

std::string Placed(int left, int top, int width, int height);

// A window at its place and size, clipping its controls; it places its picture at the origin.
std::string WindowStyle(const WindowDesign& design);

// The element that stands for a control of this kind.
const char* ControlTag(ControlKind kind);

// A control as the design draws it, at a screen's ratio of device pixels to CSS pixels.
std::string ControlStyle(const ControlDesign& design, double pixelRatio);

}  // namespace forms::web

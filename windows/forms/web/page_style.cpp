#include "windows/forms/web/page_style.h"

#include <cmath>

#include "windows/forms/web/page_faces.h"

namespace forms::web {

const PageFace BoldFace{.family = "Tahoma", .weight = Bold, .face = TahomaBold};
const PageFace DialogFace{.family = "MS Shell Dlg", .weight = Normal, .face = Tahoma};

const PageFace* PageFaceOf(const FontDesign& design) {
    if (design.weight == Bold && (design.name == "Tahoma" || design.name == "MS Sans Serif")) {
        return &BoldFace;
    }
    return design.weight == Normal && design.name == DialogFace.family ? &DialogFace : nullptr;
}

std::string Pixels(int pixels) { return std::to_string(pixels) + "px"; }

// Without C's formatting, which would bring its printf into the program for this alone.
std::string Pixels(double pixels) {
    constexpr long long Millionths = 1000000;
    const long long rounded = std::llround(pixels * double(Millionths));
    const std::string fraction = std::to_string(rounded % Millionths);
    return std::to_string(rounded / Millionths) + "." + std::string(6 - fraction.size(), '0') + fraction + "px";
}

std::string Placed(int left, int top, int width, int height) {
    return "position:absolute;margin:0;box-sizing:border-box;left:" + Pixels(left) + ";top:" + Pixels(top) +
           ";width:" + Pixels(width) + ";height:" + Pixels(height) + ";";
}

std::string WindowStyle(const WindowDesign& design) {
    return Placed(0, 0, ToPixels(design.width), ToPixels(design.height)) +
           "position:fixed;overflow:hidden;transform-origin:0 0;";
}

namespace {

std::string CssColour(Colour bgr) {
    constexpr Colour Byte = 0xFF;
    return "rgb(" + std::to_string(bgr & Byte) + "," + std::to_string((bgr >> 8) & Byte) + "," +
           std::to_string((bgr >> 16) & Byte) + ")";
}

std::string CssFont(const FontDesign& design) {
    const PageFace* face = PageFaceOf(design);
    return std::to_string(design.weight) + " " + Pixels(FontPixels(design)) + " \"" +
           (face != nullptr ? std::string(face->family) : std::string(design.name)) + "\", sans-serif";
}

// Windows spaces the lines of a text by the face's Windows ascent and descent, rounded up.
std::string LineSpacing(const FontDesign& design) {
    const PageFace* face = PageFaceOf(design);
    if (face == nullptr) {
        return "normal";
    }
    const double pixelsPerUnit = double(FontPixels(design)) / face->face.unitsPerEm;
    return Pixels(int(std::ceil((face->face.winAscent + face->face.winDescent) * pixelsPerUnit)));
}

// Windows draws the design's bold texts with stems two pixels wide at 96 dpi. Where the face's
// stems are thinner at the text's size, as Wine's Tahoma Bold's are (its outlines are the regular
// face's), the text is drawn again further right up to one pixel, as Windows emboldens a face
// without a bold of its own: here as shadows of the text's own colour, which the browser draws
// under the text without blurring them. They come every half device pixel: WebKit places glyphs
// between pixels, where whole steps would leave each stem's second pixel half covered.
std::string Overstrike(const FontDesign& design, double pixelRatio) {
    const PageFace* face = PageFaceOf(design);
    if (design.weight < Bold || face == nullptr ||
        double(face->face.stemWidth) * FontPixels(design) / face->face.unitsPerEm >= BoldStemPixels) {
        return "none";
    }
    std::string shadows;
    const int steps = int(std::ceil(2 * pixelRatio));
    for (int step = 1; step <= steps; ++step) {
        shadows += (shadows.empty() ? "" : ", ") + Pixels(step / (2 * pixelRatio)) + " 0 currentColor";
    }
    return shadows;
}

std::string FontStyle(const FontDesign& design, double pixelRatio) {
    return "font:" + CssFont(design) + ";line-height:" + LineSpacing(design) +
           ";text-shadow:" + Overstrike(design, pixelRatio) + ";";
}

// The entry and the button in the classic look of Windows, the same in every engine: a sunken
// edge around a white box, and a raised one around a button face, two pixels each, in Windows' own
// colours (the highlight, light, shadow and dark shadow of the 3D objects). Drawn inside the box,
// they leave its border free to widen where a finger taps.
constexpr const char* SunkenEdge =
    "appearance:none;border:0;padding:0 3px;background:#FFFFFF;outline:none;"
    "box-shadow:inset 1px 1px #A0A0A0,inset -1px -1px #FFFFFF,inset 2px 2px #696969,inset -2px -2px #E3E3E3;";
constexpr const char* RaisedEdge =
    "appearance:none;border:0;padding:0;background:#F0F0F0;"
    "box-shadow:inset -1px -1px #696969,inset 1px 1px #FFFFFF,inset -2px -2px #A0A0A0,inset 2px 2px #E3E3E3;";

// What a kind of control draws besides: a Windows label wraps its text at spaces and clips it.
std::string KindStyle(const ControlDesign& design) {
    switch (design.kind) {
        case ControlKind::Label:
            return std::string("white-space:pre-wrap;overflow:hidden;user-select:none;text-align:") +
                   (design.alignment == Alignment::Centre ? "center" : "left") +
                   (design.transparent ? ";background:transparent;" : ";background:ButtonFace;");
        case ControlKind::TextBox:
            return SunkenEdge;
        case ControlKind::Button:
            return RaisedEdge;
    }
    return {};
}

}  // namespace

const char* ControlTag(ControlKind kind) {
    switch (kind) {
        case ControlKind::Label:
            return "div";
        case ControlKind::TextBox:
            return "input";
        case ControlKind::Button:
            return "button";
    }
    return "div";
}

std::string ControlStyle(const ControlDesign& design, double pixelRatio) {
    std::string declarations = Placed(ToPixels(design.rect.left), ToPixels(design.rect.top),
                                      ToPixels(design.rect.width), ToPixels(design.rect.height));
    // Every engine has defaults of its own; WebKit's button text is translucent, as if disabled.
    declarations += FontStyle(design.font.value_or(DialogFont), pixelRatio) +
                    "color:" + CssColour(design.colour.value_or(WindowTextColour)) + ";";
    declarations += design.pointer == Pointer::Hand ? "cursor:pointer;" : "cursor:default;";
    return declarations + KindStyle(design);
}

}  // namespace forms::web

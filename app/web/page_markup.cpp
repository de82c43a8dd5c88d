// Writes the main window into the web page at build time, for the browser to show in its first
// frame, before the program runs, which then takes it over: the window's elements, their style as
// a style sheet, the face its texts are drawn in, its picture, and the few lines that place it as
// the program will. The program takes the picture and the face from the page; it carries neither.
// It runs under Node.js, whose Buffer encodes the files as base64.
//
// Usage: node page-markup.js OUTPUT PICTURE
//   PICTURE is the window's picture file.
#include <emscripten/val.h>

#include <cstdint>
#include <fstream>
#include <iostream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "windows/forms/web/page_faces.h"
#include "windows/forms/web/page_style.h"
#include "windows/main_window_design.h"

namespace {

using emscripten::val;
using namespace forms;

std::string Base64(std::span<const std::uint8_t> bytes) {
    const val view(emscripten::typed_memory_view(bytes.size(), bytes.data()));
    return val::global("Buffer").call<val>("from", view).call<std::string>("toString", std::string("base64"));
}

// A text of the design as the content of an element or an attribute's value.
std::string Escaped(std::u16string_view text) {
    std::string escaped;
    for (const char byte : val(std::u16string(text)).as<std::string>()) {
        switch (byte) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += byte;
        }
    }
    return escaped;
}

std::string Rule(const std::string& id, const std::string& declarations) {
    return "[id=\"" + id + "\"]{" + declarations + "}";
}

// The bold face, in which the window's texts are drawn.
std::string FaceRule() {
    return "@font-face{font-family:\"" + std::string(web::BoldFace.family) +
           "\";font-weight:" + std::to_string(web::BoldFace.weight) + ";src:url(data:font/ttf;base64," +
           Base64(web::TahomaBoldFile) + ")}";
}

// Unseen until the script after it has placed it.
std::string WindowRules(const WindowDesign& window) {
    const std::string name(window.name);
    return Rule(name, web::WindowStyle(window) + "visibility:hidden;") + "[id=\"" + name +
           "\"]>img{position:absolute;left:0;top:0}";
}

// Places the window as the program places it (Window::Impl::PlaceAtStart) before the browser's
// first frame, which then shows it: centred, and the whole scene shrunk to fit a viewport smaller
// than the window with its margin. So it stays as the viewport changes, until the program has
// taken the window over. Both leave the numbers to the page to write, so that they write alike.
// Its bold texts are drawn again every half device pixel of this screen, as the program draws
// them (web::ControlStyle), where the style written for one device pixel to the CSS pixel has it.
constexpr std::string_view Placing = R"(<script>{
const written = document.getElementById("@NAME@");
const place = () => {
    if (!written.hasAttribute("data-written")) return removeEventListener("resize", place);
    const {clientWidth: width, clientHeight: height} = document.documentElement;
    const scale = Math.max(0, Math.min(1, (width - @MARGINS@) / @WIDTH@, (height - @MARGINS@) / @HEIGHT@));
    Object.assign(written.style, {left: Math.max(0, Math.floor((width - @WIDTH@ * scale) / 2)) + "px",
                                  top: Math.max(0, Math.floor((height - @HEIGHT@ * scale) / 2)) + "px",
                                  scale: scale < 1 ? scale : "none", visibility: "visible"});
};
place();
addEventListener("resize", place);
const shadows = Array.from({length: Math.ceil(2 * devicePixelRatio)},
                           (_, step) => ((step + 1) / (2 * devicePixelRatio)).toFixed(6) + "px 0 currentColor");
for (const text of written.querySelectorAll("*"))
    if (getComputedStyle(text).textShadow !== "none") text.style.textShadow = shadows.join(", ");
}</script>
)";

std::string PlacingScript(const WindowDesign& window) {
    std::string script(Placing);
    for (const auto& [name, value] : {std::pair{"@NAME@", std::string(window.name)},
                                      {"@WIDTH@", std::to_string(ToPixels(window.width))},
                                      {"@HEIGHT@", std::to_string(ToPixels(window.height))},
                                      {"@MARGINS@", std::to_string(2 * web::ViewportMargin)}}) {
        for (auto at = script.find(name); at != std::string::npos; at = script.find(name, at)) {
            script.replace(at, std::string_view(name).size(), value);
        }
    }
    return script;
}

std::string ControlMarkup(const std::string& id, const ControlDesign& control) {
    const std::string attributes = "id=\"" + id + "\"";
    switch (control.kind) {
        case ControlKind::TextBox:
            // A stand-in drawn alike, which the page makes a text field after its first frame: a
            // text field of its own costs that frame about 15 ms in Chromium.
            return "<div " + attributes + " data-stand-in=\"" + Escaped(control.text) + "\"></div>";
        case ControlKind::Button:
            return "<button " + attributes + " type=\"button\">" + Escaped(control.text) + "</button>";
        case ControlKind::Label:
            break;
    }
    return "<div " + attributes + ">" + Escaped(control.text) + "</div>";
}

std::string WindowMarkup(const WindowDesign& window, std::span<const std::uint8_t> picture) {
    const std::string name(window.name);
    std::string style = FaceRule() + WindowRules(window);
    // The control that Enter clicks, for the page to hold an Enter pressed before the program runs.
    const std::string enter = window.enterClicks != nullptr
                                  ? " data-enter=\"" + name + "." + std::string(window.enterClicks->name) + "\""
                                  : "";
    std::string markup = "<div id=\"" + name + "\"" + enter +
                         R"( data-written><img alt="" src="data:image/jpeg;base64,)" + Base64(picture) + "\">";
    for (const ControlDesign* control : window.controls) {
        const std::string id = name + "." + std::string(control->name);
        style += Rule(id, web::ControlStyle(*control, 1));
        markup += ControlMarkup(id, *control);
    }
    return "<style>" + style + "</style>\n" + markup + "</div>\n" + PlacingScript(window);
}

}  // namespace

int main(int argc, char** argv) {
    const std::span arguments(argv, static_cast<std::size_t>(argc));
    if (arguments.size() != 3) {
        std::cerr << "usage: page-markup OUTPUT PICTURE\n";
        return 2;
    }
    std::ifstream file(arguments[2], std::ios::binary);
    const std::vector<std::uint8_t> picture{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file || picture.empty()) {
        std::cerr << "page-markup: cannot read " << arguments[2] << "\n";
        return 1;
    }
    std::ofstream output(arguments[1]);
    output << WindowMarkup(tablinor::form1::Form1, picture);
    if (!output.flush()) {
        std::cerr << "page-markup: cannot write " << arguments[1] << "\n";
        return 1;
    }
    return 0;
}

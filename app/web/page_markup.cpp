// Writes the main window into the web page at build time, for the browser to show in its first
// frame, before the program runs, which then takes it over: the window's elements, their style as
// a style sheet, the face its texts are drawn in and its picture. It runs under Node.js, whose
// Buffer encodes the files as base64.
//
// Usage: node page-markup.js OUTPUT
#include <emscripten/val.h>

#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <set>
#include <span>
#include <string>

#include "windows/forms/picture.h"
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

std::string FaceRules(const WindowDesign& window) {
    std::set<const web::PageFace*> faces;
    for (const ControlDesign* control : window.controls) {
        if (const web::PageFace* face = web::PageFaceOf(control->font.value_or(DialogFont));
            face != nullptr && !control->text.empty()) {
            faces.insert(face);
        }
    }
    std::string rules;
    for (const web::PageFace* face : faces) {
        rules += "@font-face{font-family:\"" + std::string(face->family) +
                 "\";font-weight:" + std::to_string(face->weight) + ";src:url(data:font/ttf;base64," +
                 Base64(face->face.file) + ")}";
    }
    return rules;
}

// Centred in the viewport as the program places it, whole pixels from its top left corner. A
// viewport that the program would show the window shrunk in shows nothing until it runs.
std::string WindowRules(const WindowDesign& window) {
    const int width = ToPixels(window.width);
    const int height = ToPixels(window.height);
    const std::string name(window.name);
    const auto centred = [](int length) { return "max(0px,round(down,(100% - " + web::Pixels(length) + ") / 2,1px))"; };
    return Rule(name, web::WindowStyle(window) + "left:" + centred(width) + ";top:" + centred(height) + ";") +
           "[id=\"" + name + "\"]>img{position:absolute;left:0;top:0}" + "@media (width < " +
           web::Pixels(width + 2 * web::ViewportMargin) + "),(height < " +
           web::Pixels(height + 2 * web::ViewportMargin) + "){" + Rule(name, "visibility:hidden") + "}";
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

std::string WindowMarkup(const WindowDesign& window) {
    const std::string name(window.name);
    std::string style = FaceRules(window) + WindowRules(window);
    // The control that Enter clicks, for the page to hold an Enter pressed before the program runs.
    const std::string enter = window.enterClicks != nullptr
                                  ? " data-enter=\"" + name + "." + std::string(window.enterClicks->name) + "\""
                                  : "";
    std::string markup = "<div id=\"" + name + "\"" + enter +
                         R"( data-written><img alt="" src="data:image/jpeg;base64,)" +
                         Base64(PictureImage(window.picture)) + "\">";
    for (const ControlDesign* control : window.controls) {
        const std::string id = name + "." + std::string(control->name);
        style += Rule(id, web::ControlStyle(*control, 1));
        markup += ControlMarkup(id, *control);
    }
    return "<style>" + style + "</style>\n" + markup + "</div>\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::span arguments(argv, static_cast<std::size_t>(argc));
    if (arguments.size() != 2) {
        std::cerr << "usage: page-markup OUTPUT\n";
        return 2;
    }
    try {
        const std::string path = arguments[1];
        std::ofstream output(path);
        output << WindowMarkup(tablinor::form1::Form1);
        if (!output.flush()) {
            std::cerr << "page-markup: cannot write " << path << "\n";
            return 1;
        }
    } catch (const std::exception& error) {
        std::cerr << "page-markup: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

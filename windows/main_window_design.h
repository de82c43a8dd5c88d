// Form1 as designed: a borderless picture with the entry box, its caption, the convert area and
// the close mark.
#pragma once

#include <array>

#include "windows/forms/design.h"
#include "windows/pictures/main_picture.h"

namespace tablinor::form1 {

inline constexpr forms::ControlDesign Label1{
    .name = "Label1",
    .kind = forms::ControlKind::Label,
    .rect = {.left = 2520, .top = 1440, .width = 855, .height = 255},
    .text = u"N\u00FAmeros",
    .font = forms::FontDesign{.name = "MS Sans Serif", .points = 8.25, .weight = forms::Bold},
    .transparent = true,
    .tabIndex = 1,
};

inline constexpr forms::ControlDesign Text1{
    .name = "Text1",
    .kind = forms::ControlKind::TextBox,
    .rect = {.left = 1920, .top = 1800, .width = 1935, .height = 375},
    .maxLength = 7,
    .keyboard = forms::Keyboard::Digits,
    .tabIndex = 0,
    .labelledBy = &Label1,
};

// Invisible: it lies over the open skull of the picture, and a click on it converts the number.
inline constexpr forms::ControlDesign Label2{
    .name = "Label2",
    .kind = forms::ControlKind::Label,
    .rect = {.left = 1800, .top = 3720, .width = 2055, .height = 2175},
    .transparent = true,
    .tabIndex = 2,
    .accessibleName = "Convertir",
    .pointer = forms::Pointer::Hand,
};

inline constexpr forms::ControlDesign Label3{
    .name = "Label3",
    .kind = forms::ControlKind::Label,
    .rect = {.left = 5640, .top = 120, .width = 255, .height = 255},
    .text = u"X",
    .font = forms::FontDesign{.name = "MS Sans Serif", .points = 9.75, .weight = forms::Bold},
    .transparent = true,
    .tabIndex = 3,
    .accessibleName = "Cerrar",
    .pointer = forms::Pointer::Hand,
};

inline constexpr std::array<const forms::ControlDesign*, 4> Controls{&Text1, &Label1, &Label2, &Label3};

inline constexpr forms::WindowDesign Form1{
    .name = "Form1",
    .caption = u"Tablinor - Verdusk",
    .width = 6000,
    .height = 7485,
    .start = forms::StartPosition::CentreScreen,
    .picture = pictures::MainPicture,
    .controls = Controls,
    .enterClicks = &Label2,  // Enter converts, as a click on the head does
};

}  // namespace tablinor::form1

// Form2 as designed: seven columns over a pale picture, each a blue digit over its red consonants,
// and the Ok button.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "conversion/digit_slots.h"
#include "windows/forms/design.h"
#include "windows/pictures/result_picture.h"

namespace tablinor::form2 {

inline constexpr forms::Colour Blue = 0x00FF0000;
inline constexpr forms::Colour Red = 0x000000FF;
inline constexpr int ColumnLeft = 240;
inline constexpr int ColumnPitch = 480;
inline constexpr int ColumnWidth = 255;

inline constexpr std::array<std::string_view, 2 * conversion::SlotCount> LabelNames{
    "Label1", "Label2", "Label3",  "Label4",  "Label5",  "Label6",  "Label7",
    "Label8", "Label9", "Label10", "Label11", "Label12", "Label13", "Label14",
};

constexpr forms::ControlDesign DigitLabel(std::size_t column) {
    const int k = static_cast<int>(column);
    const bool msSansSerif = k == 1;  // the one digit label designed in another face
    return {
        .name = LabelNames.at(2 * column),
        .kind = forms::ControlKind::Label,
        .rect = {.left = ColumnLeft + ColumnPitch * k, .top = 240, .width = ColumnWidth, .height = 255},
        .font =
            forms::FontDesign{.name = msSansSerif ? "MS Sans Serif" : "Tahoma", .points = 9.75, .weight = forms::Bold},
        .colour = Blue,
        .transparent = true,
        .alignment = forms::Alignment::Centre,
        .tabIndex = 2 * k,
    };
}

// Narrower than two letters and a space, so the consonants wrap one under another.
constexpr forms::ControlDesign ConsonantLabel(std::size_t column) {
    const int k = static_cast<int>(column);
    const int height = k == 0 ? 975 : 1095;  // the first column was designed shorter
    return {
        .name = LabelNames.at(2 * column + 1),
        .kind = forms::ControlKind::Label,
        .rect = {.left = ColumnLeft + ColumnPitch * k, .top = 600, .width = ColumnWidth, .height = height},
        .font = forms::FontDesign{.name = "Tahoma", .points = 9, .weight = forms::Bold},
        .colour = Red,
        .transparent = true,
        .alignment = forms::Alignment::Centre,
        .tabIndex = 2 * k + 1,
    };
}

// Label1 to Label14: the digit label of column k is Labels[2k], its consonant label Labels[2k + 1].
inline constexpr auto Labels = [] {
    std::array<forms::ControlDesign, LabelNames.size()> labels{};
    for (std::size_t column = 0; column < conversion::SlotCount; ++column) {
        labels.at(2 * column) = DigitLabel(column);
        labels.at(2 * column + 1) = ConsonantLabel(column);
    }
    return labels;
}();

inline constexpr forms::ControlDesign Command1{
    .name = "Command1",
    .kind = forms::ControlKind::Button,
    .rect = {.left = 1560, .top = 1800, .width = 495, .height = 315},
    .text = u"Ok",
    .tabIndex = 14,
};

inline constexpr auto Controls = [] {
    std::array<const forms::ControlDesign*, Labels.size() + 1> controls{};
    for (std::size_t i = 0; i < Labels.size(); ++i) {
        controls.at(i) = &Labels.at(i);
    }
    controls.back() = &Command1;
    return controls;
}();

inline constexpr forms::WindowDesign Form2{
    .name = "Form2",
    .caption = u"Form2",
    .width = 3750,
    .height = 2265,
    .start = forms::StartPosition::CentreOwner,
    .picture = pictures::ResultPicture,
    .controls = Controls,
    .escapeCloses = true,
};

}  // namespace tablinor::form2

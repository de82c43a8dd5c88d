// A small window of the tests' own, to try the forms layer without the program's windows.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "windows/forms/design.h"
#include "windows/pictures/result_picture.h"

namespace probe {

inline constexpr forms::ControlDesign Box{
    .name = "Box", .kind = forms::ControlKind::TextBox, .rect = {150, 150, 1500, 375}, .maxLength = 7};
inline constexpr forms::ControlDesign Caption{.name = "Caption",
                                              .kind = forms::ControlKind::Label,
                                              .rect = {150, 600, 1500, 300},
                                              .text = u"Caption",
                                              .tabIndex = 1};
inline constexpr std::array<const forms::ControlDesign*, 2> Controls{&Box, &Caption};
inline constexpr forms::WindowDesign Window{.name = "Probe",
                                            .caption = u"Probe",
                                            .width = 3750,
                                            .height = 2265,
                                            .start = forms::StartPosition::CentreScreen,
                                            .picture = tablinor::pictures::ResultPicture,
                                            .controls = Controls};

// A picture whose header is sound but whose image is not a picture at all.
inline constexpr std::array<std::uint8_t, 12> Garbage{'l', 't', 0, 0, 4, 0, 0, 0, 'j', 'u', 'n', 'k'};

// The probe window with that picture instead of its own.
constexpr forms::WindowDesign Undecodable(std::span<const forms::ControlDesign* const> controls) {
    return {.name = "Undecodable",
            .caption = u"Undecodable",
            .width = Window.width,
            .height = Window.height,
            .start = forms::StartPosition::CentreScreen,
            .picture = Garbage,
            .controls = controls};
}

}  // namespace probe

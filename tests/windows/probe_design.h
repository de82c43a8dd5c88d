// A small window of the tests' own, to try the forms layer without the program's windows.
#pragma once

#include <array>

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

}  // namespace probe

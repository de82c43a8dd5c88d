// Pictures as the design data keeps them.
#pragma once

#include <cstdint>
#include <span>

namespace forms {

// The image inside a persisted picture ("lt", 0, 0, 32-bit little-endian length, image bytes).
// Throws RunTimeError when the header or the length does not match the data.
std::span<const std::uint8_t> PictureImage(std::span<const std::uint8_t> persisted);

}  // namespace forms

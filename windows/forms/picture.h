// Pictures as the design data keeps them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace forms {

// The image inside a persisted picture ("lt", 0, 0, 32-bit little-endian length, image bytes), or
// why there is none: a backend without exceptions ends the run with it where it reads the picture.
struct PictureImage {
    std::span<const std::uint8_t> bytes = {};
    std::string damage = {};  // "invalid picture: ..." when the header or the length does not match the data
};

PictureImage ReadPicture(std::span<const std::uint8_t> persisted);

}  // namespace forms

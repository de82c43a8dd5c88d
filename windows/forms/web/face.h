// A face that the page carries itself, with the Windows metrics its lines are spaced by.
#pragma once

#include <cstdint>
#include <span>

namespace forms::web {

struct Face {
    std::span<const std::uint8_t> file;  // TrueType
    int unitsPerEm;
    int winAscent;
    int winDescent;
    int stemWidth;  // of "l", for how bold the face's bold texts come out
};

}  // namespace forms::web

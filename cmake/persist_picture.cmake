# Writes a C++ header holding a JPEG as a persisted picture, the form the design data keeps:
# "lt", two zero bytes, the image length as 32-bit little-endian, then the image.
# Run with: cmake -DINPUT=x.jpg -DOUTPUT=x.h -DNAME=Symbol [-DIN_PAGE=ON] -P persist_picture.cmake
# IN_PAGE: a picture whose image the web page carries with its window holds none here (length 0).
file(READ "${INPUT}" image HEX)
set(comment "")
if(IN_PAGE)
    set(image "")
    set(comment ": its header alone, as the web page carries the image")
endif()
string(LENGTH "${image}" digits)
math(EXPR length "${digits} / 2")
set(header "6c740000")
foreach(shift 0 8 16 24)
    math(EXPR byte "(${length} >> ${shift}) & 255" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${byte}" 2 -1 byte)
    string(LENGTH "${byte}" width)
    if(width EQUAL 1)
        set(byte "0${byte}")
    endif()
    string(APPEND header "${byte}")
endforeach()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${header}${image}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
math(EXPR total "${length} + 8")
get_filename_component(source "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated from ${source} at build time${comment}.
#pragma once

#include <array>
#include <cstdint>

namespace tablinor::pictures {

inline constexpr std::array<std::uint8_t, ${total}> ${NAME}{
    ${bytes}
};

}  // namespace tablinor::pictures
")

#include "windows/forms/picture.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace forms {
namespace {

constexpr std::array<std::uint8_t, 4> Signature{'l', 't', 0, 0};
constexpr std::size_t HeaderSize = Signature.size() + 4;

}  // namespace

PictureImage ReadPicture(std::span<const std::uint8_t> persisted) {
    if (persisted.size() < HeaderSize || !std::equal(Signature.begin(), Signature.end(), persisted.begin())) {
        return {.damage = "invalid picture: the design data holds no persisted picture"};
    }
    std::size_t length = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        length |= std::size_t{persisted[Signature.size() + i]} << (8 * i);
    }
    const auto image = persisted.subspan(HeaderSize);
    if (length != image.size()) {
        return {.damage = "invalid picture: the design data says " + std::to_string(length) + " bytes, but holds " +
                          std::to_string(image.size())};
    }
    return {.bytes = image};
}

}  // namespace forms

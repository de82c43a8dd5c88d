#include "windows/forms/picture.h"

#include <gtest/gtest.h>

#include <vector>

#include "windows/forms/forms.h"

namespace forms {
namespace {

std::vector<std::uint8_t> Persisted(std::uint32_t length, std::vector<std::uint8_t> image) {
    std::vector<std::uint8_t> bytes{'l', 't', 0, 0};
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(std::uint8_t(length >> shift));
    }
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

TEST(PictureImage, GivesTheImageAfterTheHeader) {
    const auto bytes = Persisted(3, {0xFF, 0xD8, 0xFF});
    const auto image = PictureImage(bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(image.begin(), image.end()), (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF}));
}

class DamagedPicture : public testing::TestWithParam<std::vector<std::uint8_t>> {};

TEST_P(DamagedPicture, IsARunTimeError) { EXPECT_THROW((void)PictureImage(GetParam()), RunTimeError); }

INSTANTIATE_TEST_SUITE_P(Bytes, DamagedPicture,
                         testing::Values(std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'l', 't', 0, 0},
                                         std::vector<std::uint8_t>{'L', 'T', 0, 0, 0, 0, 0, 0}, Persisted(4, {1, 2, 3}),
                                         Persisted(2, {1, 2, 3}), Persisted(0xFFFFFFFF, {1})));

}  // namespace
}  // namespace forms

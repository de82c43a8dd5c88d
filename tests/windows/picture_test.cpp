#include "windows/forms/picture.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(ReadPicture, GivesTheImageAfterTheHeader) {
    const auto bytes = Persisted(3, {0xFF, 0xD8, 0xFF});
    const auto image = ReadPicture(bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(image.bytes.begin(), image.bytes.end()),
              (std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF}));
    EXPECT_EQ(image.damage, "");
}

class DamagedPicture : public testing::TestWithParam<std::vector<std::uint8_t>> {};

TEST_P(DamagedPicture, SaysWhatIsWrongAndGivesNoImage) {
    const auto image = ReadPicture(GetParam());
    EXPECT_TRUE(image.bytes.empty());
    EXPECT_TRUE(image.damage.starts_with("invalid picture: ")) << image.damage;
}

INSTANTIATE_TEST_SUITE_P(Bytes, DamagedPicture,
                         testing::Values(std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'l', 't', 0, 0},
                                         std::vector<std::uint8_t>{'L', 'T', 0, 0, 0, 0, 0, 0}, Persisted(4, {1, 2, 3}),
                                         Persisted(2, {1, 2, 3}), Persisted(0xFFFFFFFF, {1})));

}  // namespace
}  // namespace forms

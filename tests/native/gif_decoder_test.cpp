#include "framework/gif_decoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace zandrel {
namespace {

// Pictures made by another program (ImageMagick), with its own decoding as the expected pixels.
std::vector<std::uint8_t> Data(const std::string& name) {
    std::ifstream in(std::string(ZANDREL_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(GifDecoder, MatchesAnotherProgramsDecodingPlainAndInterlaced) {
    const auto expected = Data("plasma.rgb");
    ASSERT_EQ(expected.size(), 48u * 40u * 3u);
    for (const char* name : {"plasma.gif", "plasma-interlaced.gif"}) {
        const auto image = DecodeGif(Data(name));
        ASSERT_TRUE(image) << name;
        EXPECT_EQ(image->width, 48);
        EXPECT_EQ(image->height, 40);
        EXPECT_EQ(image->rgb, expected) << name;
    }
}

TEST(GifDecoder, ColoursWhereTheyWereDrawn) {
    const auto image = DecodeGif(Data("bands.gif"));
    ASSERT_TRUE(image);
    auto at = [&](int x, int y) {
        const auto* p = &image->rgb[static_cast<std::size_t>((y * image->width + x) * 3)];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(at(0, 0), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(at(39, 9), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(at(10, 4), (std::vector<int>{0, 255, 0}));
}

TEST(GifDecoder, RefusesWhatItCannotRead) {
    EXPECT_FALSE(DecodeGif({}));
    const std::vector<std::uint8_t> notGif = {'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    EXPECT_FALSE(DecodeGif(notGif));
    auto cut = Data("plasma.gif");
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(DecodeGif(cut)) << "a file cut short";
    auto broken = Data("plasma.gif");
    for (std::size_t i = 800; i < 900; ++i) broken[i] = 0xFF;
    const auto result = DecodeGif(broken);  // garbage codes: refused or decoded, never a crash
    if (result) {
        EXPECT_EQ(result->rgb.size(), 48u * 40u * 3u);
    }
}

}  // namespace
}  // namespace zandrel

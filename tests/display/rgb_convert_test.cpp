// Conversions of coded images to RGB and RGBA: which pixels land where, and
// that nothing is written outside the window asked for.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "display/cmap_fill.h"
#include "display/rgb_convert.h"

namespace {

using bytes = std::vector<std::uint8_t>;

class RgbConvert : public ::testing::Test {
protected:
    byte_cmap_t maps;
    bytes src;
    static constexpr int w = 9, h = 6;

    void SetUp() override
    {
        float_cmap_t f;
        fill_doppler_cmap(f);  // channels differ, so swapped channels show
        maps = make_byte_cmap(f);
        for (int i = 0; i < w * h; ++i)
            src.push_back(static_cast<std::uint8_t>(120 + i * 2));
    }
    bytes colour(std::uint8_t c) const { return {maps.red8[c], maps.green8[c], maps.blue8[c]}; }
    static bytes at(const bytes& rgb, std::size_t pixel, std::size_t size = 3)
    {
        return {rgb.begin() + static_cast<long>(pixel * size), rgb.begin() + static_cast<long>(pixel * size + 3)};
    }
};

// Rows of any length (converted many codes at a time where the processor
// can) give every pixel its code's colour on both routes, and stop at the row's end.
TEST_F(RgbConvert, RowsGiveEachPixelItsCodesColour)
{
    bytes codes(300);
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = static_cast<std::uint8_t>(i * 97 + 13);  // every code, scrambled
    for (std::size_t n = 1; n <= codes.size(); n += 7) {
        bytes fast(n * 3 + 1, 0xAB), portable(n * 3 + 1, 0xAB);
        map_row_to_rgb(maps, codes.data(), fast.data(), n);
        map_row_to_rgb_portable(maps, codes.data(), portable.data(), n);
        for (std::size_t i = 0; i < n; ++i) {
            ASSERT_EQ(at(fast, i), colour(codes[i])) << n << " " << i;
            ASSERT_EQ(at(portable, i), colour(codes[i])) << n << " " << i;
        }
        ASSERT_EQ(fast[n * 3], 0xAB);
    }
}

// A window past the right or bottom edge is moved back; negative offsets count as 0.
TEST_F(RgbConvert, FastMapKeepsTheWindowInside)
{
    bytes dst(4 * 3 * 3);
    ASSERT_TRUE(fast_map_to_rgb(maps, src.data(), w, h, dst.data(), 4, 3, 7, 5, false));
    EXPECT_EQ(at(dst, 0), colour(src[3 * w + 5]));
    EXPECT_EQ(at(dst, 11), colour(src[5 * w + 8]));
    ASSERT_TRUE(fast_map_to_rgb(maps, src.data(), w, h, dst.data(), 4, 3, -5, -2, true));
    EXPECT_EQ(at(dst, 5), bytes(3, src[w + 1]));  // grey only: the code itself

    // Too tall a window draws nothing; too wide a one only the image's width.
    bytes wide(12 * 7 * 3, 0xAB);
    EXPECT_FALSE(fast_map_to_rgb(maps, src.data(), w, h, wide.data(), 12, 7, 0, 0, false));
    EXPECT_EQ(wide, bytes(wide.size(), 0xAB));
    ASSERT_TRUE(fast_map_to_rgb(maps, src.data(), w, h, wide.data(), 12, 2, 3, 0, false));
    EXPECT_EQ(at(wide, 8), colour(src[8]));  // moved to column 0
    EXPECT_EQ(at(wide, 9), bytes(3, 0xAB));
    EXPECT_EQ(at(wide, 12 + 9), bytes(3, 0xAB));
}

// Subsampling takes every step-th pixel and refuses a grid reaching past the image.
TEST_F(RgbConvert, PartMapSubsamplesOnTheGrid)
{
    bytes dst(3 * 2 * 3, 0xAB);
    ASSERT_TRUE(part_map_to_rgb(maps, src.data(), w, h, dst.data(), 3, 2, 4));
    EXPECT_EQ(at(dst, 2), colour(src[8]));
    EXPECT_EQ(at(dst, 4), colour(src[4 * w + 4]));
    const bytes before = dst;
    EXPECT_FALSE(part_map_to_rgb(maps, src.data(), w, h, dst.data(), 3, 3, 3));         // row 6 of 6
    EXPECT_FALSE(part_map_to_rgb(maps, src.data(), w, h, dst.data(), 2, 2, 1 << 30));   // must not wrap
    EXPECT_EQ(dst, before);
}

// The texture: image top left, fill colour elsewhere, alpha, transparent code 0, flipping.
TEST_F(RgbConvert, RgbaTextureLayout)
{
    const std::uint8_t image[4] = {0, 130, 200, 60};  // 2 x 2
    bytes tex(4 * 3 * 4);
    ASSERT_TRUE(image_to_rgba(maps, image, 2, 2, tex.data(), 4, 3, 1.0f, 0.5f, 0.0f, 0.5f, false, false));
    EXPECT_EQ(at(tex, 1, 4), colour(130));
    EXPECT_EQ(tex[0 * 4 + 3], 127);                        // trunc(0.5 x 255), code 0 included
    EXPECT_EQ(at(tex, 2, 4), (bytes{255, 127, 0}));        // right of the image
    EXPECT_EQ(at(tex, 4 * 2 + 1, 4), (bytes{255, 127, 0}));  // below it
    ASSERT_TRUE(image_to_rgba(maps, image, 2, 2, tex.data(), 4, 3, 1.0f, 0.5f, 0.0f, 0.5f, true, true));
    EXPECT_EQ(at(tex, 0, 4), colour(200));  // last row first
    EXPECT_EQ(tex[4 * 4 + 3], 0);           // code 0
    EXPECT_EQ(tex[2 * 4 + 3], 0);           // outside the image
    EXPECT_EQ(tex[1 * 4 + 3], 127);
    EXPECT_FALSE(image_to_rgba(maps, image, 2, 2, tex.data(), 1, 3, 0, 0, 0, 1, false, false));
}

}  // namespace

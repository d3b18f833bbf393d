// Cropping a reslice image to outlines: which pixels keep their values.
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "reconstruction/reslice_crop.h"

namespace {

constexpr long w = 40, h = 30;

std::vector<std::uint8_t> cropped(const reslice_sections& sections)
{
    std::vector<std::uint8_t> v(static_cast<std::size_t>(w * h), 9);
    crop_outside(v, w, h, sections);
    return v;
}

bool kept(const std::vector<std::uint8_t>& v, long x, long y) { return v[static_cast<std::size_t>(y * w + x)] == 9; }

// Pixel centres on the outline count as inside on the left and top, outside on
// the right and bottom, so neighbouring sections never share or lose a pixel.
TEST(ResliceCrop, PixelsInsideTheOutlineKeepTheirValues)
{
    const std::vector<vertex2d> square{{5.0, 4.0}, {15.0, 4.0}, {15.0, 12.0}, {5.0, 12.0}};
    const auto v = cropped({square});
    long count = 0;
    for (long y = 0; y < h; ++y)
        for (long x = 0; x < w; ++x) {
            const bool inside = x >= 5 && x < 15 && y >= 4 && y < 12;
            EXPECT_EQ(kept(v, x, y), inside) << x << "," << y;
            count += kept(v, x, y);
        }
    EXPECT_EQ(count, 10 * 8);
    // Either way round, the same pixels.
    const std::vector<vertex2d> reversed(square.rbegin(), square.rend());
    EXPECT_EQ(cropped({reversed}), v);
}

TEST(ResliceCrop, HolesAndSeparatePiecesByTheEvenOddRule)
{
    const std::vector<vertex2d> outer{{2.5, 2.5}, {30.5, 2.5}, {30.5, 25.5}, {2.5, 25.5}};
    const std::vector<vertex2d> hole{{10.5, 10.5}, {20.5, 10.5}, {20.5, 20.5}, {10.5, 20.5}};
    const std::vector<vertex2d> island{{14.5, 14.5}, {16.5, 14.5}, {16.5, 16.5}, {14.5, 16.5}};
    const auto v = cropped({outer, hole, island});
    EXPECT_TRUE(kept(v, 3, 3));
    EXPECT_TRUE(kept(v, 30, 25));
    EXPECT_FALSE(kept(v, 31, 25));
    EXPECT_FALSE(kept(v, 30, 26));
    EXPECT_FALSE(kept(v, 12, 12));  // in the hole
    EXPECT_TRUE(kept(v, 15, 15));   // on the island in the hole
    EXPECT_FALSE(kept(v, 0, 0));
}

TEST(ResliceCrop, OutlinesBeyondTheImageAndBadPoints)
{
    // Reaching past every edge: everything inside the image stays.
    const std::vector<vertex2d> huge{{-1e6, -1e6}, {1e6, -1e6}, {1e6, 1e6}, {-1e6, 1e6}};
    EXPECT_EQ(cropped({huge}), std::vector<std::uint8_t>(static_cast<std::size_t>(w * h), 9));
    // Nothing at all: everything goes.
    EXPECT_EQ(cropped({}), std::vector<std::uint8_t>(static_cast<std::size_t>(w * h), 0));
    // Entirely outside, or with non-finite points: no pixel kept, no crash.
    const std::vector<vertex2d> away{{100.0, 100.0}, {120.0, 100.0}, {110.0, 120.0}};
    const std::vector<vertex2d> broken{{1.0, 1.0}, {NAN, 5.0}, {INFINITY, 9.0}, {1.0, 9.0}};
    const auto v = cropped({away, broken});
    for (std::uint8_t p : v)
        EXPECT_EQ(p, 0);
    // Degenerate outlines (a point, a line) keep nothing.
    EXPECT_EQ(cropped({{{5.0, 5.0}}, {{1.0, 1.0}, {20.0, 20.0}}}),
              std::vector<std::uint8_t>(static_cast<std::size_t>(w * h), 0));
    // A buffer smaller than its size says is left alone.
    std::vector<std::uint8_t> small(10, 9);
    crop_outside(small, w, h, {});
    EXPECT_EQ(small, std::vector<std::uint8_t>(10, 9));
}

}  // namespace

// Where results fall on the colour scale and the colours they take: the
// mapping the surface, the frames' cuts and the scale bar are drawn with.
#include <gtest/gtest.h>

#include <cmath>

#include "thickness/thickness_colours.h"

namespace {

// A colour map's ends and middle, and where values fall on the scale: the
// mapping the surface colours and the scale bar are drawn with.
TEST(ThicknessColours, ValuesFallOnTheScaleAndTakeTheMapsColours)
{
    thickness_scale_t s;  // the defaults: 4 mm, 2000 HU from 0, 8000 HU mm
    EXPECT_DOUBLE_EQ(*scale_fraction(0.0, s), 0.0);
    EXPECT_DOUBLE_EQ(*scale_fraction(1.0, s), 0.25);
    EXPECT_DOUBLE_EQ(*scale_fraction(9.0, s), 1.0);  // beyond the scale: its end
    EXPECT_FALSE(scale_fraction(thickness_unknown, s));
    EXPECT_FALSE(scale_fraction(std::nan(""), s));
    s.scale_mm = 20;
    EXPECT_DOUBLE_EQ(*scale_fraction(1.0, s), 0.5);
    s.shown = thickness_shown_t::surface_offset;  // centred on the surface drawn
    EXPECT_DOUBLE_EQ(*scale_fraction(0.0, s), 0.5);
    EXPECT_DOUBLE_EQ(*scale_fraction(-1.0, s), 0.0);
    s.shown = thickness_shown_t::density;
    s.zero_hu = 100;
    EXPECT_DOUBLE_EQ(*scale_fraction(1100.0, s), 0.5);
    EXPECT_DOUBLE_EQ(*scale_fraction(100.0, s), 0.0);
    s.shown = thickness_shown_t::density_thickness;
    EXPECT_DOUBLE_EQ(*scale_fraction(2000.0, s), 0.25);

    EXPECT_EQ(scale_colour(0.0, 0), (rgb_t{0, 0, 255}));  // rainbow: thin blue, thick red
    EXPECT_EQ(scale_colour(0.5, 0), (rgb_t{0, 255, 0}));
    EXPECT_EQ(scale_colour(1.0, 0), (rgb_t{255, 0, 0}));
    EXPECT_EQ(scale_colour(0.5, 1), (rgb_t{128, 128, 128}));
    EXPECT_EQ(scale_colour(0.0, 2), (rgb_t{0, 0, 0}));
    EXPECT_EQ(scale_colour(1.0, 2), (rgb_t{255, 255, 255}));
    EXPECT_EQ(scale_colour(std::nan(""), 1), (rgb_t{0, 0, 0}));

    // Per point: the value's colour, grey where there is none; density x thickness from both.
    thickness_results_t r;
    r.reset(3);
    r.values[thickness_results_t::thick] = {4.0, thickness_unknown, 2.0};
    r.values[thickness_results_t::density] = {1000.0, 1000.0, thickness_unknown};
    thickness_scale_t grey;
    grey.map = 1;
    const std::vector<rgb_t> c = thickness_colours(r, grey);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0], (rgb_t{255, 255, 255}));
    EXPECT_EQ(c[1], no_result_colour);
    EXPECT_EQ(c[2], (rgb_t{128, 128, 128}));
    EXPECT_DOUBLE_EQ(shown_value(r, thickness_shown_t::density_thickness, 0), 4000.0);
    EXPECT_EQ(shown_value(r, thickness_shown_t::density_thickness, 2), thickness_unknown);
    EXPECT_EQ(shown_value(r, thickness_shown_t::thickness, 7), thickness_unknown);  // past the end
}

// Along a surface's cut the values are mixed by the ends' weights, not their
// colours (through the rainbow those pass other colours); beside a point
// without a result, the nearer point's colour, grey where it has none.
TEST(ThicknessColours, CutEndsMixValuesOrTakeTheNearerPoint)
{
    thickness_results_t r;
    r.reset(4);
    r.values[thickness_results_t::thick] = {0.0, 4.0, thickness_unknown, 12.0};
    const thickness_scale_t s;  // rainbow over 0 to 4 mm
    const auto at = [&](std::uint32_t a, std::uint32_t b, double wb) {
        return cut_colour(r, s, cut_end_t{{}, {a, b}, {1.0 - wb, wb}});
    };
    EXPECT_EQ(at(0, 1, 0.5), (rgb_t{0, 255, 0}));  // 2 mm; the colours mixed would be purple
    EXPECT_EQ(at(0, 1, 0.25), scale_colour(0.25, 0));
    EXPECT_EQ(at(0, 1, 0.0), scale_colour(0.0, 0));
    EXPECT_EQ(at(0, 3, 0.5), (rgb_t{255, 0, 0}));  // 6 mm, beyond the scale: its end
    EXPECT_EQ(at(1, 2, 0.3), (rgb_t{255, 0, 0}));  // nearer the 4 mm point
    EXPECT_EQ(at(1, 2, 0.7), no_result_colour);    // nearer the point without one
    EXPECT_EQ(at(2, 2, 0.5), no_result_colour);
    EXPECT_EQ(at(0, 9, 0.2), scale_colour(0.0, 0));  // a point past the results has none
}

}  // namespace

// Placing a reslice plane on a frame, and one frame's outline in a plane.
#include <cmath>

#include <gtest/gtest.h>

#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_internals.h"
#include "synthetic_sweep.h"

namespace {

constexpr double sx = 0.02, sy = 0.01;
constexpr long w = 80, h = 60;  // 1.6 x 0.6 cm

reslice_frame tilted_frame()
{
    reslice_frame f;
    f.image = filled_image(w, h, 90);
    f.image_to_world.forward(1.0, -2.0, 0.5, 30.0, -20.0, 65.0);
    return f;
}

vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}

// Catches a default plane off the frame's centre or along the wrong axis.
TEST(DefaultPlane, WindowsLieAcrossTheRightFrameAxes)
{
    const reslice_frame f = tilted_frame();
    const vertex3d centre = f.image_to_world * vertex3d{w * sx / 2, h * sy / 2, 0.0};
    const vertex3d lateral = column(f.image_to_world, 0), depth = column(f.image_to_world, 1);
    for (int window = 0; window < 3; ++window) {
        reslice_settings s;
        s.width = s.height = 33;
        ASSERT_TRUE(default_plane_settings(window, f, sx, sy, &s));
        const reslice_plane p(s, 0.01);
        EXPECT_TRUE(p.was_sound()) << window;
        const vertex3d mid = p.reslice_to_world(p.width() / 2.0, p.height() / 2.0, 0.0);
        EXPECT_NEAR(length(mid - centre), 0.0, 1e-9) << window;
        const vertex3d across = window == 1 ? lateral : depth;
        EXPECT_NEAR(std::fabs(dot(p.normal(), across)), 1.0, 1e-9) << window;
    }
}

// Catches the wrong sizes: window 0 keeps its own, 1 is H x H, 2 is W x H.
TEST(DefaultPlane, WindowSizesFollowTheFrame)
{
    const reslice_frame f = tilted_frame();
    reslice_settings s0, s1, s2;
    s0.width = 33;
    s0.height = 44;
    ASSERT_TRUE(default_plane_settings(0, f, sx, sy, &s0));
    ASSERT_TRUE(default_plane_settings(1, f, sx, sy, &s1));
    ASSERT_TRUE(default_plane_settings(2, f, sx, sy, &s2));
    EXPECT_EQ(s0.width, 33);
    EXPECT_EQ(s0.height, 44);
    EXPECT_EQ(s1.width, h);
    EXPECT_EQ(s1.height, h);
    EXPECT_EQ(s2.width, w);
    EXPECT_EQ(s2.height, h);
}

// Catches placing windows that have no frame rule, or placing on an empty frame.
TEST(DefaultPlane, OtherWindowsAndEmptyFramesAreRefused)
{
    reslice_settings s;
    const reslice_settings before = s;
    EXPECT_FALSE(default_plane_settings(3, tilted_frame(), sx, sy, &s));
    EXPECT_FALSE(default_plane_settings(0, reslice_frame{}, sx, sy, &s));
    EXPECT_EQ(s.width, before.width);
    EXPECT_EQ(s.normal, before.normal);
}

double polygon_area(const std::vector<vertex2d>& p)
{
    double a = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const vertex2d& u = p[i];
        const vertex2d& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return std::fabs(a) / 2.0;
}

// Catches a wrong slab outline: a plane square to a 1 x 1 cm frame of half
// thickness 0.1 cuts a 1 cm by 0.2 cm rectangle, 100 x 20 pixels of 0.01 cm.
TEST(BscanIntersection, SquareCutIsTheSlabRectangle)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.0));
    reslice_settings s;
    s.normal = {1.0, 0.0, 0.0};
    s.centre = {0.5, 0.5, 0.0};
    s.up = {0.5, 1.5, 0.0};
    s.bscan_half_thickness = 0.1;
    reslice_internals r;
    r.set_settings(s);
    r.set_pixel_size(0.01);
    const std::vector<vertex2d> outline = r.bscan_intersection(src, 0);
    ASSERT_EQ(outline.size(), 4u);
    EXPECT_NEAR(polygon_area(outline), 2000.0, 0.5);
    EXPECT_TRUE(r.bscan_intersection(src, 1).empty());
    s.centre = {5.0, 0.5, 0.0};  // beside the frame
    s.up = {5.0, 1.5, 0.0};
    r.set_settings(s);
    EXPECT_TRUE(r.bscan_intersection(src, 0).empty());
}

}  // namespace

// Catches a frame thickness that leaves gaps between frames (or swallows
// neighbours): slabs of 0.6 x the usual spacing meet with a little overlap.
TEST(FrameThickness, FollowsTheMedianFrameSpacing)
{
    reslice_source source;
    source.sx = source.sy = 0.01;
    for (int i = 0; i < 9; ++i)
        source.frames.push_back(flat_frame(filled_image(10, 10, 50), 0.0, 0.0, 0.1 * i + (i == 5 ? 0.3 : 0.0)));
    EXPECT_NEAR(suggested_bscan_half_thickness(source), 0.06, 1e-9) << "one odd gap does not move the median";
    source.frames.resize(1);
    EXPECT_EQ(suggested_bscan_half_thickness(source), 0.0);
}

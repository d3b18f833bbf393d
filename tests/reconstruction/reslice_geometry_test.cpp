// The reslice plane's pixel-to-world mapping, its inverse, and how it mends
// degenerate settings.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "reconstruction/reslice_geometry.h"

namespace {

void expect_orthonormal(const reslice_plane& p)
{
    constexpr double tight = 1e-9;
    EXPECT_NEAR(length(p.normal()), 1.0, tight);
    EXPECT_NEAR(length(p.up_axis()), 1.0, tight);
    EXPECT_NEAR(length(p.x_axis()), 1.0, tight);
    EXPECT_NEAR(dot(p.normal(), p.up_axis()), 0.0, tight);
    EXPECT_NEAR(dot(p.normal(), p.x_axis()), 0.0, tight);
    EXPECT_TRUE(finite(p.reslice_to_world(3.0, 4.0, 0.5)));
}

// Catches an inverse that is not the inverse (wrong axis order, scale or origin).
TEST(ResliceGeometry, WorldToResliceUndoesResliceToWorldInAnyOrientation)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> any(-10.0, 10.0), coord(-500.0, 500.0);
    std::uniform_int_distribution<long> size(1, 800);
    for (int trial = 0; trial < 200; ++trial) {
        reslice_settings s;
        s.normal = {any(rng), any(rng), any(rng)};
        s.centre = {any(rng), any(rng), any(rng)};
        s.up = {any(rng), any(rng), any(rng)};
        s.width = size(rng);
        s.height = size(rng);
        const reslice_plane p(s, 0.013);
        const vertex3d r{coord(rng), coord(rng), coord(rng) * 0.01};
        EXPECT_NEAR(length(p.world_to_reslice(p.reslice_to_world(r.x, r.y, r.z)) - r), 0.0, 1e-7);
        const vertex3d w = 0.1 * vertex3d{coord(rng), coord(rng), coord(rng)};
        const vertex3d back = p.world_to_reslice(w);
        EXPECT_NEAR(length(p.reslice_to_world(back.x, back.y, back.z) - w), 0.0, 1e-9);
    }
}

// Catches a mapping that misplaces the origin: pixel (W/2, H/2) is the centre,
// one pixel costs s cm, y runs towards the up point (made perpendicular to the
// normal when slanted), z along the normal and x along u x n.
TEST(ResliceGeometry, CentrePixelIsTheCentreAndAxesFollowTheSettings)
{
    reslice_settings s;
    s.normal = {0.0, 0.0, 2.0};
    s.centre = {1.0, 2.0, 3.0};
    s.up = {1.0, 7.0, 9.0};
    s.width = 100;
    s.height = 60;
    const reslice_plane p(s, 0.02);
    EXPECT_TRUE(p.was_sound());
    expect_orthonormal(p);
    const struct {
        vertex3d pixel, world;
    } cases[] = {{{50.0, 30.0, 0.0}, {1.0, 2.0, 3.0}},
                 {{50.0, 31.0, 0.0}, {1.0, 2.02, 3.0}},
                 {{50.0, 30.0, 0.5}, {1.0, 2.0, 3.5}},
                 {{51.0, 30.0, 0.0}, {1.02, 2.0, 3.0}}};
    for (const auto& c : cases)
        EXPECT_NEAR(length(p.reslice_to_world(c.pixel.x, c.pixel.y, c.pixel.z) - c.world), 0.0, 1e-9)
            << c.pixel.x << " " << c.pixel.y << " " << c.pixel.z;
}

// Catches NaN planes from degenerate settings: each must give a finite orthonormal frame.
TEST(ResliceGeometry, DegenerateSettingsGiveAFiniteOrthonormalPlane)
{
    reslice_settings zero_normal;
    zero_normal.normal = {};
    reslice_settings up_on_centre;
    up_on_centre.centre = up_on_centre.up = {1.0, 1.0, 1.0};
    reslice_settings up_along_normal;
    up_along_normal.normal = {0.0, 3.0, 0.0};
    up_along_normal.up = {0.0, 5.0, 0.0};
    reslice_settings not_finite;
    not_finite.normal = {NAN, 0.0, 1.0};
    not_finite.centre = {INFINITY, 0.0, 0.0};
    not_finite.up = {0.0, NAN, 0.0};
    for (const reslice_settings& s : {zero_normal, up_on_centre, up_along_normal, not_finite}) {
        const reslice_plane p(s, 0.01);
        expect_orthonormal(p);
        EXPECT_FALSE(p.was_sound());
        EXPECT_TRUE(finite(p.world_to_reslice({0.3, 0.2, 0.1})));
    }
}

// Catches runaway or empty buffers from sizes out of range, and a zero pixel size.
TEST(ResliceGeometry, SizesAreClampedAndPixelSizeIsPositive)
{
    reslice_settings s;
    s.width = 0;
    s.height = 1LL << 40;
    const reslice_plane p(s, 0.0);
    EXPECT_EQ(p.width(), 1);
    EXPECT_EQ(p.height(), 4096);
    EXPECT_GT(p.pixel_size(), 0.0);
    s.width = -5;
    EXPECT_EQ(reslice_plane(s, -1.0).width(), 1);
}

}  // namespace

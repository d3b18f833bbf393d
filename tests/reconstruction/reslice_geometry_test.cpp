// The reslice plane's pixel-to-world mapping, its inverse, and how it mends
// degenerate settings.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "reconstruction/reslice_geometry.h"

namespace {

constexpr double tight = 1e-9;

reslice_settings random_settings(std::mt19937& rng)
{
    std::uniform_real_distribution<double> any(-10.0, 10.0);
    std::uniform_int_distribution<long> size(1, 800);
    reslice_settings s;
    s.normal = {any(rng), any(rng), any(rng)};
    s.centre = {any(rng), any(rng), any(rng)};
    s.up = {any(rng), any(rng), any(rng)};
    s.width = size(rng);
    s.height = size(rng);
    return s;
}

void expect_near(const vertex3d& a, const vertex3d& b, double tol)
{
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

void expect_orthonormal(const reslice_plane& p)
{
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
    std::uniform_real_distribution<double> coord(-500.0, 500.0);
    for (int trial = 0; trial < 200; ++trial) {
        const reslice_plane p(random_settings(rng), 0.013);
        const vertex3d r{coord(rng), coord(rng), coord(rng) * 0.01};
        expect_near(p.world_to_reslice(p.reslice_to_world(r.x, r.y, r.z)), r, 1e-7);
        const vertex3d w{coord(rng) * 0.1, coord(rng) * 0.1, coord(rng) * 0.1};
        const vertex3d back = p.world_to_reslice(w);
        expect_near(p.reslice_to_world(back.x, back.y, back.z), w, 1e-9);
    }
}

// Catches a mapping that misplaces the origin: pixel (W/2, H/2) is the centre,
// one pixel costs s cm, y runs towards the up point and z along the normal.
TEST(ResliceGeometry, CentrePixelIsTheCentreAndAxesFollowTheSettings)
{
    reslice_settings s;
    s.normal = {0.0, 0.0, 2.0};
    s.centre = {1.0, 2.0, 3.0};
    s.up = {1.0, 7.0, 3.0};
    s.width = 100;
    s.height = 60;
    const reslice_plane p(s, 0.02);
    expect_near(p.reslice_to_world(50.0, 30.0, 0.0), s.centre, tight);
    expect_near(p.reslice_to_world(50.0, 31.0, 0.0), {1.0, 2.02, 3.0}, tight);
    expect_near(p.reslice_to_world(50.0, 30.0, 0.5), {1.0, 2.0, 3.5}, tight);
    // e = u x n = y x z = x
    expect_near(p.reslice_to_world(51.0, 30.0, 0.0), {1.02, 2.0, 3.0}, tight);
    EXPECT_TRUE(p.was_sound());
}

// Catches an up point that is not perpendicular to the normal bending the axes.
TEST(ResliceGeometry, SlantedUpPointIsMadePerpendicular)
{
    reslice_settings s;
    s.normal = {0.0, 0.0, 1.0};
    s.up = {0.0, 1.0, 5.0};
    const reslice_plane p(s, 0.01);
    expect_orthonormal(p);
    expect_near(p.up_axis(), {0.0, 1.0, 0.0}, tight);
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
        const vertex3d r = p.world_to_reslice({0.3, 0.2, 0.1});
        EXPECT_TRUE(finite(r));
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

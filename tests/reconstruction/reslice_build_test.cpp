// Reslices of hand-placed frames through shapes whose sections are known.
#include <cmath>

#include <gtest/gtest.h>

#include "reconstruction/reslice_internals.h"
#include "synthetic_sweep.h"

namespace {

using namespace sphere;

// The plane x = 0, across every frame, larger than the data.
reslice_settings across_sphere(bool linear, double bscan_half)
{
    reslice_settings s;
    s.normal = {1.0, 0.0, 0.0};
    s.centre = {};
    s.up = {0.0, 1.0, 0.0};
    s.width = s.height = 120;
    s.linear = linear;
    s.bscan_half_thickness = bscan_half;
    return s;
}

struct section_score {
    long compared = 0, wrong = 0, uncovered_inside = 0, filled_outside = 0;
};

section_score score_sphere_section(const reslice_internals& r, double bscan_half)
{
    section_score sc;
    for (long y = 0; y < r.height(); ++y)
        for (long x = 0; x < r.width(); ++x) {
            const vertex3d p = r.reslice_to_world(x, y, 0.0);
            const int v = r.pixel(x, y);
            const bool well_inside_data = std::fabs(p.y) < 0.95 && std::fabs(p.z) < 0.95 && std::fabs(p.x) < 0.95;
            const bool outside_data = p.y > 1.0 + scale || p.y < -1.0 - scale || std::fabs(p.z) > 1.0 + bscan_half + 1e-6;
            if (well_inside_data && v == 0)
                ++sc.uncovered_inside;
            if (outside_data && v != 0)
                ++sc.filled_outside;
            const double rr = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
            if (!well_inside_data || std::fabs(rr - radius) < spacing)
                continue;  // the boundary is only known to a frame spacing
            ++sc.compared;
            if ((v > 125) != (rr < radius))
                ++sc.wrong;
        }
    return sc;
}

// Catches wrong placement of frames or wrong sampling in nearest-neighbour mode.
TEST(ResliceBuild, NearestNeighbourMatchesTheSphereSection)
{
    reslice_internals r;
    r.set_settings(across_sphere(false, spacing / 2));
    ASSERT_TRUE(r.build_reslice(sphere_sweep()));
    const section_score sc = score_sphere_section(r, spacing / 2);
    ASSERT_GT(sc.compared, 5000);
    EXPECT_LT(double(sc.wrong) / sc.compared, 0.005);  // allowed: 0.5 % misclassified away from the surface
    EXPECT_EQ(sc.uncovered_inside, 0);
    EXPECT_EQ(sc.filled_outside, 0);
}

// Catches wrong front/back bookkeeping or blending in linear mode.
TEST(ResliceBuild, LinearMatchesTheSphereSection)
{
    reslice_internals r;
    r.set_settings(across_sphere(true, spacing));
    ASSERT_TRUE(r.build_reslice(sphere_sweep()));
    const section_score sc = score_sphere_section(r, spacing);
    ASSERT_GT(sc.compared, 5000);
    EXPECT_LT(double(sc.wrong) / sc.compared, 0.005);
    EXPECT_EQ(sc.uncovered_inside, 0);
    EXPECT_EQ(sc.filled_outside, 0);
}

reslice_settings parallel_plane(double z, bool linear, double bscan_half)
{
    reslice_settings s;
    s.normal = {0.0, 0.0, 1.0};
    s.centre = {0.5, 0.5, z};
    s.up = {0.5, 1.5, z};
    s.width = s.height = 40;  // 0.4 cm of a 1 cm frame
    s.linear = linear;
    s.bscan_half_thickness = bscan_half;
    return s;
}

reslice_source two_frames(bool second_flipped)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(filled_image(100, 100, 100), 0.0, 0.0, 0.0));
    // A flipped frame runs up the y axis from its origin, so start it at the far edge.
    src.frames.push_back(flat_frame(filled_image(100, 100, 200), 0.0, second_flipped ? 1.0 : 0.0, 1.0, second_flipped));
    return src;
}

// Catches a linear blend weighted the wrong way round: a quarter of the way
// from the 100 frame to the 200 frame reads 125.
TEST(ResliceBuild, LinearBlendsTheFramesEitherSideByDistance)
{
    reslice_internals r;
    r.set_settings(parallel_plane(0.25, true, 1.0));
    ASSERT_TRUE(r.build_reslice(two_frames(false)));
    for (const std::uint8_t v : r.image())
        ASSERT_NEAR(v, 125, 1);
}

// Catches depths measured along each frame's own normal: frames facing
// opposite ways must still blend as one lying in front and one behind.
TEST(ResliceBuild, LinearBlendSurvivesFramesFacingOppositeWays)
{
    reslice_internals r;
    r.set_settings(parallel_plane(0.25, true, 1.0));
    ASSERT_TRUE(r.build_reslice(two_frames(true)));
    for (const std::uint8_t v : r.image())
        ASSERT_NEAR(v, 125, 1);
}

// Catches weighting of a one-sided pixel: with both frames on one side it takes
// the nearer frame's value as it is.
TEST(ResliceBuild, LinearWithFramesOnOneSideTakesTheNearestUnweighted)
{
    reslice_internals r;
    r.set_settings(parallel_plane(-0.25, true, 2.0));
    ASSERT_TRUE(r.build_reslice(two_frames(false)));
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 100);
}

// Catches slabs given thickness they do not have: with a zero B-scan half
// thickness a plane between frames stays empty.
TEST(ResliceBuild, ZeroThicknessLeavesPlanesBetweenFramesEmpty)
{
    for (const bool linear : {false, true}) {
        reslice_internals r;
        r.set_settings(parallel_plane(0.5, linear, 0.0));
        ASSERT_TRUE(r.build_reslice(two_frames(false)));
        for (const std::uint8_t v : r.image())
            ASSERT_EQ(v, 0);
    }
}

// Catches a zero read from a frame being taken for "no data" (or the reverse
// for masked data); also a frame lying in the plane at zero thickness.
TEST(ResliceBuild, ZeroPixelsReadAsOneUnlessZeroMeansNoData)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(filled_image(100, 100, 0), 0.0, 0.0, 0.0));
    for (const bool masked : {false, true}) {
        src.zero_is_no_data = masked;
        reslice_internals r;
        r.set_settings(parallel_plane(0.0, false, 0.0));
        ASSERT_TRUE(r.build_reslice(src));
        for (const std::uint8_t v : r.image())
            ASSERT_EQ(v, masked ? 0 : 1);
    }
}

// Catches bilinear weights off by a pixel: a ramp u * 2 read half-way between
// pixels gives the mean of the two.
TEST(ResliceBuild, BilinearSamplingFollowsARamp)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(painted_image(100, 100, [](long u, long) { return std::uint8_t(10 + 2 * u); }), 0.0, 0.0, 0.0));
    reslice_settings s = parallel_plane(0.0, false, 0.001);
    s.centre = {0.505, 0.5, 0.0};  // pixel x lands at frame u = 30.5 + x
    s.up = {0.505, 1.5, 0.0};
    reslice_internals r;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    for (long x = 0; x < r.width(); ++x)
        EXPECT_NEAR(r.pixel(x, 5), 10 + 2 * (30.5 + x), 1.0) << x;
}

// Catches a pixel step that samples the wrong pixels or leaves the skipped
// ones empty: a coarse build equals the full one at the built pixels and
// repeats them over the rest.
TEST(ResliceBuild, PixelStepBuildsEveryStepthPixel)
{
    for (const bool linear : {false, true}) {
        reslice_internals full, coarse;
        full.set_settings(across_sphere(linear, spacing / 2));
        coarse.set_settings(across_sphere(linear, spacing / 2));
        coarse.set_pixel_step(3);
        ASSERT_TRUE(full.build_reslice(sphere_sweep()));
        ASSERT_TRUE(coarse.build_reslice(sphere_sweep()));
        long with_data = 0;
        for (long y = 0; y < full.height(); ++y)
            for (long x = 0; x < full.width(); ++x) {
                ASSERT_EQ(coarse.pixel(x, y), full.pixel(x - x % 3, y - y % 3)) << x << "," << y;
                with_data += coarse.pixel(x, y) != 0;
            }
        EXPECT_GT(with_data, 5000);
    }
    reslice_internals r;
    r.set_pixel_step(0);
    EXPECT_EQ(r.pixel_step(), 1);
    r.set_pixel_step(1 << 30);
    EXPECT_EQ(r.pixel_step(), 64);
}

// Catches a rotating-slab buffer held while the slab is off, not following
// the image size, or holding the wrong colours or positions.
TEST(ResliceBuild, RotatingSlabBufferFollowsTheFlag)
{
    reslice_settings s = parallel_plane(0.0, false, 0.01);
    s.centre = {1.0, 0.5, 0.0};  // half the plane lies beyond the frame
    s.up = {1.0, 1.5, 0.0};
    const reslice_source src = two_frames(false);
    reslice_internals r;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    EXPECT_FALSE(r.holds_rotating_slab_buffer());

    ASSERT_TRUE(r.set_rot_slab(true, false));
    EXPECT_FALSE(r.up_to_date());
    ASSERT_EQ(r.rotating_slab_buffer().size(), std::size_t(40 * 40));
    ASSERT_TRUE(r.build_reslice(src));
    long seen[2] = {0, 0};
    for (long y = 0; y < r.height(); ++y)
        for (long x = 0; x < r.width(); ++x) {
            const rot_slab_texel& t = r.rotating_slab_buffer()[static_cast<std::size_t>(y * r.width() + x)];
            const std::uint8_t v = r.pixel(x, y);
            ++seen[v != 0];
            EXPECT_EQ(t.rgba[0], v);
            EXPECT_EQ(t.rgba[2], v);
            EXPECT_EQ(t.rgba[3], v ? 255 : 0);
            const vertex3d p = r.reslice_to_world(x, y, 0.0);
            EXPECT_NEAR(t.position[0], p.x, 1e-6);
            EXPECT_NEAR(t.position[1], p.y, 1e-6);
            EXPECT_NEAR(t.position[2], p.z, 1e-6);
            EXPECT_EQ(t.position[3], 1.0f);
        }
    EXPECT_GT(seen[0], 100);
    EXPECT_GT(seen[1], 100);

    s.width = 25;
    r.set_settings(s);
    EXPECT_EQ(r.rotating_slab_buffer().size(), std::size_t(25 * 40));
    ASSERT_TRUE(r.set_rot_slab(false));
    EXPECT_FALSE(r.holds_rotating_slab_buffer());
    s.width = 30;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    EXPECT_FALSE(r.holds_rotating_slab_buffer());
}

// Catches a disabled reslice doing work or a rotating-slab buffer held for nothing.
TEST(ResliceBuild, DisabledBuildsNothing)
{
    reslice_settings s = parallel_plane(0.0, false, 0.1);
    s.enabled = false;
    reslice_internals r;
    r.set_settings(s);
    EXPECT_FALSE(r.build_reslice(two_frames(false)));
    EXPECT_FALSE(r.up_to_date());
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 0);
    EXPECT_FALSE(r.holds_rotating_slab_buffer());
}

}  // namespace

// Reslices of hand-placed frames through shapes whose sections are known.
#include <cmath>

#include <gtest/gtest.h>

#include "synthetic_sweep.h"

namespace {

using namespace sphere;

// The plane x = 0, across every frame, larger than the data.
reslice_settings across_sphere(bool linear, double bscan_half)
{
    return plane_at({1.0, 0.0, 0.0}, {}, 120, linear, bscan_half);
}

// Catches wrong placement of frames or wrong sampling in nearest-neighbour
// mode, and wrong front/back bookkeeping or blending in linear mode.
TEST(ResliceBuild, MatchesTheSphereSection)
{
    for (const bool linear : {false, true}) {
        const double bscan_half = linear ? spacing : spacing / 2;
        const reslice_internals r = built(sphere_sweep(), across_sphere(linear, bscan_half));
        long compared = 0, wrong = 0, uncovered_inside = 0, filled_outside = 0;
        for (long y = 0; y < r.height(); ++y)
            for (long x = 0; x < r.width(); ++x) {
                const vertex3d p = r.reslice_to_world(x, y, 0.0);
                const int v = r.pixel(x, y);
                const bool well_inside = std::fabs(p.y) < 0.95 && std::fabs(p.z) < 0.95 && std::fabs(p.x) < 0.95;
                uncovered_inside += well_inside && v == 0;
                filled_outside += v != 0 && (p.y > 1.0 + scale || p.y < -1.0 - scale ||
                                             std::fabs(p.z) > 1.0 + bscan_half + 1e-6);
                const double rr = length(p);
                if (!well_inside || std::fabs(rr - radius) < spacing)
                    continue;  // the boundary is only known to a frame spacing
                ++compared;
                wrong += (v > 125) != (rr < radius);
            }
        ASSERT_GT(compared, 5000);
        EXPECT_LT(double(wrong) / compared, 0.005) << linear;  // allowed: 0.5 % misclassified away from the surface
        EXPECT_EQ(uncovered_inside, 0) << linear;
        EXPECT_EQ(filled_outside, 0) << linear;
    }
}

// A 0.4 cm square of the plane z, inside two 1 cm frames at z = 0 (100) and
// z = 1 (200); a flipped second frame runs up the y axis, so starts at the far edge.
TEST(ResliceBuild, BetweenTwoFrames)
{
    const struct {
        double z;
        bool linear;
        double bscan_half;
        bool flipped;
        int expected, tolerance;
    } cases[] = {
        // A linear blend weighted the wrong way round: a quarter of the way reads 125.
        {0.25, true, 1.0, false, 125, 1},
        // Depths measured along each frame's own normal: opposite frames must still blend.
        {0.25, true, 1.0, true, 125, 1},
        // A one-sided pixel weighted: with both frames behind it takes the nearer as it is.
        {-0.25, true, 2.0, false, 100, 0},
        // Slabs given thickness they do not have: at zero thickness the middle stays empty.
        {0.5, false, 0.0, false, 0, 0},
        {0.5, true, 0.0, false, 0, 0},
    };
    for (const auto& c : cases) {
        const reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 100, 100), 0.0, 0.0, 0.0),
                                                    flat_frame(filled_image(100, 100, 200), 0.0, c.flipped ? 1.0 : 0.0,
                                                               1.0, c.flipped)});
        const reslice_internals r = built(src, plane_at({0.0, 0.0, 1.0}, {0.5, 0.5, c.z}, 40, c.linear, c.bscan_half));
        for (const std::uint8_t v : r.image())
            ASSERT_NEAR(v, c.expected, c.tolerance) << c.z << " " << c.linear << " " << c.flipped;
    }
}

// Catches a zero read from a frame being taken for "no data" (or the reverse
// for masked data), and a frame in the plane at zero thickness covering more
// or less than its own pixels: a 1 cm frame lies on plane pixels 10 .. 109.
TEST(ResliceBuild, CoplanarFrameAtZeroThickness)
{
    reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 100, 0), 0.0, 0.0, 0.0)});
    for (const bool masked : {false, true}) {
        src.zero_is_no_data = masked;
        const reslice_internals r = built(src, plane_at({0.0, 0.0, 1.0}, {0.5, 0.5, 0.0}, 120, false, 0.0));
        const auto on = [](long i) { return i >= 10 && i <= 109; };
        for (long y = 0; y < 120; ++y)
            for (long x = 0; x < 120; ++x)
                ASSERT_EQ(r.pixel(x, y), on(x) && on(y) && !masked ? 1 : 0) << x << "," << y;
    }
}

// Catches bilinear weights off by a pixel: a ramp u * 2 read half-way between
// pixels gives the mean of the two.
TEST(ResliceBuild, BilinearSamplingFollowsARamp)
{
    const cip_t ramp = painted_image(100, 100, [](long u, long) { return std::uint8_t(10 + 2 * u); });
    const reslice_settings s = plane_at({0, 0, 1}, {0.505, 0.5, 0.0}, 40, false, 0.001);  // x lands at u = 30.5 + x
    const reslice_internals r = built(source_of(0.01, {flat_frame(ramp, 0.0, 0.0, 0.0)}), s);
    for (long x = 0; x < r.width(); ++x)
        EXPECT_NEAR(r.pixel(x, 5), 10 + 2 * (30.5 + x), 1.0) << x;
}

// Catches a pixel step that samples the wrong pixels or leaves the skipped
// ones empty: a coarse build equals the full one at the built pixels and
// repeats them over the rest.
TEST(ResliceBuild, PixelStepBuildsEveryStepthPixel)
{
    for (const bool linear : {false, true}) {
        const reslice_internals full = built(sphere_sweep(), across_sphere(linear, spacing / 2));
        reslice_internals coarse;
        coarse.set_settings(across_sphere(linear, spacing / 2));
        coarse.set_pixel_step(3);
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

// Catches a rotating-slab buffer held while the slab is off or the reslice
// disabled, not following the image size, or holding the wrong colours or positions.
TEST(ResliceBuild, RotatingSlabBufferFollowsTheFlag)
{
    reslice_settings s = plane_at({0.0, 0.0, 1.0}, {1.0, 0.5, 0.0}, 40, false, 0.01);  // half beyond the frame
    const reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 100, 100), 0.0, 0.0, 0.0)});
    reslice_internals r = built(src, s);
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
            EXPECT_NEAR(length(vertex3d{t.position[0], t.position[1], t.position[2]} - p), 0.0, 1e-6);
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

    // A disabled reslice builds nothing.
    s.enabled = false;
    reslice_internals off;
    off.set_settings(s);
    EXPECT_FALSE(off.build_reslice(src));
    EXPECT_FALSE(off.up_to_date());
    for (const std::uint8_t v : off.image())
        ASSERT_EQ(v, 0);
    EXPECT_FALSE(off.holds_rotating_slab_buffer());
}

}  // namespace

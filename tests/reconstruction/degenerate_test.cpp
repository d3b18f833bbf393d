// Degenerate geometry must give finite planes, bounded sizes and no reads
// outside a frame (run this suite under the sanitizers too).
#include <chrono>
#include <cmath>

#include <gtest/gtest.h>

#include "reconstruction/reslice_internals.h"
#include "synthetic_sweep.h"

namespace {

reslice_source small_source()
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    return src;
}

counted_array_ptr<float> pose_of(std::initializer_list<float> values)
{
    counted_array_ptr<float> p(values.size());
    std::size_t i = 0;
    for (const float v : values)
        p[i++] = v;
    return p;
}

// Catches frames with missing, short or non-finite poses entering the build.
TEST(Degenerate, FramesWithoutAUsablePoseAreLeftOut)
{
    reslice_source src = small_source();
    const cip_t img = filled_image(8, 8, 9);
    const matrix16d cal;
    EXPECT_FALSE(add_frame(&src, img, counted_array_ptr<float>{}, cal));
    EXPECT_FALSE(add_frame(&src, img, pose_of({1, 2, 3}), cal));
    EXPECT_FALSE(add_frame(&src, img, pose_of({NAN, 0, 0, 0, 0, 0}), cal));
    EXPECT_FALSE(add_frame(&src, cip_t{}, pose_of({0, 0, 0, 0, 0, 0}), cal));
    EXPECT_TRUE(add_frame(&src, img, pose_of({0, 0, 0, 10, 20, 30}), cal));
    EXPECT_EQ(src.frames.size(), 1u);
}

// Catches NaN planes from a zero normal or an up point on the centre: the
// build still runs and a frame in the mended plane shows.
TEST(Degenerate, ZeroNormalAndUpOnCentreStillBuild)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(100, 100, 70), -0.5, -0.5, 0.0));
    reslice_settings s;
    s.normal = {};
    s.up = s.centre;
    s.width = s.height = 20;
    s.bscan_half_thickness = 0.01;
    reslice_internals r;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    EXPECT_TRUE(finite(r.plane().normal()));
    // The mended normal is +z, the plane of the frame, so every pixel sees it.
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 70);
}

// Catches overflow or huge loops from a frame placed absurdly far away.
TEST(Degenerate, FarAwayFrameLeavesTheImageEmpty)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(50, 50, 70), 1e30, -1e30, 0.0));
    src.frames.push_back(flat_frame(filled_image(50, 50, 70), 0.0, 0.0, 1e15));
    reslice_settings s;
    s.width = s.height = 32;
    s.bscan_half_thickness = 1e20;
    reslice_internals r;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 0);
}

// Catches a frame in the plane at zero thickness giving unbounded or partial
// coverage: exactly its own pixels, no more.
TEST(Degenerate, CoplanarFrameAtZeroThicknessCoversItsRectangle)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(10, 10, 40), 0.0, 0.0, 0.0));
    reslice_settings s;
    s.centre = {};  // pixel (x, y) at world ((x - 10) s, (y - 10) s)
    s.up = {0.0, 1.0, 0.0};
    s.width = s.height = 20;
    reslice_internals r;
    r.set_settings(s);
    ASSERT_TRUE(r.build_reslice(src));
    for (long y = 0; y < 20; ++y)
        for (long x = 0; x < 20; ++x) {
            const bool on_frame = x >= 11 && x <= 19 && y >= 11 && y <= 19;  // interior of a 0.1 cm frame
            if (on_frame) {
                EXPECT_EQ(r.pixel(x, y), 40) << x << "," << y;
            }
            if (x < 10 || y < 10) {
                EXPECT_EQ(r.pixel(x, y), 0) << x << "," << y;
            }
        }
}

// Catches a runaway plane count from an absurd slice thickness.
TEST(Degenerate, HugeSliceThicknessStaysBounded)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(100, 100, 70), 0.0, 0.0, 0.0));
    reslice_settings s;
    s.centre = {0.5, 0.5, 0.0};
    s.up = {0.5, 1.5, 0.0};
    s.width = s.height = 16;
    s.bscan_half_thickness = 0.001;
    s.slice_half_thickness = 1e12;
    s.compounding = reslice_compounding_t::average;
    reslice_internals r;
    r.set_settings(s);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(r.build_reslice(src));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Catches frames facing opposite ways cancelling into a zero normal when the
// plane is oriented along the mean frame.
TEST(Degenerate, MinVoxelsWithOppositeFramesGivesAFinitePlane)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(100, 50, 70), 0.0, 0.0, 0.0));
    src.frames.push_back(flat_frame(filled_image(100, 50, 90), 0.0, 0.5, 0.2, true));
    reslice_internals r;
    ASSERT_TRUE(r.set_reslice_for_min_voxels(src));
    EXPECT_NEAR(std::fabs(r.plane().normal().z), 1.0, 1e-9);
    // Both frames cover x 0..1, y 0..0.5: 100 x 50 pixels plus the margin of 2.
    EXPECT_NEAR(r.width(), 102, 1);
    EXPECT_NEAR(r.height(), 52, 1);
    EXPECT_TRUE(r.up_to_date());
}

// Catches unbounded sizes: one pose far away makes the extent huge, the size stays at 4096.
TEST(Degenerate, MinVoxelsWithAFarPoseClampsTheSize)
{
    reslice_source src = small_source();
    src.frames.push_back(flat_frame(filled_image(20, 20, 70), 0.0, 0.0, 0.0));
    src.frames.push_back(flat_frame(filled_image(20, 20, 70), 1e9, 0.0, 0.0));
    reslice_internals r;
    reslice_settings s;
    s.linear = false;
    r.set_settings(s);
    ASSERT_TRUE(r.set_reslice_for_min_voxels(src));
    EXPECT_EQ(r.width(), 4096);
    EXPECT_GE(r.height(), 1);
    EXPECT_LE(r.height(), 4096);
    EXPECT_TRUE(finite(r.plane().centre()));
}

// Catches a locate that changes the settings when there is nothing to locate.
TEST(Degenerate, MinVoxelsWithoutFramesRefuses)
{
    reslice_internals r;
    EXPECT_FALSE(r.set_reslice_for_min_voxels(small_source()));
    EXPECT_EQ(r.width(), 256);
}

}  // namespace

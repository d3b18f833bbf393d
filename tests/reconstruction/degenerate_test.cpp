// Degenerate geometry must give finite planes, bounded sizes and no reads
// outside a frame (run this suite under the sanitizers too).
#include <chrono>
#include <cmath>

#include <gtest/gtest.h>

#include "synthetic_sweep.h"

namespace {

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
    reslice_source src = source_of(0.01);
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
// mended normal is +z, the plane of the frame, so every pixel sees it.
TEST(Degenerate, ZeroNormalAndUpOnCentreStillBuild)
{
    reslice_settings s = plane_at({}, {}, 20, true, 0.01, {});
    const reslice_internals r = built(source_of(0.01, {flat_frame(filled_image(100, 100, 70), -0.5, -0.5, 0.0)}), s);
    EXPECT_TRUE(finite(r.plane().normal()));
    for (const std::uint8_t v : r.image())
        ASSERT_EQ(v, 70);
}

// Catches overflow or huge loops from frames placed absurdly far away, and a
// runaway plane count from an absurd slice thickness.
TEST(Degenerate, AbsurdDistancesAndThicknessesStayBounded)
{
    reslice_settings s = plane_at({0.0, 0.0, 1.0}, {}, 32, true, 1e20);
    const reslice_internals far = built(source_of(0.01, {flat_frame(filled_image(50, 50, 70), 1e30, -1e30, 0.0),
                                                         flat_frame(filled_image(50, 50, 70), 0.0, 0.0, 1e15)}), s);
    for (const std::uint8_t v : far.image())
        ASSERT_EQ(v, 0);

    s = plane_at({0.0, 0.0, 1.0}, {0.5, 0.5, 0.0}, 16, true, 0.001);
    s.slice_half_thickness = 1e12;
    s.compounding = reslice_compounding_t::average;
    const auto start = std::chrono::steady_clock::now();
    built(source_of(0.01, {flat_frame(filled_image(100, 100, 70), 0.0, 0.0, 0.0)}), s);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// Catches frames facing opposite ways cancelling into a zero normal when the
// plane is oriented along the mean frame.
TEST(Degenerate, MinVoxelsWithOppositeFramesGivesAFinitePlane)
{
    const reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 50, 70), 0.0, 0.0, 0.0),
                                                flat_frame(filled_image(100, 50, 90), 0.0, 0.5, 0.2, true)});
    reslice_internals r;
    ASSERT_TRUE(r.set_reslice_for_min_voxels(src));
    EXPECT_NEAR(std::fabs(r.plane().normal().z), 1.0, 1e-9);
    // Both frames cover x 0..1, y 0..0.5: 100 x 50 pixels plus the margin of 2.
    EXPECT_NEAR(r.width(), 102, 1);
    EXPECT_NEAR(r.height(), 52, 1);
    EXPECT_TRUE(r.up_to_date());
}

// Catches unbounded sizes: one pose far away makes the extent huge, the size
// stays at 4096; and a locate that changes the settings with no frames.
TEST(Degenerate, MinVoxelsClampsTheSizeAndNeedsFrames)
{
    reslice_internals r;
    EXPECT_FALSE(r.set_reslice_for_min_voxels(source_of(0.01)));
    EXPECT_EQ(r.width(), 256);
    reslice_settings s;
    s.linear = false;
    r.set_settings(s);
    ASSERT_TRUE(r.set_reslice_for_min_voxels(source_of(0.01, {flat_frame(filled_image(20, 20, 70), 0.0, 0.0, 0.0),
                                                               flat_frame(filled_image(20, 20, 70), 1e9, 0.0, 0.0)})));
    EXPECT_EQ(r.width(), 4096);
    EXPECT_GE(r.height(), 1);
    EXPECT_LE(r.height(), 4096);
    EXPECT_TRUE(finite(r.plane().centre()));
}

}  // namespace

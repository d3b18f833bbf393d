// Which of the recording's landmarks a reslice shows, and on which pixel.
#include <gtest/gtest.h>

#include "reconstruction/reslice_landmarks.h"

namespace {

landmark_t mark_at(const vertex3d& p, lmark_t kind = LMARK_3D)
{
    landmark_t m;
    m.position = p;
    m.kind = kind;
    return m;
}

reslice_settings tilted_settings()
{
    reslice_settings s;
    s.normal = {1.0, 2.0, -0.5};
    s.centre = {3.0, -1.0, 7.0};
    s.up = {3.0, 4.0, 9.0};
    s.width = 120;
    s.height = 80;
    s.bscan_half_thickness = 0.1;
    s.slice_half_thickness = 0.05;
    return s;
}

// Catches a slab that ignores either thickness, 2D landmarks taken as world
// points, fiducials not told apart, and a pixel off by one or flipped in y.
TEST(ResliceLandmarks, ThoseInTheSlabLandOnTheirPixels)
{
    const reslice_settings s = tilted_settings();
    const reslice_plane plane(s, 0.05);
    std::vector<landmark_t> marks = {
        mark_at(plane.reslice_to_world(10.3, 20.6, 0.0)),                  // pixel (10, 21)
        mark_at(plane.reslice_to_world(50.0, 5.0, 0.149), LMARK_FIDUCIAL),  // just inside both thicknesses
        mark_at(plane.reslice_to_world(60.0, 40.0, -0.151)),                 // just outside behind
        mark_at(plane.reslice_to_world(30.0, 30.0, 0.0), LMARK_2D),          // a frame position, not a world one
        mark_at(plane.reslice_to_world(-0.4, 79.4, 0.0), LMARK_SURFACE),     // the corner pixel (0, 79)
        mark_at(plane.reslice_to_world(119.6, 10.0, 0.0)),                   // past the last column
        mark_at(plane.reslice_to_world(20.0, -0.6, 0.0)),                    // below the first row
    };
    const std::vector<reslice_landmark> seen = landmarks_in_reslice(plane, s, marks);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].index, 0u);
    EXPECT_EQ(seen[0].column, 10);
    EXPECT_EQ(seen[0].row, 21);
    EXPECT_NEAR(seen[0].at.x, 10.3, 1e-9);
    EXPECT_FALSE(seen[0].fiducial);
    EXPECT_EQ(seen[1].index, 1u);
    EXPECT_EQ(seen[1].column, 50);
    EXPECT_EQ(seen[1].row, 5);
    EXPECT_TRUE(seen[1].fiducial);
    EXPECT_EQ(seen[2].index, 4u);
    EXPECT_EQ(seen[2].column, 0);
    EXPECT_EQ(seen[2].row, 79);
}

// Catches a zero-thickness slab that shows nothing, or a fixed depth that
// ignores the pixel size.
TEST(ResliceLandmarks, AThinSlabStillHoldsHalfAPixel)
{
    reslice_settings s = tilted_settings();
    s.bscan_half_thickness = 0.0;
    s.slice_half_thickness = 0.0;
    for (double size : {0.02, 0.2}) {
        const reslice_plane plane(s, size);
        EXPECT_DOUBLE_EQ(reslice_slab_half_depth(plane, s), 0.5 * size);
        const std::vector<landmark_t> marks = {mark_at(plane.reslice_to_world(5.0, 5.0, 0.45 * size)),
                                               mark_at(plane.reslice_to_world(6.0, 5.0, -0.55 * size))};
        const std::vector<reslice_landmark> seen = landmarks_in_reslice(plane, s, marks);
        ASSERT_EQ(seen.size(), 1u) << size;
        EXPECT_EQ(seen[0].index, 0u);
    }
}

}  // namespace

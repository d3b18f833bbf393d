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

reslice_settings tilted_settings(double bscan_half, double slice_half)
{
    reslice_settings s;
    s.normal = {1.0, 2.0, -0.5};
    s.centre = {3.0, -1.0, 7.0};
    s.up = {3.0, 4.0, 9.0};
    s.width = 120;
    s.height = 80;
    s.bscan_half_thickness = bscan_half;
    s.slice_half_thickness = slice_half;
    return s;
}

// Catches a slab that ignores either thickness, 2D landmarks taken as world
// points, fiducials not told apart, and a pixel off by one or flipped in y.
TEST(ResliceLandmarks, ThoseInTheSlabLandOnTheirPixels)
{
    const reslice_settings s = tilted_settings(0.1, 0.05);
    const reslice_plane plane(s, 0.05);
    const std::vector<landmark_t> marks = {
        mark_at(plane.reslice_to_world(10.3, 20.6, 0.0)),                   // pixel (10, 21)
        mark_at(plane.reslice_to_world(50.0, 5.0, 0.149), LMARK_FIDUCIAL),  // just inside both thicknesses
        mark_at(plane.reslice_to_world(60.0, 40.0, -0.151)),                // just outside behind
        mark_at(plane.reslice_to_world(30.0, 30.0, 0.0), LMARK_2D),         // a frame position, not a world one
        mark_at(plane.reslice_to_world(-0.4, 79.4, 0.0), LMARK_SURFACE),    // the corner pixel (0, 79)
        mark_at(plane.reslice_to_world(119.6, 10.0, 0.0)),                  // past the last column
        mark_at(plane.reslice_to_world(20.0, -0.6, 0.0)),                   // below the first row
    };
    const std::vector<reslice_landmark> seen = landmarks_in_reslice(plane, s, marks);
    const struct {
        std::size_t index;
        long column, row;
        bool fiducial;
    } expected[] = {{0, 10, 21, false}, {1, 50, 5, true}, {4, 0, 79, false}};
    ASSERT_EQ(seen.size(), std::size(expected));
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i].index, expected[i].index);
        EXPECT_EQ(seen[i].column, expected[i].column) << i;
        EXPECT_EQ(seen[i].row, expected[i].row) << i;
        EXPECT_EQ(seen[i].fiducial, expected[i].fiducial) << i;
    }
    EXPECT_NEAR(seen[0].at.x, 10.3, 1e-9);
}

// Catches a zero-thickness slab that shows nothing, or a fixed depth that
// ignores the pixel size: it holds half a pixel either side.
TEST(ResliceLandmarks, AThinSlabStillHoldsHalfAPixel)
{
    const reslice_settings s = tilted_settings(0.0, 0.0);
    for (double size : {0.02, 0.2}) {
        const reslice_plane plane(s, size);
        const std::vector<landmark_t> marks = {mark_at(plane.reslice_to_world(5.0, 5.0, 0.45 * size)),
                                               mark_at(plane.reslice_to_world(6.0, 5.0, -0.55 * size))};
        const std::vector<reslice_landmark> seen = landmarks_in_reslice(plane, s, marks);
        ASSERT_EQ(seen.size(), 1u) << size;
        EXPECT_EQ(seen[0].index, 0u);
    }
}

}  // namespace

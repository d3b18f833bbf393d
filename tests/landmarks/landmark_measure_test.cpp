// Landmark positions and the measurement table: a landmark on a frame lies
// where its frame's pose puts its pixel, distances are in millimetres, and
// anything that cannot be measured reads "--.--" rather than a wrong number.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_measure.h"

namespace {

// Frame 0 is moved by (1, 2, 3) cm and turned 90 degrees about z; other frames have no pose.
frame_geometry_t one_turned_frame(double sx, double sy)
{
    frame_geometry_t g;
    g.sx = sx;
    g.sy = sy;
    g.placement = [](long frame) -> std::optional<matrix16d> {
        if (frame != 0)
            return std::nullopt;
        matrix16d m;
        m.forward(1.0, 2.0, 3.0, 90.0, 0.0, 0.0);
        return m;
    };
    return g;
}

void expect_at(const std::optional<vertex3d>& p, double x, double y, double z)
{
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->x, x, 1e-9);
    EXPECT_NEAR(p->y, y, 1e-9);
    EXPECT_NEAR(p->z, z, 1e-9);
}

}  // namespace

// Pixel (10, 20) of 2 mm pixels is (2, 4) cm in the frame; turned a quarter
// about z that is (-4, 2), then moved by (1, 2, 3).
TEST(LandmarkPosition, FrameLandmarksGoThroughTheirFramePose)
{
    landmarks marks;
    const landmark_index on_frame = add_on_frame(&marks, {10.0, 20.0}, 0);
    const landmark_index no_pose = add_on_frame(&marks, {10.0, 20.0}, 4);
    const landmark_index world = add(&marks, {7.0, 8.0, 9.0}, LMARK_3D);
    const frame_geometry_t frames = one_turned_frame(0.2, 0.2);
    expect_at(world_position(marks.list[on_frame], frames), -3.0, 4.0, 3.0);
    EXPECT_FALSE(world_position(marks.list[no_pose], frames));
    // Every other kind is already in world coordinates: the pose does not touch it.
    expect_at(world_position(marks.list[world], frames), 7.0, 8.0, 9.0);
    // Without frames at all a frame landmark has no place; a NaN one neither.
    EXPECT_FALSE(world_position(marks.list[on_frame], frame_geometry_t{}));
    landmark_t nan_mark = marks.list[world];
    nan_mark.position.y = std::nan("");
    EXPECT_FALSE(world_position(nan_mark, frames));
}

// The session form reads bufp's poses, the calibration and the pixel scales.
class LandmarkSession : public SessionTest {};
TEST_F(LandmarkSession, FramePlacementComesFromTheRecording)
{
    res->RES_XTRANS->write(0.5);
    res->RES_YTRANS->write(0.0);
    res->RES_ZTRANS->write(0.0);
    res->RES_AZIMUTH->write(0.0);
    res->RES_ELEVATION->write(0.0);
    res->RES_ROLL->write(0.0);
    res->RES_XSCALE->write(0.1);
    res->RES_YSCALE->write(0.2);
    base_res_t::make_pending_writes_happen();
    counted_array_ptr<float> pose(6);
    const float values[6] = {1.0f, 2.0f, 3.0f, 90.0f, 0.0f, 0.0f};
    for (std::size_t k = 0; k < 6; ++k)
        pose[k] = values[k];
    bufp->append(cip_t::make_8bit(8, 8), pose, 1);
    bufp->append(cip_t::make_8bit(8, 8), counted_array_ptr<float>(), 2);

    landmarks marks;
    const landmark_index a = add_on_frame(&marks, {10.0, 10.0}, 0);
    const landmark_index b = add_on_frame(&marks, {10.0, 10.0}, 1);
    const landmark_index c = add_on_frame(&marks, {10.0, 10.0}, 7);
    const frame_geometry_t frames = frame_geometry_from_session();
    // In the frame (1 + 0.5, 2, 0) cm with the calibration's shift; turned and moved: (-1, 3.5, 3).
    expect_at(world_position(marks.list[a], frames), -1.0, 3.5, 3.0);
    EXPECT_FALSE(world_position(marks.list[b], frames));  // a frame without a pose
    EXPECT_FALSE(world_position(marks.list[c], frames));  // past the last frame
}

// Distances in mm between consecutive selections and the angle at the middle
// one; the first rows and unplaceable or coincident landmarks give "--.--".
TEST(LandmarkMeasurement, DistancesAndAnglesInTheTable)
{
    landmarks marks;
    const landmark_index o = add(&marks, {0, 0, 0}, LMARK_3D);
    const landmark_index x = add(&marks, {3, 0, 0}, LMARK_3D);
    const landmark_index xy = add(&marks, {3, 4, 0}, LMARK_3D);
    const landmark_index lost = add_on_frame(&marks, {1, 1}, 9);
    const landmark_index again = add(&marks, {3, 4, 0}, LMARK_FIDUCIAL);
    const frame_geometry_t frames = one_turned_frame(0.1, 0.1);

    const auto rows = measure(marks, {o, x, xy, o, 42, lost, xy, again}, frames);
    ASSERT_EQ(rows.size(), 7u);  // the index past the end is left out
    EXPECT_EQ(measurement_text(rows[0].distance_mm), "--.--");
    EXPECT_EQ(measurement_text(rows[0].angle_deg), "--.--");
    EXPECT_EQ(measurement_text(rows[1].distance_mm), "30.00");
    EXPECT_EQ(measurement_text(rows[1].angle_deg), "--.--");
    EXPECT_EQ(measurement_text(rows[2].distance_mm), "40.00");
    EXPECT_EQ(measurement_text(rows[2].angle_deg), "90.00");
    EXPECT_EQ(measurement_text(rows[3].distance_mm), "50.00");
    EXPECT_NEAR(*rows[3].angle_deg, std::atan2(3.0, 4.0) * 180.0 / std::numbers::pi, 1e-9);
    ASSERT_TRUE(rows[2].world_mm);
    EXPECT_EQ(rows[2].world_mm->y, 40.0);
    // A landmark on a frame without a pose: no position, and nothing measured to or past it.
    EXPECT_FALSE(rows[4].world_mm);
    EXPECT_EQ(measurement_text(rows[4].distance_mm), "--.--");
    EXPECT_EQ(measurement_text(rows[5].distance_mm), "--.--");
    EXPECT_EQ(measurement_text(rows[5].angle_deg), "--.--");
    // Two landmarks on one point: distance 0, but no angle at either.
    EXPECT_EQ(measurement_text(rows[6].distance_mm), "0.00");
    EXPECT_EQ(measurement_text(rows[6].angle_deg), "--.--");
    EXPECT_FALSE(angle_deg(vertex3d{1, 0, 0}, vertex3d{0, 0, 0}, vertex3d{0, 0, 0}));

    // Straight on, the rounded cosine may pass -1: 180, not NaN.
    const auto straight = angle_deg(vertex3d{-0.1, -0.2, -0.3}, vertex3d{0, 0, 0}, vertex3d{1e-3, 2e-3, 3e-3});
    ASSERT_TRUE(straight);
    EXPECT_NEAR(*straight, 180.0, 1e-6);
    EXPECT_EQ(measurement_text(std::nan("")), "--.--");
}

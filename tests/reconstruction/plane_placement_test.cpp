// Placing a reslice plane on a frame, and one frame's outline in a plane.
#include <cmath>

#include <gtest/gtest.h>

#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_sweeps.h"
#include "synthetic_sweep.h"

namespace {

constexpr double sx = 0.02, sy = 0.01;
constexpr long w = 80, h = 60;  // 1.6 x 0.6 cm

// Catches a default plane off the frame's centre, along the wrong axis or of
// the wrong size (window 0 keeps its own, 1 is H x H, 2 is W x H), and placing
// windows that have no frame rule, or on an empty frame.
TEST(DefaultPlane, FrameWindowsLieAcrossTheRightFrameAxes)
{
    reslice_frame f;
    f.image = filled_image(w, h, 90);
    f.image_to_world.forward(1.0, -2.0, 0.5, 30.0, -20.0, 65.0);
    const vertex3d centre = f.image_to_world * vertex3d{w * sx / 2, h * sy / 2, 0.0};
    const long sizes[3][2] = {{33, 44}, {h, h}, {w, h}};
    for (int window = 0; window < 3; ++window) {
        reslice_settings s;
        s.width = 33;
        s.height = 44;
        ASSERT_TRUE(default_plane_settings(window, f, sx, sy, &s));
        EXPECT_EQ(s.width, sizes[window][0]) << window;
        EXPECT_EQ(s.height, sizes[window][1]) << window;
        const reslice_plane p(s, 0.01);
        EXPECT_TRUE(p.was_sound()) << window;
        EXPECT_NEAR(length(p.reslice_to_world(p.width() / 2.0, p.height() / 2.0, 0.0) - centre), 0.0, 1e-9) << window;
        const vertex3d across = column(f.image_to_world, window == 1 ? 0 : 1);  // lateral for 1, else depth
        EXPECT_NEAR(std::fabs(dot(p.normal(), across)), 1.0, 1e-9) << window;
    }
    reslice_settings s;
    EXPECT_FALSE(default_plane_settings(3, f, sx, sy, &s));
    EXPECT_FALSE(default_plane_settings(0, reslice_frame{}, sx, sy, &s));
    EXPECT_EQ(s.width, reslice_settings{}.width);
    EXPECT_EQ(s.normal, reslice_settings{}.normal);
}

// A sweep of parallel frames z = 0 .. 0.9 (80 x 65 pixels of 0.02 x 0.01 cm,
// corner at (1, -2)), then a sweep of frames turned 90 degrees about z.
reslice_source two_sweep_source()
{
    reslice_source src = source_of(0.01);
    src.sx = sx;
    for (int k = 0; k < 10; ++k)
        src.frames.push_back(flat_frame(filled_image(w, 65, 90), 1.0, -2.0, 0.1 * k));
    for (int k = 0; k < 5; ++k) {
        src.frames.push_back(flat_frame(filled_image(w, 65, 90), 0.0, 0.0, 0.0));
        src.frames.back().image_to_world.forward(5.0, 0.0, 0.1 * k, 90.0, 0.0, 0.0);
    }
    assign_sweeps(&src, {0, 10});
    return src;
}

// Catches a window-3 plane that does not follow the chosen sweep: for parallel
// frames the plane runs through the middle of the sweep across the frames'
// lateral axis, up along their depth axis, sized from the sweep's extent
// (0.9 cm long, 0.65 cm deep at 0.01 cm a pixel: 97 x 74 pixels).
TEST(DefaultPlane, Window3FollowsTheChosenSweep)
{
    const reslice_source src = two_sweep_source();
    reslice_settings s;
    default_plane_inputs in;
    in.sweep = 0;
    ASSERT_TRUE(default_plane_settings(sweep_reslice_window, src, in, &s));
    const reslice_plane p(s, src.pixel_size);
    EXPECT_TRUE(p.was_sound());
    EXPECT_NEAR(p.normal().x, 1.0, 1e-12);
    EXPECT_NEAR(p.up_axis().y, 1.0, 1e-12);
    EXPECT_NEAR(length(p.centre() - vertex3d{1.0 + w * sx / 2, -2.0 + 0.325, 0.45}), 0.0, 1e-9);
    EXPECT_EQ(s.width, 97);
    EXPECT_EQ(s.height, 74);

    in.sweep = 1;  // image x along world y
    ASSERT_TRUE(default_plane_settings(sweep_reslice_window, src, in, &s));
    EXPECT_NEAR(s.normal.y, 1.0, 1e-12);

    // A single sweep: every frame counts, whatever sweep is asked for: 10 x (1, 0, 0) + 5 x (0, 1, 0).
    reslice_source one = src;
    assign_sweeps(&one, {});
    ASSERT_TRUE(sweep_plane_settings(one, 1, &s));
    EXPECT_NEAR(length(s.normal - (1.0 / std::sqrt(5.0)) * vertex3d{2.0, 1.0, 0.0}), 0.0, 1e-9);
}

// Catches NaN planes when the frames' axes cancel (a frame turned half round
// about its normal) and placing without frames.
TEST(DefaultPlane, Window3WithCancellingFramesStaysFinite)
{
    reslice_source src = source_of(0.01, {flat_frame(filled_image(w, h, 90), 0.0, 0.0, 0.0),
                                          flat_frame(filled_image(w, h, 90), 0.0, 0.0, 0.0)});
    src.sx = sx;
    src.frames[1].image_to_world.forward(w * sx, h * sy, 0.1, 180.0, 0.0, 0.0);
    reslice_settings s;
    ASSERT_TRUE(sweep_plane_settings(src, 0, &s));
    const reslice_plane p(s, 0.01);
    EXPECT_TRUE(p.was_sound());
    EXPECT_NEAR(std::fabs(p.normal().x), 1.0, 1e-12);
    EXPECT_TRUE(finite(p.centre()));

    const reslice_settings before = s;
    EXPECT_FALSE(sweep_plane_settings(reslice_source{}, 0, &s));
    EXPECT_EQ(s.centre, before.centre);
    EXPECT_EQ(s.width, before.width);
}

// Catches the isocentre plane taken from the pose itself rather than its
// inverse. The pose (0, 0, 2, 0, 0, 90) maps world y = -2 to the isocentre
// z = 0: its x-y plane is world y = -2, its y axis world -z. Frames 1.8 cm
// wide at z = 0 .. 0.9 cross it: 90 x 45 pixels, so 97 x 50.
TEST(DefaultPlane, IsocentrePlaneIsTheIsocentreFrame)
{
    reslice_source src = source_of(0.02);
    for (int k = 0; k < 10; ++k)
        src.frames.push_back(flat_frame(filled_image(90, 100, 150), 0.0, -3.0, 0.1 * k));
    default_plane_inputs in;
    in.isocentre = {0.0, 0.0, 2.0, 0.0, 0.0, 90.0};
    reslice_settings s;
    s.bscan_half_thickness = 0.05;
    ASSERT_TRUE(default_plane_settings(isocentre_reslice_window, src, in, &s));
    const reslice_internals r = built(src, s);
    EXPECT_NEAR(length(r.plane().normal() - vertex3d{0.0, 1.0, 0.0}), 0.0, 1e-12);
    EXPECT_NEAR(length(r.plane().up_axis() - vertex3d{0.0, 0.0, -1.0}), 0.0, 1e-12);
    EXPECT_NEAR(length(r.plane().centre() - vertex3d{0.9, -2.0, 0.45}), 0.0, 1e-9);
    EXPECT_EQ(r.width(), 97);
    EXPECT_EQ(r.height(), 50);
    EXPECT_EQ(r.pixel(r.width() / 2, r.height() / 2), 150);

    // No frames: centred on the isocentre, size kept. A pose that is not finite: the world frame.
    reslice_settings empty;
    empty.width = 33;
    isocentre_plane_settings(reslice_source{}, in.isocentre, &empty);
    EXPECT_NEAR(length(empty.centre - vertex3d{0.0, -2.0, 0.0}), 0.0, 1e-12);
    EXPECT_EQ(empty.width, 33);
    isocentre_plane_settings(src, {NAN, 0.0, 0.0, 0.0, INFINITY, 0.0}, &empty);
    EXPECT_EQ(empty.normal, (vertex3d{0.0, 0.0, 1.0}));
    EXPECT_TRUE(finite(empty.centre));
}

// Catches windows 0-2 placed on a frame other than the current one (frames
// are found by their recording number), or placed with no such frame.
TEST(DefaultPlane, FrameWindowsUseTheCurrentFrameByNumber)
{
    reslice_source src = two_sweep_source();
    for (std::size_t i = 0; i < src.frames.size(); ++i)
        src.frames[i].number = static_cast<long>(i) + 100;
    default_plane_inputs in;
    in.current_frame = 103;
    reslice_settings s;
    ASSERT_TRUE(default_plane_settings(2, src, in, &s));
    EXPECT_NEAR(s.centre.z, 0.3, 1e-12);
    EXPECT_FALSE(default_plane_settings(5, src, in, &s));
    in.current_frame = 3;
    EXPECT_FALSE(default_plane_settings(2, src, in, &s));
}

// Catches a landmark snapped to a frame whose slab does not hold it, to the
// farther of two, or moved off the frame's plane. The plane is oblique, so
// the projection moves the point within the reslice too.
TEST(SnapLandmark, LandsOnTheNearestFrameHoldingThePoint)
{
    reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.0),
                                          flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.1)});
    src.frames[0].number = 7;
    src.frames[1].number = 8;
    reslice_internals r;
    r.set_settings(plane_at({1.0, 0.0, 1.0}, {0.5, 0.5, 0.05}, 256, true, 0.06));
    // Points of the plane: (0.5 + t, y, 0.05 - t).
    const struct {
        double t, y;
        long number;  // -1: not snapped
    } cases[] = {{0.005, 0.4, 7}, {-0.005, 0.4, 8}, {0.02, 0.7, 7}, {-0.15, 0.4, -1}, {0.02, 1.4, -1}};
    for (const auto& c : cases) {
        const vertex3d world{0.5 + c.t, c.y, 0.05 - c.t};
        const vertex3d at = r.world_to_reslice(world);
        ASSERT_NEAR(at.z, 0.0, 1e-12);
        vertex2d point{at.x, at.y};
        const landmark_snap snap = r.snap_landmark(src, point);
        ASSERT_EQ(snap.snapped, c.number >= 0) << c.t << " " << c.y;
        if (!snap.snapped) {
            EXPECT_EQ(point, (vertex2d{at.x, at.y}));
            continue;
        }
        EXPECT_EQ(snap.number, c.number);
        const vertex3d expected{world.x, world.y, c.number == 7 ? 0.0 : 0.1};
        EXPECT_NEAR(length(snap.world - expected), 0.0, 1e-9);
        const vertex3d moved = r.world_to_reslice(expected);
        EXPECT_NEAR(point.x, moved.x, 1e-9);
        EXPECT_NEAR(point.y, moved.y, 1e-9);
    }
    vertex2d lost{NAN, 3.0};
    EXPECT_FALSE(r.snap_landmark(src, lost).snapped);
}

// Catches a wrong slab outline: a plane square to a 1 x 1 cm frame of half
// thickness 0.1 cuts a 1 cm by 0.2 cm rectangle, 100 x 20 pixels of 0.01 cm.
TEST(BscanIntersection, SquareCutIsTheSlabRectangle)
{
    const reslice_source src = source_of(0.01, {flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.0)});
    reslice_internals r;
    r.set_settings(plane_at({1.0, 0.0, 0.0}, {0.5, 0.5, 0.0}, 256, true, 0.1));
    const std::vector<vertex2d> outline = r.bscan_intersection(src, 0);
    ASSERT_EQ(outline.size(), 4u);
    EXPECT_NEAR(polygon_area(outline), 2000.0, 0.5);
    EXPECT_TRUE(r.bscan_intersection(src, 1).empty());
    r.set_settings(plane_at({1.0, 0.0, 0.0}, {5.0, 0.5, 0.0}, 256, true, 0.1));  // beside the frame
    EXPECT_TRUE(r.bscan_intersection(src, 0).empty());
}

// Catches a frame thickness that leaves gaps between frames (or swallows
// neighbours): slabs of 0.6 x the usual spacing meet with a little overlap.
TEST(FrameThickness, FollowsTheMedianFrameSpacing)
{
    reslice_source source = source_of(0.01);
    for (int i = 0; i < 9; ++i)
        source.frames.push_back(flat_frame(filled_image(10, 10, 50), 0.0, 0.0, 0.1 * i + (i == 5 ? 0.3 : 0.0)));
    EXPECT_NEAR(suggested_bscan_half_thickness(source), 0.06, 1e-9) << "one odd gap does not move the median";
    source.frames.resize(1);
    EXPECT_EQ(suggested_bscan_half_thickness(source), 0.0);
}

}  // namespace

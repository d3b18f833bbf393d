// Placing a reslice plane on a frame, and one frame's outline in a plane.
#include <cmath>

#include <gtest/gtest.h>

#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/reslice_sweeps.h"
#include "synthetic_sweep.h"

namespace {

constexpr double sx = 0.02, sy = 0.01;
constexpr long w = 80, h = 60;  // 1.6 x 0.6 cm

reslice_frame tilted_frame()
{
    reslice_frame f;
    f.image = filled_image(w, h, 90);
    f.image_to_world.forward(1.0, -2.0, 0.5, 30.0, -20.0, 65.0);
    return f;
}

vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}

// Catches a default plane off the frame's centre or along the wrong axis.
TEST(DefaultPlane, WindowsLieAcrossTheRightFrameAxes)
{
    const reslice_frame f = tilted_frame();
    const vertex3d centre = f.image_to_world * vertex3d{w * sx / 2, h * sy / 2, 0.0};
    const vertex3d lateral = column(f.image_to_world, 0), depth = column(f.image_to_world, 1);
    for (int window = 0; window < 3; ++window) {
        reslice_settings s;
        s.width = s.height = 33;
        ASSERT_TRUE(default_plane_settings(window, f, sx, sy, &s));
        const reslice_plane p(s, 0.01);
        EXPECT_TRUE(p.was_sound()) << window;
        const vertex3d mid = p.reslice_to_world(p.width() / 2.0, p.height() / 2.0, 0.0);
        EXPECT_NEAR(length(mid - centre), 0.0, 1e-9) << window;
        const vertex3d across = window == 1 ? lateral : depth;
        EXPECT_NEAR(std::fabs(dot(p.normal(), across)), 1.0, 1e-9) << window;
    }
}

// Catches the wrong sizes: window 0 keeps its own, 1 is H x H, 2 is W x H.
TEST(DefaultPlane, WindowSizesFollowTheFrame)
{
    const reslice_frame f = tilted_frame();
    reslice_settings s0, s1, s2;
    s0.width = 33;
    s0.height = 44;
    ASSERT_TRUE(default_plane_settings(0, f, sx, sy, &s0));
    ASSERT_TRUE(default_plane_settings(1, f, sx, sy, &s1));
    ASSERT_TRUE(default_plane_settings(2, f, sx, sy, &s2));
    EXPECT_EQ(s0.width, 33);
    EXPECT_EQ(s0.height, 44);
    EXPECT_EQ(s1.width, h);
    EXPECT_EQ(s1.height, h);
    EXPECT_EQ(s2.width, w);
    EXPECT_EQ(s2.height, h);
}

// Catches placing windows that have no frame rule, or placing on an empty frame.
TEST(DefaultPlane, OtherWindowsAndEmptyFramesAreRefused)
{
    reslice_settings s;
    const reslice_settings before = s;
    EXPECT_FALSE(default_plane_settings(3, tilted_frame(), sx, sy, &s));
    EXPECT_FALSE(default_plane_settings(0, reslice_frame{}, sx, sy, &s));
    EXPECT_EQ(s.width, before.width);
    EXPECT_EQ(s.normal, before.normal);
}

// A sweep of parallel frames z = 0 .. 0.9 (80 x 65 pixels of 0.02 x 0.01 cm,
// corner at (1, -2)), then a sweep of frames turned 90 degrees about z.
reslice_source two_sweep_source()
{
    reslice_source src;
    src.sx = sx;
    src.sy = sy;
    src.pixel_size = 0.01;
    for (int k = 0; k < 10; ++k)
        src.frames.push_back(flat_frame(filled_image(w, 65, 90), 1.0, -2.0, 0.1 * k));
    for (int k = 0; k < 5; ++k) {
        reslice_frame f;
        f.image = filled_image(w, 65, 90);
        f.image_to_world.forward(5.0, 0.0, 0.1 * k, 90.0, 0.0, 0.0);
        src.frames.push_back(f);
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

    // A single sweep: every frame counts, whatever sweep is asked for.
    reslice_source one = src;
    assign_sweeps(&one, {});
    ASSERT_TRUE(sweep_plane_settings(one, 1, &s));
    EXPECT_NEAR(length(s.normal - (1.0 / std::sqrt(5.0)) * vertex3d{2.0, 1.0, 0.0}), 0.0, 1e-9)  // 10 x (1, 0, 0) + 5 x (0, 1, 0)
        << s.normal.x << " " << s.normal.y;
}

// Catches NaN planes when the frames' axes cancel (a frame turned half round
// about its normal) and placing without frames.
TEST(DefaultPlane, Window3WithCancellingFramesStaysFinite)
{
    reslice_source src;
    src.sx = sx;
    src.sy = sy;
    src.frames.push_back(flat_frame(filled_image(w, h, 90), 0.0, 0.0, 0.0));
    reslice_frame turned;
    turned.image = filled_image(w, h, 90);
    turned.image_to_world.forward(w * sx, h * sy, 0.1, 180.0, 0.0, 0.0);
    src.frames.push_back(turned);
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
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.02;
    for (int k = 0; k < 10; ++k)
        src.frames.push_back(flat_frame(filled_image(90, 100, 150), 0.0, -3.0, 0.1 * k));
    default_plane_inputs in;
    in.isocentre = {0.0, 0.0, 2.0, 0.0, 0.0, 90.0};
    reslice_settings s;
    s.bscan_half_thickness = 0.05;
    ASSERT_TRUE(default_plane_settings(isocentre_reslice_window, src, in, &s));
    reslice_internals r;
    r.set_pixel_size(src.pixel_size);
    r.set_settings(s);
    EXPECT_NEAR(length(r.plane().normal() - vertex3d{0.0, 1.0, 0.0}), 0.0, 1e-12);
    EXPECT_NEAR(length(r.plane().up_axis() - vertex3d{0.0, 0.0, -1.0}), 0.0, 1e-12);
    EXPECT_NEAR(length(r.plane().centre() - vertex3d{0.9, -2.0, 0.45}), 0.0, 1e-9);
    EXPECT_EQ(r.width(), 97);
    EXPECT_EQ(r.height(), 50);
    ASSERT_TRUE(r.build_reslice(src));
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
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.0));
    src.frames.push_back(flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.1));
    src.frames[0].number = 7;
    src.frames[1].number = 8;
    reslice_settings s;
    s.normal = {1.0, 0.0, 1.0};
    s.centre = {0.5, 0.5, 0.05};
    s.up = {0.5, 1.5, 0.05};
    s.bscan_half_thickness = 0.06;
    reslice_internals r;
    r.set_pixel_size(0.01);
    r.set_settings(s);
    // Points of the plane: (0.5 + t, y, 0.05 - t).
    struct case_t {
        double t, y;
        bool snapped;
        long number;
    };
    for (const case_t c : {case_t{0.005, 0.4, true, 7}, case_t{-0.005, 0.4, true, 8}, case_t{0.02, 0.7, true, 7},
                           case_t{-0.15, 0.4, false, -1}, case_t{0.02, 1.4, false, -1}}) {
        const vertex3d world{0.5 + c.t, c.y, 0.05 - c.t};
        const vertex3d at = r.world_to_reslice(world);
        ASSERT_NEAR(at.z, 0.0, 1e-12);
        vertex2d point{at.x, at.y};
        const landmark_snap snap = r.snap_landmark(src, point);
        ASSERT_EQ(snap.snapped, c.snapped) << c.t << " " << c.y;
        if (!c.snapped) {
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

double polygon_area(const std::vector<vertex2d>& p)
{
    double a = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const vertex2d& u = p[i];
        const vertex2d& v = p[(i + 1) % p.size()];
        a += u.x * v.y - v.x * u.y;
    }
    return std::fabs(a) / 2.0;
}

// Catches a wrong slab outline: a plane square to a 1 x 1 cm frame of half
// thickness 0.1 cuts a 1 cm by 0.2 cm rectangle, 100 x 20 pixels of 0.01 cm.
TEST(BscanIntersection, SquareCutIsTheSlabRectangle)
{
    reslice_source src;
    src.sx = src.sy = src.pixel_size = 0.01;
    src.frames.push_back(flat_frame(filled_image(100, 100, 9), 0.0, 0.0, 0.0));
    reslice_settings s;
    s.normal = {1.0, 0.0, 0.0};
    s.centre = {0.5, 0.5, 0.0};
    s.up = {0.5, 1.5, 0.0};
    s.bscan_half_thickness = 0.1;
    reslice_internals r;
    r.set_settings(s);
    r.set_pixel_size(0.01);
    const std::vector<vertex2d> outline = r.bscan_intersection(src, 0);
    ASSERT_EQ(outline.size(), 4u);
    EXPECT_NEAR(polygon_area(outline), 2000.0, 0.5);
    EXPECT_TRUE(r.bscan_intersection(src, 1).empty());
    s.centre = {5.0, 0.5, 0.0};  // beside the frame
    s.up = {5.0, 1.5, 0.0};
    r.set_settings(s);
    EXPECT_TRUE(r.bscan_intersection(src, 0).empty());
}

}  // namespace

// Catches a frame thickness that leaves gaps between frames (or swallows
// neighbours): slabs of 0.6 x the usual spacing meet with a little overlap.
TEST(FrameThickness, FollowsTheMedianFrameSpacing)
{
    reslice_source source;
    source.sx = source.sy = 0.01;
    for (int i = 0; i < 9; ++i)
        source.frames.push_back(flat_frame(filled_image(10, 10, 50), 0.0, 0.0, 0.1 * i + (i == 5 ? 0.3 : 0.0)));
    EXPECT_NEAR(suggested_bscan_half_thickness(source), 0.06, 1e-9) << "one odd gap does not move the median";
    source.frames.resize(1);
    EXPECT_EQ(suggested_bscan_half_thickness(source), 0.0);
}

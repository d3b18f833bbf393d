// Volumes from outlines on placed frames, against the demo ellipsoid's
// analytic sections and simple prisms.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "demo/phantom.h"
#include "segmentation/planimetry.h"
#include "support/outline_shapes.h"

namespace {

constexpr double sx = 0.01, sy = 0.012;

contour outline(const ellipse2d& e, int n = 360) { return ellipse_outline(e, sx, sy, n); }

// Outlines the ellipsoid on every plane that cuts it; the planes become the frames.
double measured_volume(const ellipsoid_shape& e, const std::vector<matrix16d>& planes)
{
    frame_placements placements;
    placements.sx = sx;
    placements.sy = sy;
    contour_object object;
    for (const matrix16d& plane : planes) {
        const auto frame = static_cast<std::int32_t>(placements.frames.size());
        placements.frames.push_back(placed(plane));
        const ellipse2d cut = section(e, plane);
        if (cut.exists && cut.b > 0.0)
            object.insert(frame, outline(cut));
    }
    return planimetry_volume(object, placements);
}

TEST(Planimetry, DemoEllipsoidOnParallelAndFanPlanes)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    const double truth = volume(e);

    // 40 parallel planes across the ellipsoid's longest extent (its x in world).
    std::vector<matrix16d> parallel;
    const double reach = 1.05 * std::max({e.semi[0], e.semi[1], e.semi[2]});
    for (int i = 0; i < 40; ++i) {
        matrix16d m;
        // Planes across x: the image x runs along world y, image y along world z.
        m.forward(e.centre.x - reach + 2.0 * reach * (i + 0.5) / 40.0, e.centre.y - 3.0, e.centre.z - 3.0, 90.0,
                  0.0, 90.0);
        parallel.push_back(m);
    }
    EXPECT_NEAR(measured_volume(e, parallel), truth, 0.02 * truth);

    // 40 planes fanned about an axis beside the ellipsoid, as a probe rocked on the skin.
    std::vector<matrix16d> fan;
    const double half_angle = std::atan2(reach, 3.0) * 180.0 / std::numbers::pi;
    for (int i = 0; i < 40; ++i) {
        const double angle = -half_angle + 2.0 * half_angle * (i + 0.5) / 40.0;
        matrix16d pivot, tilt, offset;
        pivot.forward(e.centre.x, e.centre.y, e.centre.z - 3.0);
        tilt.forward(0.0, 0.0, 0.0, 0.0, angle, 0.0);  // about the pivot's y axis
        offset.forward(0.0, -3.0, 0.0, 90.0, 0.0, 90.0);
        fan.push_back(pivot * tilt * offset);
    }
    EXPECT_NEAR(measured_volume(e, fan), truth, 0.03 * truth);
}

TEST(Planimetry, PrismsSweepsAndHoles)
{
    frame_placements placements;
    placements.sx = 0.1;
    placements.sy = 0.1;
    for (int i = 0; i < 6; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 0.5 * i);  // parallel frames 0.5 cm apart
        placements.frames.push_back(placed(m, i < 3 ? 0 : 1));
    }
    // Two outlines of area A give A h, in either order of insertion.
    for (bool reversed : {false, true}) {
        contour_object o;
        o.insert(reversed ? 1 : 0, rectangle(0, 0, 20, 10));  // 2 cm^2
        o.insert(reversed ? 0 : 1, rectangle(5, 5, 20, 10));
        EXPECT_NEAR(planimetry_volume(o, placements), 1.0, 1e-12);
    }
    // Identical outlines on three equally spaced frames: area times the span.
    contour_object three;
    for (int f = 0; f < 3; ++f)
        three.insert(f, rectangle(0, 0, 20, 10));
    EXPECT_NEAR(planimetry_volume(three, placements), 2.0, 1e-12);
    // Two sweeps add, never join: frames 2 and 3 lie in different sweeps.
    contour_object two_sweeps;
    for (int f = 1; f < 5; ++f)
        two_sweeps.insert(f, rectangle(0, 0, 20, 10));
    EXPECT_NEAR(planimetry_volume(two_sweeps, placements), 1.0 + 1.0, 1e-12);
    // A hole subtracts on its frame.
    contour_object holed;
    holed.insert(0, rectangle(0, 0, 20, 10));
    holed.insert(0, rectangle(5, 2, 10, 5));
    holed.insert(1, rectangle(0, 0, 20, 10));
    holed.insert(1, rectangle(5, 2, 10, 5));
    EXPECT_NEAR(planimetry_volume(holed, placements), (2.0 - 0.5) * 0.5, 1e-12);
}

TEST(Planimetry, NothingMeasurableGivesZeroNeverNaN)
{
    frame_placements placements;
    for (int i = 0; i < 3; ++i) {
        matrix16d m;
        m.forward(0.0, 0.0, 1.0 * i);
        placements.frames.push_back(placed(m));
    }
    contour_object one;
    one.insert(0, rectangle(0, 0, 20, 10));
    EXPECT_EQ(planimetry_volume(one, placements), 0.0);
    // A frame without a usable pose, or beyond the recording, is left out.
    contour_object gap;
    gap.insert(0, rectangle(0, 0, 20, 10));
    gap.insert(1, rectangle(0, 0, 20, 10));
    gap.insert(7, rectangle(0, 0, 20, 10));
    placements.frames[1].usable = false;
    EXPECT_EQ(planimetry_volume(gap, placements), 0.0);
    placements.frames[1].usable = true;
    EXPECT_NEAR(planimetry_volume(gap, placements), 200.0 * 1e-4, 1e-12);
    // Outlines without area (a click, a line) and scales not above 0 measure nothing.
    contour_object flat;
    contour dot;
    dot.points = {{3, 3}};
    flat.sets.resize(2);
    flat.sets[0].frame = 0;
    flat.sets[0].contours = {dot};
    flat.sets[1].frame = 1;
    flat.sets[1].contours = {rectangle(0, 0, 20, 0)};
    EXPECT_EQ(planimetry_volume(flat, placements), 0.0);
    placements.sx = 0.0;
    EXPECT_EQ(planimetry_volume(gap, placements), 0.0);
    placements.sx = std::nan("");
    EXPECT_EQ(planimetry_volume(gap, placements), 0.0);
}

TEST(Planimetry, CatmullRomPassesThroughItsMiddlePoints)
{
    const vertex3d p0{0, 0, 0}, p1{1, 2, 0}, p2{3, 1, 1}, p3{4, 4, 2};
    const auto [a, b, c, d] = catmull_rom_3d_curve(p0, p1, p2, p3);
    EXPECT_EQ(d, p1);
    EXPECT_NEAR(a.x + b.x + c.x + d.x, p2.x, 1e-12);
    EXPECT_NEAR(a.y + b.y + c.y + d.y, p2.y, 1e-12);
    EXPECT_NEAR(a.z + b.z + c.z + d.z, p2.z, 1e-12);
    EXPECT_EQ(extrapolate_3d_point(p1, p2), (vertex3d{5, 0, 2}));
}

}  // namespace

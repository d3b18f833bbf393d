// Demo phantom shapes: inside tests, volumes and plane sections must match
// closed forms, because rebuilt volumes are later scored against them.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "chain.h"
#include "demo/phantom.h"
#include "demo/true_outlines.h"

namespace {

constexpr double pi = std::numbers::pi;

ellipsoid_shape tilted_ellipsoid()
{
    ellipsoid_shape e;
    e.centre = {1.0, -2.0, 3.0};
    e.semi[0] = 1.0;
    e.semi[1] = 0.6;
    e.semi[2] = 0.5;
    e.az = 25.0;
    e.el = 10.0;
    e.roll = -15.0;
    return e;
}

class ShapeSampling : public ::testing::Test {
protected:
    std::mt19937_64 rng{20240301};
    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

    // Hit-or-miss volume over a box against volume(s), within four standard errors.
    template <typename Shape>
    void expect_sampled_volume(const Shape& s, const vertex3d& lo, const vertex3d& hi)
    {
        constexpr int n = 400000;
        int hits = 0;
        for (int i = 0; i < n; ++i)
            hits += inside(s, vertex3d{uniform(lo.x, hi.x), uniform(lo.y, hi.y), uniform(lo.z, hi.z)});
        const double box = (hi.x - lo.x) * (hi.y - lo.y) * (hi.z - lo.z), p = double(hits) / n;
        EXPECT_NEAR(box * p, volume(s), 4.0 * box * std::sqrt(p * (1.0 - p) / n));
    }
};

// Catches a volume taken from full axes instead of semi-axes, an inside test
// that scales or rotates the axes wrongly, and a vessel with round (capsule)
// ends or its radius used as a diameter: it is a cylinder with flat ends.
TEST_F(ShapeSampling, VolumesMatchSampling)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    expect_sampled_volume(e, e.centre - vertex3d{1, 1, 1}, e.centre + vertex3d{1, 1, 1});
    tube_shape t;
    t.start = {0.5, -1.0, 2.0};
    t.end = {3.0, 1.0, 2.5};
    t.radius = 0.3;
    expect_sampled_volume(t, {0.2, -1.3, 1.7}, {3.3, 1.3, 2.8});
}

// Catches orientation angles applied in another order or sense than a pose's.
TEST(EllipsoidShape, OrientationTurnsAxesLikeAPose)
{
    const struct {
        double az, el, roll;
        int long_axis;
        vertex3d in, out;
    } cases[] = {
        {90.0, 0.0, 0.0, 0, {0, 1.9, 0}, {1.9, 0, 0}},   // Rz(90): the long x axis onto world y
        {0.0, 90.0, 0.0, 0, {0, 0, -1.9}, {1.9, 0, 0}},  // Ry(90): x onto -z
        {0.0, 0.0, 90.0, 1, {0, 0, 1.9}, {0, 1.9, 0}},   // Rx(90): the long y axis onto z
    };
    for (const auto& c : cases) {
        ellipsoid_shape e;
        e.centre = {5.0, 6.0, 7.0};
        e.semi[0] = e.semi[1] = e.semi[2] = 0.5;
        e.semi[c.long_axis] = 2.0;
        e.az = c.az;
        e.el = c.el;
        e.roll = c.roll;
        EXPECT_TRUE(inside(e, e.centre + c.in)) << c.az << " " << c.el << " " << c.roll;
        EXPECT_FALSE(inside(e, e.centre + c.out)) << c.az << " " << c.el << " " << c.roll;
    }
}

// A plane at distance d = t h from the centre along unit normal n cuts an
// ellipse of area pi*a*b*c/h * (1 - t^2), centred at centre + d Q^-1 n / h^2,
// where h^2 = n' Q^-1 n (Q^-1 = R diag(semi^2) R') is the support distance;
// for |t| > 1 it cuts nothing. Catches wrong semi-axes of the cut (area), a
// cut placed wrongly (centre), a long axis pointing the wrong way in the plane
// (contains against inside) and a cut reported for a plane that misses.
TEST_F(ShapeSampling, EllipsoidSectionsMatchTheSupportDistanceFormula)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    const matrix16d f = e.frame();
    int in = 0, out = 0;
    for (int i = 0; i < 600; ++i) {
        matrix16d plane;
        plane.forward(0.0, 0.0, 0.0, uniform(-180, 180), uniform(-89, 89), uniform(-180, 180));
        const vertex3d n = column(plane, 2);
        vertex3d q_inv_n;
        for (int k = 0; k < 3; ++k)
            q_inv_n = q_inv_n + e.semi[k] * e.semi[k] * dot(column(f, k), n) * column(f, k);
        const double h = std::sqrt(dot(n, q_inv_n));
        const double t = i < 400 ? uniform(-0.95, 0.95) : (i % 2 ? 1.0 : -1.0) * uniform(1.01, 3.0);
        // Slide the plane's origin within the plane so plane coordinates are not centred.
        const vertex3d o = e.centre + t * h * n + uniform(-2, 2) * column(plane, 0) + uniform(-2, 2) * column(plane, 1);
        plane[12] = o.x;
        plane[13] = o.y;
        plane[14] = o.z;
        const ellipse2d s = section(e, plane);
        if (std::fabs(t) > 1.0) {
            EXPECT_FALSE(s.exists) << "case " << i;
            EXPECT_EQ(s.area(), 0.0);
            EXPECT_FALSE(s.contains(s.cx, s.cy));
            continue;
        }
        ASSERT_TRUE(s.exists) << "case " << i;
        const double expected = pi * 0.3 / h * (1.0 - t * t);
        EXPECT_NEAR(s.area(), expected, 1e-9 * expected) << "case " << i;
        EXPECT_NEAR(length(plane * vertex3d{s.cx, s.cy, 0.0} - (e.centre + (t / h) * q_inv_n)), 0.0, 1e-9) << i;
        for (int k = 0; k < 50; ++k) {
            const double x = s.cx + uniform(-1.2, 1.2) * s.a, y = s.cy + uniform(-1.2, 1.2) * s.a;
            const bool truth = inside(e, plane * vertex3d{x, y, 0.0});
            EXPECT_EQ(s.contains(x, y), truth);
            (truth ? in : out) += 1;
        }
    }
    EXPECT_GT(in, 5000);  // both sides of the boundary were sampled
    EXPECT_GT(out, 5000);
}

// The vessel's true outline on a plane: the side's ellipse cut back by the
// flat ends. Catches ends left off, applied on the wrong side, or an ellipse
// of the wrong size or place: points of the plane are inside the outline
// exactly when the tube holds them, but within a hair of the outline.
TEST_F(ShapeSampling, TubeOutlinesMatchTheInsideTest)
{
    tube_shape t;
    t.start = {-1.0, 0.2, 0.1};
    t.end = {1.2, -0.3, 0.6};
    t.radius = 0.3;
    int compared = 0, clipped = 0, missed = 0;
    for (int i = 0; i < 300; ++i) {
        matrix16d plane;
        plane.forward(uniform(-1.5, 1.5), uniform(-0.5, 0.5), uniform(-0.5, 0.5), uniform(-180, 180),
                      uniform(-89, 89), uniform(-180, 180));
        // Pixels of a twentieth of a millimetre.
        const contour c = tube_outline(t, plane, 0.005, 0.005, 720);
        if (c.points.empty()) {
            ++missed;
            continue;
        }
        ASSERT_GE(c.points.size(), 3u);
        double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
        for (const vertex2d& p : c.points) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        bool cut_by_an_end = false;
        for (int k = 0; k < 200; ++k) {
            const vertex2d p{uniform(x0 - 20, x1 + 20), uniform(y0 - 20, y1 + 20)};
            const bool truth = inside(t, plane * vertex3d{0.005 * p.x, 0.005 * p.y, 0.0});
            if (c.point_inside(p) != truth) {
                // Only where the outline's chords cut the curve: within 0.2 pixel of it.
                double nearest = INFINITY;
                for (std::size_t j = 0; j < c.points.size(); ++j) {
                    const vertex2d& a = c.points[j];
                    const vertex2d& b = c.points[(j + 1) % c.points.size()];
                    const double dx = b.x - a.x, dy = b.y - a.y;
                    const double u = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
                    nearest = std::min(nearest, std::hypot(p.x - a.x - u * dx, p.y - a.y - u * dy));
                }
                EXPECT_LT(nearest, 0.2) << "plane " << i;
            }
            ++compared;
        }
        // An end cuts the outline when a straight piece joins the ellipse.
        for (std::size_t j = 0; j < c.points.size(); ++j) {
            const vertex2d& a = c.points[j];
            const vertex2d& b = c.points[(j + 1) % c.points.size()];
            cut_by_an_end = cut_by_an_end || std::hypot(b.x - a.x, b.y - a.y) > 60.0;
        }
        clipped += cut_by_an_end;
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(clipped, 20);  // planes through the ends were tried
    EXPECT_GT(missed, 10);   // and planes missing the tube
}

// Catches a demo layout where shapes overlap each other or the skin: each
// shape's true volume would then no longer be what a scan of it shows.
TEST(DemoPhantom, ShapesAreDisjoint)
{
    const phantom p = demo_phantom();
    ASSERT_EQ(p.ellipsoids.size(), 1u);
    ASSERT_EQ(p.tubes.size(), 1u);
    const ellipsoid_shape& organ = p.ellipsoids[0];
    const tube_shape& vessel = p.tubes[0];
    constexpr double step = 0.025;
    // Walks a grid over a box holding one shape; returns how many grid points it holds.
    const auto scan = [&](const auto& shape, const vertex3d& lo, const vertex3d& hi) {
        long count = 0;
        for (double x = lo.x; x <= hi.x; x += step)
            for (double y = lo.y; y <= hi.y; y += step)
                for (double z = lo.z; z <= hi.z; z += step) {
                    const vertex3d v{x, y, z};
                    if (!inside(shape, v))
                        continue;
                    ++count;
                    EXPECT_FALSE(inside(p.skin, v));
                    EXPECT_FALSE(inside(organ, v) && inside(vessel, v));
                }
        return count;
    };
    const double r = std::max({organ.semi[0], organ.semi[1], organ.semi[2]});
    const long in_organ = scan(organ, organ.centre - vertex3d{r, r, r}, organ.centre + vertex3d{r, r, r});
    const vertex3d a = vessel.start, b = vessel.end, w{vessel.radius, vessel.radius, vessel.radius};
    const long in_vessel = scan(vessel, vertex3d{std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)} - w,
                                vertex3d{std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)} + w);
    // The boxes held the whole shapes: grid counts times the cell volume give their volumes.
    const double cell = step * step * step;
    EXPECT_NEAR(in_organ * cell, volume(organ), 0.03 * volume(organ));
    EXPECT_NEAR(in_vessel * cell, volume(vessel), 0.03 * volume(vessel));
}

}  // namespace

// Demo phantom shapes: inside tests, volumes and plane sections must match
// closed forms, because rebuilt volumes are later scored against them.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "demo/phantom.h"

namespace {

constexpr double pi = std::numbers::pi;

double dot(const vertex3d& a, const vertex3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

vertex3d column(const matrix16d& m, int c)
{
    return {m[4 * c], m[4 * c + 1], m[4 * c + 2]};
}

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

    // Hit-or-miss volume over a box; returns the estimate and its standard error.
    template <typename Shape>
    std::pair<double, double> monte_carlo(const Shape& s, const vertex3d& lo, const vertex3d& hi, int n)
    {
        int hits = 0;
        for (int i = 0; i < n; ++i)
            hits += inside(s, vertex3d{uniform(lo.x, hi.x), uniform(lo.y, hi.y), uniform(lo.z, hi.z)});
        const double box = (hi.x - lo.x) * (hi.y - lo.y) * (hi.z - lo.z);
        const double p = static_cast<double>(hits) / n;
        return {box * p, box * std::sqrt(p * (1.0 - p) / n)};
    }
};

// Catches a volume taken from full axes instead of semi-axes, or an inside
// test that scales or rotates the axes wrongly.
TEST_F(ShapeSampling, EllipsoidVolumeMatchesClosedFormAndSampling)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    EXPECT_NEAR(volume(e), 4.0 / 3.0 * pi * 1.0 * 0.6 * 0.5, 1e-12);
    const vertex3d c = e.centre;
    const auto [estimate, error] = monte_carlo(e, {c.x - 1, c.y - 1, c.z - 1}, {c.x + 1, c.y + 1, c.z + 1}, 400000);
    EXPECT_NEAR(estimate, volume(e), 4.0 * error);  // four standard errors
}

// Catches round (capsule) ends or a radius used as a diameter: the vessel is
// a cylinder with flat ends.
TEST_F(ShapeSampling, TubeVolumeMatchesClosedFormAndSampling)
{
    tube_shape t;
    t.start = {0.5, -1.0, 2.0};
    t.end = {3.0, 1.0, 2.5};
    t.radius = 0.3;
    EXPECT_NEAR(volume(t), pi * 0.09 * std::sqrt(2.5 * 2.5 + 2.0 * 2.0 + 0.5 * 0.5), 1e-12);
    const auto [estimate, error] = monte_carlo(t, {0.2, -1.3, 1.7}, {3.3, 1.3, 2.8}, 400000);
    EXPECT_NEAR(estimate, volume(t), 4.0 * error);
}

// Catches orientation angles applied in another order or sense than a pose's.
TEST(EllipsoidShape, OrientationTurnsAxesLikeAPose)
{
    ellipsoid_shape e;
    e.centre = {5.0, 6.0, 7.0};
    e.semi[0] = 2.0;
    e.semi[1] = 0.5;
    e.semi[2] = 0.5;
    const auto at = [&](double x, double y, double z) { return vertex3d{5.0 + x, 6.0 + y, 7.0 + z}; };
    e.az = 90.0;  // Rz(90): the long x axis onto world y
    EXPECT_TRUE(inside(e, at(0, 1.9, 0)));
    EXPECT_FALSE(inside(e, at(1.9, 0, 0)));
    e.az = 0.0;
    e.el = 90.0;  // Ry(90): x onto -z
    EXPECT_TRUE(inside(e, at(0, 0, -1.9)));
    EXPECT_FALSE(inside(e, at(1.9, 0, 0)));
    e.el = 0.0;
    e.semi[0] = 0.5;
    e.semi[1] = 2.0;
    e.roll = 90.0;  // Rx(90): the long y axis onto z
    EXPECT_TRUE(inside(e, at(0, 0, 1.9)));
    EXPECT_FALSE(inside(e, at(0, 1.9, 0)));
}

// Catches a tube that extends past its end points or has the wrong radius.
TEST(TubeShape, EndsAreFlatAndRadiusIsExact)
{
    tube_shape t;
    t.start = {0.0, 0.0, 1.0};
    t.end = {0.0, 4.0, 1.0};
    t.radius = 0.3;
    EXPECT_TRUE(inside(t, {0.0, 3.99, 1.0}));
    EXPECT_FALSE(inside(t, {0.0, 4.01, 1.0}));
    EXPECT_FALSE(inside(t, {0.0, -0.01, 1.0}));
    EXPECT_TRUE(inside(t, {0.29, 3.99, 1.0}));  // the rim of a flat end
    EXPECT_TRUE(inside(t, {0.0, 2.0, 1.29}));
    EXPECT_FALSE(inside(t, {0.0, 2.0, 1.31}));
}

// A plane through the ellipsoid at distance d from its centre along unit
// normal n cuts an ellipse of area pi*a*b*c/h * (1 - d^2/h^2), centred at
// d * Q^-1 n / h^2, where h^2 = n' Q^-1 n is the ellipsoid's support distance.
class EllipsoidSections : public ShapeSampling {
protected:
    struct cut {
        matrix16d plane;
        double h = 0.0;
        vertex3d expected_centre;
    };
    // A random plane at signed distance t*h from the centre.
    cut random_plane(const ellipsoid_shape& e, double t)
    {
        cut out;
        out.plane.forward(0.0, 0.0, 0.0, uniform(-180, 180), uniform(-89, 89), uniform(-180, 180));
        const vertex3d n = column(out.plane, 2);
        const matrix16d f = e.frame();
        vertex3d q_inv_n;  // Q^-1 n, with Q^-1 = R diag(semi^2) R'
        for (int i = 0; i < 3; ++i) {
            const vertex3d axis = column(f, i);
            const double k = e.semi[i] * e.semi[i] * dot(axis, n);
            q_inv_n = {q_inv_n.x + k * axis.x, q_inv_n.y + k * axis.y, q_inv_n.z + k * axis.z};
        }
        out.h = std::sqrt(dot(n, q_inv_n));
        const double d = t * out.h;
        const double s = d / (out.h * out.h);
        out.expected_centre = {e.centre.x + s * q_inv_n.x, e.centre.y + s * q_inv_n.y, e.centre.z + s * q_inv_n.z};
        // Slide the plane's origin within the plane so plane coordinates are not centred.
        const vertex3d a = column(out.plane, 0), b = column(out.plane, 1);
        const double p = uniform(-2, 2), q = uniform(-2, 2);
        out.plane[12] = e.centre.x + d * n.x + p * a.x + q * b.x;
        out.plane[13] = e.centre.y + d * n.y + p * a.y + q * b.y;
        out.plane[14] = e.centre.z + d * n.z + p * a.z + q * b.z;
        return out;
    }
};

// Catches wrong semi-axes of the cut (area) for any plane orientation and offset.
TEST_F(EllipsoidSections, AreaMatchesSupportDistanceFormula)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    for (int i = 0; i < 500; ++i) {
        const double t = uniform(-0.95, 0.95);
        const cut c = random_plane(e, t);
        const ellipse2d s = section(e, c.plane);
        ASSERT_TRUE(s.exists);
        const double expected = pi * 0.3 / c.h * (1.0 - t * t);
        EXPECT_NEAR(s.area(), expected, 1e-9 * expected) << "case " << i;
    }
}

// Catches a cut placed at the wrong spot in the plane.
TEST_F(EllipsoidSections, CentreMatchesClosedForm)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    for (int i = 0; i < 500; ++i) {
        const cut c = random_plane(e, uniform(-0.95, 0.95));
        const ellipse2d s = section(e, c.plane);
        ASSERT_TRUE(s.exists);
        const vertex3d centre = c.plane * vertex3d{s.cx, s.cy, 0.0};
        EXPECT_NEAR(centre.x, c.expected_centre.x, 1e-9);
        EXPECT_NEAR(centre.y, c.expected_centre.y, 1e-9);
        EXPECT_NEAR(centre.z, c.expected_centre.z, 1e-9);
    }
}

// Catches a long axis pointing the wrong way in the plane: area and centre
// would still be right.
TEST_F(EllipsoidSections, ContainsAgreesWithInsideForPointsInThePlane)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    int in = 0, out = 0;
    for (int i = 0; i < 100; ++i) {
        const cut c = random_plane(e, uniform(-0.9, 0.9));
        const ellipse2d s = section(e, c.plane);
        ASSERT_TRUE(s.exists);
        for (int k = 0; k < 200; ++k) {
            const double x = s.cx + uniform(-1.2, 1.2) * s.a, y = s.cy + uniform(-1.2, 1.2) * s.a;
            const bool expected = inside(e, c.plane * vertex3d{x, y, 0.0});
            EXPECT_EQ(s.contains(x, y), expected);
            (expected ? in : out) += 1;
        }
    }
    EXPECT_GT(in, 5000);  // both sides of the boundary were sampled
    EXPECT_GT(out, 5000);
}

// Catches a cut reported for a plane that misses the ellipsoid.
TEST_F(EllipsoidSections, PlanesBeyondTheSupportDistanceCutNothing)
{
    const ellipsoid_shape e = tilted_ellipsoid();
    for (int i = 0; i < 200; ++i) {
        const cut c = random_plane(e, i % 2 ? uniform(1.01, 3.0) : uniform(-3.0, -1.01));
        const ellipse2d s = section(e, c.plane);
        EXPECT_FALSE(s.exists);
        EXPECT_EQ(s.area(), 0.0);
        EXPECT_FALSE(s.contains(s.cx, s.cy));
    }
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
    const vertex3d c = organ.centre;
    const long in_organ = scan(organ, {c.x - r, c.y - r, c.z - r}, {c.x + r, c.y + r, c.z + r});
    const vertex3d a = vessel.start, b = vessel.end;
    const double w = vessel.radius;
    const long in_vessel = scan(vessel, {std::min(a.x, b.x) - w, std::min(a.y, b.y) - w, std::min(a.z, b.z) - w},
                                {std::max(a.x, b.x) + w, std::max(a.y, b.y) + w, std::max(a.z, b.z) + w});
    // The boxes held the whole shapes: grid counts times the cell volume give their volumes.
    const double cell = step * step * step;
    EXPECT_NEAR(in_organ * cell, volume(organ), 0.03 * volume(organ));
    EXPECT_NEAR(in_vessel * cell, volume(vessel), 0.03 * volume(vessel));
}

}  // namespace

// Planar geometry of outlines against references written independently here:
// triangle fans in long double, winding numbers, brute-force distances.
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "segmentation/outline_model.h"

namespace {

using polygon = std::vector<vertex2d>;

// Star-shaped polygons around (cx, cy): convex when `wobble` is 0.
polygon star(std::mt19937& rng, double cx, double cy, double radius, double wobble, int n)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    polygon p;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * (i + 0.8 * u(rng)) / n;
        const double r = radius * (1.0 - wobble * u(rng));
        p.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return p;
}

contour closed_contour(polygon points)
{
    contour c;
    c.points = std::move(points);
    return c;
}

long double fan_area(const polygon& p)
{
    long double sum = 0;
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const long double ax = p[i].x - p[0].x, ay = p[i].y - p[0].y;
        const long double bx = p[i + 1].x - p[0].x, by = p[i + 1].y - p[0].y;
        sum += (ax * by - ay * bx) / 2;
    }
    return sum;
}

vertex2d fan_centroid(const polygon& p)
{
    long double sx = 0, sy = 0, total = 0;
    for (std::size_t i = 1; i + 1 < p.size(); ++i) {
        const long double ax = p[i].x - p[0].x, ay = p[i].y - p[0].y;
        const long double bx = p[i + 1].x - p[0].x, by = p[i + 1].y - p[0].y;
        const long double a = (ax * by - ay * bx) / 2;
        sx += a * (p[0].x + p[i].x + p[i + 1].x) / 3;
        sy += a * (p[0].y + p[i].y + p[i + 1].y) / 3;
        total += a;
    }
    return {double(sx / total), double(sy / total)};
}

// Winding number; 0 outside.
int winding(const polygon& p, const vertex2d& q)
{
    double angle = 0.0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const vertex2d& a = p[i];
        const vertex2d& b = p[(i + 1) % p.size()];
        angle += std::atan2((a.x - q.x) * (b.y - q.y) - (a.y - q.y) * (b.x - q.x),
                            (a.x - q.x) * (b.x - q.x) + (a.y - q.y) * (b.y - q.y));
    }
    return static_cast<int>(std::lround(angle / (2.0 * std::numbers::pi)));
}

double distance_to_polyline(const vertex2d& q, const polygon& p, bool closed)
{
    double best = 1e300;
    const std::size_t segments = closed ? p.size() : p.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const vertex2d& a = p[i];
        const vertex2d& b = p[(i + 1) % p.size()];
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / len2 : 0.0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(q.x - a.x - t * dx, q.y - a.y - t * dy));
    }
    return best;
}

TEST(ContourGeometry, AreaCentroidPerimeterAndContainmentMatchIndependentReferences)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const double wobble = trial % 2 ? 0.0 : 0.6;
        const double cx = trial * 13.7 - 900.0, cy = 3000.0 - trial * 7.1;
        polygon p = star(rng, cx, cy, 5.0 + trial, wobble, 3 + trial % 40);
        if (trial % 3 == 0)
            std::reverse(p.begin(), p.end());
        const contour c = closed_contour(p);
        const long double reference = fan_area(p);
        EXPECT_NEAR(c.area(), double(reference), 1e-9 * std::fabs(double(reference)));
        vertex2d centroid;
        EXPECT_NEAR(c.centroid_and_area(&centroid), double(reference), 1e-9 * std::fabs(double(reference)));
        const vertex2d expected = fan_centroid(p);
        EXPECT_NEAR(centroid.x, expected.x, 1e-9 * (std::fabs(expected.x) + 1.0));
        EXPECT_NEAR(centroid.y, expected.y, 1e-9 * (std::fabs(expected.y) + 1.0));

        long double perimeter = 0;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const vertex2d& a = p[i];
            const vertex2d& b = p[(i + 1) % p.size()];
            perimeter += std::sqrt((long double)(b.x - a.x) * (b.x - a.x) + 2.25L * (b.y - a.y) * (b.y - a.y));
        }
        EXPECT_NEAR(c.perimeter(1.5), double(perimeter), 1e-9 * double(perimeter));

        std::uniform_real_distribution<double> u(-1.2, 1.2);
        const double r = 5.0 + trial;
        for (int k = 0; k < 50; ++k) {
            const vertex2d q{cx + u(rng) * r, cy + u(rng) * r};
            if (distance_to_polyline(q, p, true) < 1e-6)
                continue;
            EXPECT_EQ(c.point_inside(q), winding(p, q) != 0) << trial;
        }
    }
}

TEST(ContourGeometry, DegenerateContoursMeasureNothing)
{
    contour c;
    EXPECT_EQ(c.area(), 0.0);
    EXPECT_EQ(c.perimeter(1.0), 0.0);
    c.points = {{1, 1}};
    EXPECT_EQ(c.perimeter(1.0), 0.0);
    EXPECT_FALSE(c.point_inside({1, 1}));
    c.points = {{0, 0}, {3, 4}};
    EXPECT_EQ(c.area(), 0.0);
    EXPECT_FALSE(c.point_inside({1, 1}));
    EXPECT_DOUBLE_EQ(c.perimeter(1.0), 10.0);  // closed: there and back
    c.closed = false;
    EXPECT_DOUBLE_EQ(c.perimeter(1.0), 5.0);
    // Repeated points: no area, no centroid written, no NaN.
    c.points = {{2, 2}, {2, 2}, {2, 2}, {2, 2}};
    vertex2d centroid{-7, -7};
    EXPECT_EQ(c.centroid_and_area(&centroid), 0.0);
    EXPECT_EQ(centroid, (vertex2d{-7, -7}));
    // The open area leaves out the closing pair.
    contour open = closed_contour({{0, 0}, {10, 0}, {10, 10}});
    EXPECT_DOUBLE_EQ(open.area(), 50.0);
    open.closed = false;
    EXPECT_DOUBLE_EQ(open.area(), 50.0);  // the closing pair (10,10)-(0,0) adds nothing here
    open.points = {{1, 0}, {10, 0}, {10, 10}};
    EXPECT_DOUBLE_EQ(open.area(), 45.0);
    open.closed = true;
    EXPECT_DOUBLE_EQ(open.area(), 45.0);
    contour_set empty;
    EXPECT_EQ(empty.perimeter(1.0), -1.0);
    EXPECT_EQ(empty.region(1, false), nullptr);
}

TEST(ContourGeometry, SegmentIntersectionAndParallel)
{
    vertex2d out;
    EXPECT_TRUE(segment_intersection({0, 0}, {2, 2}, {0, 2}, {2, 0}, &out));
    EXPECT_EQ(out, (vertex2d{1, 1}));
    EXPECT_FALSE(segment_intersection({0, 0}, {1, 1}, {1, 1}, {2, 0}, &out));  // shared end is not strictly inside
    EXPECT_FALSE(segment_intersection({0, 0}, {1, 0}, {0, 1}, {1, 1}, &out));
    // Parallel segments meet only with both facing ends close.
    EXPECT_TRUE(segment_intersection({0, 0}, {1, 0}, {0.01, 0}, {1.01, 0}, &out));
    EXPECT_EQ(out, (vertex2d{0, 0}));
    EXPECT_TRUE(segment_intersection({0, 0}, {1, 0}, {1.01, 0}, {0.01, 0}, &out));
    EXPECT_EQ(out, (vertex2d{1, 0}));
    EXPECT_FALSE(segment_intersection({0, 0}, {1, 0}, {0.1, 0}, {1.1, 0}, &out));
    EXPECT_TRUE(segment_parallel({0, 0}, {1, 0}, {3, 0}, &out));
    EXPECT_EQ(out, (vertex2d{1, 0}));
    EXPECT_TRUE(segment_parallel({0, 0}, {-3, 0}, {2, 0}, &out));
    EXPECT_EQ(out, (vertex2d{2, 0}));
    EXPECT_FALSE(segment_parallel({0, 0}, {1, 0}, {1, 1}, &out));
}

TEST(ContourGeometry, PickingAndFinishingStrokes)
{
    contour c = closed_contour({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    std::size_t i = 99, j = 99;
    EXPECT_EQ(c.close_to_segment({0.5, 0.5}, 0, 1, 1.0), 1);
    EXPECT_EQ(c.close_to_segment({9.5, 0.5}, 0, 1, 1.0), 2);
    EXPECT_EQ(c.close_to_segment({5, 0.8}, 0, 1, 1.0), 3);
    EXPECT_EQ(c.close_to_segment({5, 1.2}, 0, 1, 1.0), 0);
    EXPECT_TRUE(c.close({5, 9.5}, &i, &j, 1.0));
    EXPECT_EQ(i, 2u);
    EXPECT_EQ(j, 3u);
    EXPECT_TRUE(c.close({0.2, 5}, &i, &j, 1.0));  // the closing segment counts when closed
    EXPECT_EQ(i, 3u);
    EXPECT_EQ(j, 0u);
    c.closed = false;
    EXPECT_FALSE(c.close({0.2, 5}, &i, &j, 1.0));
    // The second form skips the segments of the point itself.
    c.closed = true;
    EXPECT_FALSE(c.close(std::size_t{1}, &i, &j, 1.0));
    EXPECT_FALSE(c.close(std::size_t{17}, &i, &j, 1.0));

    // A stroke coming back to its start closes, dropping what came before.
    contour stroke;
    stroke.closed = false;
    for (int k = 0; k <= 40; ++k)
        stroke.points.push_back({k * 0.5 - 2.0, 0.0});  // a lead-in from x = -2
    for (int k = 1; k <= 20; ++k)
        stroke.points.push_back({18.0, k * 0.5});
    for (int k = 1; k <= 36; ++k)
        stroke.points.push_back({18.0 - k * 0.5, 10.0});
    for (int k = 1; k <= 19; ++k)
        stroke.points.push_back({0.0, 10.0 - k * 0.5});
    const vertex2d end = stroke.points.back();
    EXPECT_TRUE(stroke.finish(end, 1.0));
    EXPECT_TRUE(stroke.closed);
    EXPECT_GE(stroke.points.front().x, -0.5);  // the lead-in is gone
    EXPECT_NEAR(std::fabs(stroke.area()), 180.0, 12.0);

    // Coming back near the second half of the stroke leaves it as it was.
    contour hook;
    hook.closed = false;
    for (int k = 0; k <= 80; ++k)
        hook.points.push_back({k * 0.5, 0.0});
    for (int k = 1; k <= 10; ++k)
        hook.points.push_back({40.0, k * 0.5});
    for (int k = 1; k <= 10; ++k)
        hook.points.push_back({40.0 - k * 0.5, 5.0});
    for (int k = 1; k <= 8; ++k)
        hook.points.push_back({35.0, 5.0 - k * 0.5});
    hook.points.push_back({35.0, 0.6});
    const auto before = hook.points;
    EXPECT_FALSE(hook.finish(hook.points.back(), 1.0));
    EXPECT_EQ(hook.points, before);
    EXPECT_FALSE(hook.closed);

    // A click that never moved away stays open.
    contour dab;
    dab.closed = false;
    dab.points = {{5, 5}, {5.2, 5.1}, {5.1, 5.3}, {5.0, 5.1}};
    EXPECT_FALSE(dab.finish(dab.points.back(), 1.0));
    EXPECT_FALSE(dab.closed);
}

TEST(ContourGeometry, SimplifyKeepsRemovedPointsWithinTolerance)
{
    // A square drawn with many collinear points keeps its 4 corners.
    contour square;
    for (int k = 0; k < 40; ++k)
        square.points.push_back({k * 0.25, 0.0});
    for (int k = 0; k < 40; ++k)
        square.points.push_back({10.0, k * 0.25});
    for (int k = 0; k < 40; ++k)
        square.points.push_back({10.0 - k * 0.25, 10.0});
    for (int k = 0; k < 40; ++k)
        square.points.push_back({0.0, 10.0 - k * 0.25});
    contour unchanged = square;
    unchanged.simplify(0.0);
    EXPECT_EQ(unchanged.points, square.points);
    square.simplify(0.3);
    ASSERT_EQ(square.points.size(), 4u);
    EXPECT_DOUBLE_EQ(std::fabs(square.area()), 100.0);

    std::mt19937 rng(3);
    for (int trial = 0; trial < 100; ++trial) {
        for (bool closed : {true, false}) {
            polygon p = star(rng, 50, 50, 40, 0.5, 5 + trial * 3);
            // Repeated points and a zero-length chord must not stop it.
            p.insert(p.begin() + 2, p[2]);
            if (!closed)
                p.push_back(p.front());
            contour c = closed_contour(p);
            c.closed = closed;
            const double t = 0.2 + 0.05 * (trial % 20);
            c.simplify(t);
            ASSERT_GE(c.points.size(), 2u);
            EXPECT_EQ(c.points.front(), p.front());
            for (const vertex2d& q : p)
                EXPECT_LE(distance_to_polyline(q, c.points, closed), t + 1e-9) << trial;
        }
    }
}

TEST(ContourGeometry, MakeSimpleLeavesNoCrossing)
{
    auto crosses = [](const contour& c) {
        const std::size_t n = c.points.size();
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = a + 2; b < n; ++b) {
                if (a == 0 && b == n - 1)
                    continue;
                vertex2d at;
                if (segment_intersection(c.points[a], c.points[a + 1], c.points[b], c.points[(b + 1) % n], &at))
                    return true;
            }
        return false;
    };
    contour bowtie = closed_contour({{0, 0}, {10, 10}, {10, 0}, {0, 10}});
    EXPECT_TRUE(crosses(bowtie));
    EXPECT_EQ(bowtie.make_simple(), 1);
    EXPECT_FALSE(crosses(bowtie));
    EXPECT_GT(std::fabs(bowtie.area()), 0.0);

    contour simple = closed_contour({{0, 0}, {10, 0}, {10, 10}, {0, 10}});
    EXPECT_EQ(simple.make_simple(), 0);
    EXPECT_EQ(simple.points.size(), 4u);

    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(0.0, 100.0);
    for (int trial = 0; trial < 60; ++trial) {
        contour c;
        for (int k = 0; k < 4 + trial % 25; ++k)
            c.points.push_back({u(rng), u(rng)});
        EXPECT_EQ(c.crosses_itself(), crosses(c)) << trial;
        const int result = c.make_simple();
        EXPECT_EQ((result & 2) != 0, crosses(c)) << trial;
        EXPECT_FALSE(crosses(c)) << trial;
        EXPECT_FALSE(c.crosses_itself()) << trial;
    }
    // The quick test agrees with every pair tested, also on a coarse grid,
    // where segments touch, overlap and run along each other.
    std::uniform_int_distribution<int> cell(0, 6);
    for (int trial = 0; trial < 400; ++trial) {
        contour c;
        for (int k = 0; k < 4 + trial % 12; ++k)
            c.points.push_back({double(cell(rng)), double(cell(rng))});
        EXPECT_EQ(c.crosses_itself(), crosses(c)) << trial;
    }
}

TEST(ContourGeometry, ConcavityMarksThePocketOfAU)
{
    // A U: the pocket between the arms is concave, the outer corners are not.
    contour u = closed_contour({{0, 0}, {30, 0}, {30, 30}, {20, 30}, {20, 10}, {10, 10}, {10, 30}, {0, 30}});
    u.update_concave();
    ASSERT_EQ(u.concavity.size(), 8u);
    EXPECT_GT(u.concavity[4], 0.1);
    EXPECT_GT(u.concavity[5], 0.1);
    EXPECT_EQ(u.concavity[0], 0.0);
    EXPECT_EQ(u.concavity[1], 0.0);
    contour convex = closed_contour({{0, 0}, {30, 0}, {30, 30}, {0, 30}});
    convex.update_concave();
    for (double v : convex.concavity)
        EXPECT_EQ(v, 0.0);
    // Coincident points give zero-length chords: still finite and ends.
    contour repeated = closed_contour({{0, 0}, {0, 0}, {30, 0}, {30, 30}, {15, 5}, {15, 5}, {0, 30}});
    repeated.update_concave();
    for (double v : repeated.concavity)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_GT(repeated.concavity[5], 0.0);
}

}  // namespace

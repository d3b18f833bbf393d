// Measuring contour sets (holes by nesting) and their signed label images.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "segmentation/outline_model.h"
#include "segmentation/planar_geometry.h"

namespace {

contour circle(double cx, double cy, double r, int n, bool reversed = false)
{
    contour c;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * (reversed ? n - i : i) / n;
        c.points.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return c;
}

bool inside_set(const contour_set& s, const vertex2d& p)
{
    bool inside = false;
    for (const contour& c : s.contours)
        if (c.point_inside(p))
            inside = !inside;
    return inside;
}

TEST(Region, HolesCountByNestingWhateverTheOrientation)
{
    for (bool reversed : {false, true}) {
        contour_set s;
        s.frame = 3;
        s.contours.push_back(circle(50, 50, 30, 400));
        s.contours.push_back(circle(50, 50, 10, 400, reversed));  // a hole
        s.contours.push_back(circle(50, 50, 5, 400, !reversed));  // an island in the hole
        s.contours.push_back(circle(150, 50, 20, 400, reversed));  // a second part
        EXPECT_EQ(s.region(1, true), nullptr);
        const double expected = std::fabs(s.contours[0].area()) - std::fabs(s.contours[1].area()) +
                                std::fabs(s.contours[2].area()) + std::fabs(s.contours[3].area());
        EXPECT_NEAR(s.area, expected, 1e-9 * expected);
        const double weighted_x = (std::fabs(s.contours[0].area()) - std::fabs(s.contours[1].area()) +
                                   std::fabs(s.contours[2].area())) * 50.0 +
                                  std::fabs(s.contours[3].area()) * 150.0;
        EXPECT_NEAR(s.centroid_x, weighted_x / expected, 1e-9);
        EXPECT_NEAR(s.centroid_y, 50.0, 1e-9);
    }
}

TEST(Region, NothingToMeasureLeavesNoCentroid)
{
    contour_set s;
    contour line;
    line.points = {{0, 0}, {5, 5}, {10, 10}};
    s.contours.push_back(line);
    EXPECT_EQ(s.region(1, false), nullptr);
    EXPECT_EQ(s.area, 0.0);
    EXPECT_FALSE(s.measured());
    // Repeated copies and outlines without area go before surfaces are built.
    contour_set twice;
    twice.contours = {circle(10, 10, 5, 20), circle(10, 10, 5, 20), line};
    twice.area = 3.0;
    EXPECT_EQ(twice.make_simple(0.0, false), 2);
    ASSERT_EQ(twice.contours.size(), 1u);
    EXPECT_EQ(twice.area, -1.0);
    twice.region(1, true);
    EXPECT_NEAR(twice.area, std::fabs(circle(10, 10, 5, 20).area()), 1e-9);
}

TEST(Region, LabelSignsAgreeWithContainmentAtEveryPixel)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        contour_set s;
        const int parts = 1 + trial % 3;
        for (int k = 0; k < parts; ++k) {
            contour c;
            const double cx = 30 + 40 * u(rng), cy = 30 + 40 * u(rng), r = 5 + 25 * u(rng);
            const int n = 3 + trial % 17;
            for (int i = 0; i < n; ++i) {
                const double a = 2 * std::numbers::pi * i / n, rr = r * (0.4 + 0.6 * u(rng));
                // Some vertices exactly on pixel centres, some rows exactly horizontal.
                vertex2d p{cx + rr * std::cos(a), cy + rr * std::sin(a)};
                if (i % 3 == 0)
                    p = {std::round(p.x), std::round(p.y)};
                c.points.push_back(p);
            }
            s.contours.push_back(c);
        }
        const auto labels = s.region(2, false);
        ASSERT_NE(labels, nullptr);
        EXPECT_EQ(s.region_x, labels->x0);
        EXPECT_EQ(s.region_width, labels->width);
        for (std::int32_t y = labels->y0; y < labels->y0 + labels->height; ++y)
            for (std::int32_t x = labels->x0; x < labels->x0 + labels->width; ++x) {
                const std::int16_t v = labels->at(x, y);
                ASSERT_NE(v, 0);
                EXPECT_EQ(v > 0, inside_set(s, {double(x), double(y)})) << trial << " " << x << "," << y;
            }
    }
}

TEST(Region, BorderPixelsHoldTheirDistanceOnEverySide)
{
    // A long, nearly horizontal edge: pixels above and below it are 4-neighbours
    // across the outline even where no crossing of a pixel row lies near them.
    contour_set s;
    contour sliver;
    sliver.points = {{0.0, 10.3}, {200.0, 11.1}, {200.0, 30.0}, {0.0, 30.0}};
    s.contours.push_back(sliver);
    const auto labels = s.region(1, false);
    ASSERT_NE(labels, nullptr);
    for (std::int32_t x = 1; x < 199; ++x) {
        const double edge_y = 10.3 + 0.8 * x / 200.0;
        const std::int32_t above = static_cast<std::int32_t>(std::floor(edge_y));
        if (edge_y - above < 1e-9)
            continue;  // the edge runs through the pixel centre: either side is right
        // 12 times the distance to the edge (almost vertical here), never 0.
        auto expected = [](double d) { return std::max(1.0, std::round(12.0 * d)); };
        const std::int16_t out = labels->at(x, above), in = labels->at(x, above + 1);
        ASSERT_LT(out, 0) << x;
        ASSERT_GT(in, 0) << x;
        EXPECT_NEAR(-out, expected(edge_y - above), 1.0) << x;
        EXPECT_NEAR(in, expected(above + 1 - edge_y), 1.0) << x;
        EXPECT_EQ(labels->at(x, above - 1), -region_labels::far);
        EXPECT_EQ(labels->at(x, above + 4), region_labels::far);
    }
}

TEST(Region, FarAwayOrHugeOutlinesAreBoundedNotAllocated)
{
    contour_set far_off;
    contour c;
    c.points = {{1e300, 1e300}, {-1e300, 1e300}, {0, -1e300}};
    far_off.contours.push_back(c);
    EXPECT_EQ(far_off.region(1, false), nullptr);  // refused, not allocated
    EXPECT_TRUE(std::isfinite(far_off.area));

    contour_set offset;
    offset.contours.push_back(circle(1e7, -1e7, 4, 30));
    offset.region(1, true);
    EXPECT_NEAR(offset.area, std::fabs(offset.contours[0].area()), 1e-6);
    EXPECT_NEAR(offset.centroid_x, 1e7, 1e-6);
    // Entirely outside any frame: measured, but its box is clamped to the frame's margin.
    const auto labels = offset.region(1, false);
    if (labels) {
        EXPECT_LE(labels->width, 3);
        EXPECT_LE(labels->height, 3);
    }
}

// Every pixel beside the outline holds 12 times its distance to the nearest
// edge of any contour, as a search through every edge finds it: outlines of
// many short edges, a hole, a long flat edge and a spike, so that a row's
// nearest edge may lie far along the row from where its edges start.
TEST(Region, BorderDistancesMatchASearchOfEveryEdge)
{
    contour_set s;
    s.contours.push_back(circle(60.0, 50.0, 40.0, 700));
    s.contours.push_back(circle(55.0, 45.0, 9.5, 40, true));
    contour flat;
    flat.points = {{110.0, 20.3}, {190.0, 20.9}, {190.0, 23.0}, {150.0, 22.6},
                   {149.5, 60.0}, {148.8, 22.4}, {110.0, 22.2}};
    s.contours.push_back(flat);
    const auto labels = s.region(3, false);
    ASSERT_NE(labels, nullptr);
    const auto inside = [&](std::int32_t x, std::int32_t y) { return labels->at(x, y) > 0; };
    int border = 0;
    for (std::int32_t y = labels->y0; y < labels->y0 + labels->height; ++y)
        for (std::int32_t x = labels->x0; x < labels->x0 + labels->width; ++x) {
            const bool in = inside(x, y);
            bool beside = false;
            for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
                const std::int32_t nx = x + dx, ny = y + dy;
                if (nx >= labels->x0 && ny >= labels->y0 && nx < labels->x0 + labels->width &&
                    ny < labels->y0 + labels->height && inside(nx, ny) != in)
                    beside = true;
            }
            const std::int16_t label = labels->at(x, y);
            if (!beside) {
                EXPECT_EQ(std::abs(label), region_labels::far) << x << "," << y;
                continue;
            }
            ++border;
            double nearest = HUGE_VAL;
            for (const contour& c : s.contours)
                for (std::size_t i = 0; i < c.points.size(); ++i)
                    nearest = std::min(nearest, distance_to_segment({double(x), double(y)}, c.points[i],
                                                                    c.points[(i + 1) % c.points.size()]));
            EXPECT_LE(nearest, 1.0) << x << "," << y;
            const long expected = std::max(1L, std::lround(12.0 * nearest));
            ASSERT_EQ(std::abs(label), expected) << x << "," << y;
        }
    EXPECT_GT(border, 800);
}

}  // namespace

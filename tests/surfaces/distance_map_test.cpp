// Distance maps continued from the labels of scan-converted outlines.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "surfaces/distance_map.h"

namespace {

contour_set square_set(double x0, double y0, double side)
{
    contour_set set;
    set.frame = 0;
    contour c;
    c.points = {{x0, y0}, {x0 + side, y0}, {x0 + side, y0 + side}, {x0, y0 + side}};
    set.contours.push_back(c);
    return set;
}

distance_map_t map_of(contour_set set, int margin)
{
    auto labels = set.region(margin, false);
    EXPECT_TRUE(labels);
    return labels ? chamfer_code(std::move(*labels)) : distance_map_t{};
}

// The measured distances beside the outline are kept, no pixel changes side,
// and every value becomes a distance (none left at the far label).
TEST(DistanceMap, KeepsMeasuredValuesAndSides)
{
    contour_set set = square_set(10.3, 20.6, 40.0);
    const auto labels = set.region(12, false);
    ASSERT_TRUE(labels);
    const region_labels copy = *labels;
    const distance_map_t map = chamfer_code(region_labels(copy));
    ASSERT_EQ(map.values.size(), copy.labels.size());
    for (std::size_t i = 0; i < copy.labels.size(); ++i) {
        const int before = copy.labels[i], after = map.values[i];
        EXPECT_EQ(before > 0, after > 0) << i;
        if (std::abs(before) < region_labels::far) {
            EXPECT_EQ(after, before) << i;
        }
        EXPECT_LT(std::abs(after), region_labels::far) << i;
    }
}

// Inside a square the distance to the nearest side, outside to the square,
// within the error of 12/17 chamfer steps (a few percent).
TEST(DistanceMap, ApproximatesEuclideanDistance)
{
    const distance_map_t map = map_of(square_set(10.0, 10.0, 40.0), 20);
    ASSERT_FALSE(map.empty());
    EXPECT_NEAR(distance_field(map, 30.0, 30.0), 12.0 * 20.0, 12.0 * 20.0 * 0.05);
    EXPECT_NEAR(distance_field(map, 20.0, 30.0), 12.0 * 10.0, 12.0 * 10.0 * 0.05);
    // Near the far sides too: only the backward pass brings those distances down.
    EXPECT_NEAR(distance_field(map, 45.0, 30.0), 12.0 * 5.0, 12.0 * 5.0 * 0.05);
    EXPECT_NEAR(distance_field(map, 30.0, 47.0), 12.0 * 3.0, 12.0 * 3.0 * 0.05);
    EXPECT_NEAR(distance_field(map, 30.0, 58.0), -12.0 * 8.0, 12.0 * 8.0 * 0.05);
    EXPECT_NEAR(distance_field(map, 30.0, 0.0), -12.0 * 10.0, 12.0 * 10.0 * 0.05);
    EXPECT_NEAR(distance_field(map, 0.0, 0.0), -12.0 * 10.0 * std::sqrt(2.0), 12.0 * 14.2 * 0.08);
    // Between pixels it interpolates: the zero level lies on the outline.
    EXPECT_GT(distance_field(map, 10.3, 30.0), 0.0);
    EXPECT_LT(distance_field(map, 9.7, 30.0), 0.0);
}

// Beyond the box the map keeps falling, never rising, and never beyond far;
// nonsense positions read as far outside.
TEST(DistanceMap, BeyondTheBoxAndBadPositions)
{
    const distance_map_t map = map_of(square_set(10.0, 10.0, 20.0), 3);
    const double edge = distance_field(map, map.x0, 20.0);
    EXPECT_LT(edge, 0.0);
    EXPECT_LT(distance_field(map, map.x0 - 5.0, 20.0), edge);
    EXPECT_DOUBLE_EQ(distance_field(map, -1e9, 20.0), -distance_map_t::far);
    EXPECT_DOUBLE_EQ(distance_field(map, std::nan(""), 20.0), -distance_map_t::far);
    EXPECT_DOUBLE_EQ(distance_field(distance_map_t{}, 0.0, 0.0), -distance_map_t::far);
    // A malformed label image gives no map rather than a read past its end.
    region_labels broken;
    broken.width = 10;
    broken.height = 10;
    broken.labels.assign(20, 1);
    EXPECT_TRUE(chamfer_code(std::move(broken)).empty());
}

// The read at the box point nearest (x, y), blended from its four pixels,
// and beyond the box less 12 per pixel of distance from it.
double nearest_edge_read(const distance_map_t& m, double x, double y)
{
    const double lx = x - m.x0, ly = y - m.y0;
    const double cx = std::clamp(lx, 0.0, double(m.width - 1)), cy = std::clamp(ly, 0.0, double(m.height - 1));
    const int c0 = std::min(int(cx), m.width - 1), r0 = std::min(int(cy), m.height - 1);
    const int c1 = std::min(c0 + 1, m.width - 1), r1 = std::min(r0 + 1, m.height - 1);
    const double fx = cx - c0, fy = cy - r0;
    double v = (1.0 - fy) * ((1.0 - fx) * m.at(c0, r0) + fx * m.at(c1, r0)) +
               fy * ((1.0 - fx) * m.at(c0, r1) + fx * m.at(c1, r1));
    const double d = std::sqrt((lx - cx) * (lx - cx) + (ly - cy) * (ly - cy));
    if (d > 0.0)
        v = std::min(v, 0.0) - 12.0 * d;
    return std::clamp(v, double(-distance_map_t::far), double(distance_map_t::far));
}

// Maps of one pixel, one row, one column and an outline's own, read all
// round and across their edges and corners, at whole and fractional pixels:
// every read is the nearest box point's, to the last bit.
TEST(DistanceMap, ReadsAcrossTheEdgesMatchTheNearestBoxPoint)
{
    std::mt19937 random(11);
    std::vector<distance_map_t> maps;
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 4}, {5, 1}, {2, 2}, {3, 7}}) {
        distance_map_t m;
        m.x0 = -3;
        m.y0 = 8;
        m.width = w;
        m.height = h;
        for (int i = 0; i < w * h; ++i)
            m.values.push_back(static_cast<std::int16_t>(int(random() % 400) - 200));
        maps.push_back(m);
    }
    maps.push_back(map_of(square_set(10.0, 10.0, 20.0), 3));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (const distance_map_t& m : maps) {
        int beyond = 0;
        for (int k = 0; k < 4000; ++k) {
            double x = m.x0 - 4.0 + (m.width + 7.0) * unit(random);
            double y = m.y0 - 4.0 + (m.height + 7.0) * unit(random);
            if (k % 3 == 0)
                x = std::round(x), y = std::round(y);  // exactly on pixels, edges and corners
            else if (k % 3 == 1)
                y = std::round(y);  // along a row or an edge
            const bool out = x < m.x0 || y < m.y0 || x > m.x0 + m.width - 1 || y > m.y0 + m.height - 1;
            beyond += out ? 1 : 0;
            ASSERT_EQ(distance_field(m, x, y), nearest_edge_read(m, x, y)) << x << "," << y;
            ASSERT_EQ(distance_field_at_edges(m, x, y), nearest_edge_read(m, x, y)) << x << "," << y;
        }
        EXPECT_GT(beyond, 100);
        EXPECT_LT(beyond, 4000);  // some reads within the box too
    }
}

// An outline with a hole and a notch, so that both signs have several runs
// along rows and columns.
contour_set notched_ring()
{
    contour_set set;
    set.frame = 0;
    contour outer, hole;
    outer.points = {{5.2, 4.7}, {47.9, 6.1}, {45.3, 40.2}, {27.0, 22.5}, {8.4, 38.8}};
    hole.points = {{15.5, 10.5}, {24.5, 10.5}, {24.5, 17.5}, {15.5, 17.5}};
    set.contours = {outer, hole};
    return set;
}

// After both passes no pixel that was not measured can be improved from any
// of its eight neighbours of the same sign: the passes reached the fixpoint
// whatever order the pixels were taken in.
TEST(DistanceMap, NoPixelCanBeImprovedFromANeighbour)
{
    contour_set set = notched_ring();
    const auto labels = set.region(6, false);
    ASSERT_TRUE(labels);
    const region_labels measured = *labels;
    const distance_map_t map = chamfer_code(region_labels(measured));
    ASSERT_FALSE(map.empty());
    int checked = 0;
    for (int r = 0; r < map.height; ++r)
        for (int c = 0; c < map.width; ++c) {
            if (std::abs(measured.labels[static_cast<std::size_t>(r) * map.width + c]) < region_labels::far)
                continue;
            const int v = map.at(c, r);
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    const int cc = c + dc, rr = r + dr;
                    if ((dr == 0 && dc == 0) || cc < 0 || rr < 0 || cc >= map.width || rr >= map.height)
                        continue;
                    const int n = map.at(cc, rr);
                    if ((n > 0) != (v > 0))
                        continue;
                    const int cost = dr != 0 && dc != 0 ? 17 : 12;
                    EXPECT_LE(std::abs(v), std::abs(n) + cost) << c << "," << r;
                    ++checked;
                }
        }
    EXPECT_GT(checked, 1000);
}

// Both passes, pixel by pixel in raster order: each pixel not measured takes
// the best of its four visited neighbours of its own sign plus the step.
std::vector<std::int16_t> plain_chamfer(std::vector<std::int16_t> v, int w, int h)
{
    const std::vector<std::int16_t> measured = v;
    for (int dir : {1, -1})
        for (int k = 0; k < h; ++k)
            for (int m = 0; m < w; ++m) {
                const int r = dir > 0 ? k : h - 1 - k, c = dir > 0 ? m : w - 1 - m;
                const int here = v[static_cast<std::size_t>(r * w + c)];
                if (std::abs(measured[static_cast<std::size_t>(r * w + c)]) < region_labels::far)
                    continue;
                int best = std::abs(here);
                const int around[4][3] = {{-dir, -1, 17}, {-dir, 0, 12}, {-dir, 1, 17}, {0, -dir, 12}};
                for (const auto& n : around) {
                    const int rr = r + n[0], cc = c + n[1];
                    if (rr < 0 || cc < 0 || rr >= h || cc >= w)
                        continue;
                    const int value = v[static_cast<std::size_t>(rr * w + cc)];
                    if (here > 0 ? value > 0 : value < 0)
                        best = std::min(best, std::abs(value) + n[2]);
                }
                v[static_cast<std::size_t>(r * w + c)] = static_cast<std::int16_t>(here > 0 ? best : -best);
            }
    return v;
}

// Random labels of every width from one pixel to several blocks of eight,
// with measured pixels, sign changes and far pixels in runs: the passes give
// exactly what the plain raster-order passes give.
TEST(DistanceMap, RowsOfEveryWidthMatchThePlainPasses)
{
    std::mt19937 random(7);
    for (int w = 1; w <= 41; ++w)
        for (int h : {1, 2, 7}) {
            region_labels labels;
            labels.width = w;
            labels.height = h;
            bool inside = random() % 2 == 0;
            for (int i = 0; i < w * h; ++i) {
                if (random() % 6 == 0)
                    inside = !inside;
                const int pick = int(random() % 4);
                const int size = pick == 0 ? 1 + int(random() % 40) : region_labels::far;
                labels.labels.push_back(static_cast<std::int16_t>(inside ? size : -size));
            }
            const std::vector<std::int16_t> expected = plain_chamfer(labels.labels, w, h);
            const distance_map_t map = chamfer_code(std::move(labels));
            ASSERT_EQ(map.values, expected) << w << "x" << h;
        }
}

// The quick read between four pixels and the full read agree everywhere in
// the box, up to its last row and column.
TEST(DistanceMap, QuickAndFullReadsAgree)
{
    contour_set set = notched_ring();
    const distance_map_t map = map_of(set, 5);
    ASSERT_FALSE(map.empty());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(map.x0, map.x0 + map.width - 1), y(map.y0, map.y0 + map.height - 1);
    for (int i = 0; i < 5000; ++i) {
        const double px = x(random), py = y(random);
        EXPECT_DOUBLE_EQ(distance_field(map, px, py), distance_field_at_edges(map, px, py)) << px << "," << py;
    }
    const double right = map.x0 + map.width - 1, bottom = map.y0 + map.height - 1;
    EXPECT_DOUBLE_EQ(distance_field(map, right, bottom), map.at(map.width - 1, map.height - 1));
    EXPECT_DOUBLE_EQ(distance_field(map, map.x0, map.y0), map.at(0, 0));
}

// Surface building skips displaced reads where a read cannot change sign: it
// relies on reads changing by no more than the steepest steps allow (plus 12
// per pixel beyond the box, and the edge's largest value where a read leaves
// it). Checked on random pairs in and well beyond the box, for a map whose
// outline runs off its box so that the edge is positive.
TEST(DistanceMap, ReadsChangeNoFasterThanTheSteepestSteps)
{
    contour_set clipped;
    clipped.frame = 0;
    contour c;
    c.points = {{-30.0, 3.0}, {20.0, 3.0}, {20.0, 25.0}, {-30.0, 25.0}};  // runs past the frame's left edge
    clipped.contours.push_back(c);
    for (const contour_set& set : {notched_ring(), clipped}) {
        const distance_map_t map = map_of(set, 4);
        ASSERT_FALSE(map.empty());
        const map_steps_t steps = steepest_steps(map);
        EXPECT_GE(steps.across, 12);
        EXPECT_GE(steps.down, 12);
        const double slope = std::hypot(double(steps.across), double(steps.down)) + 12.0;
        const double jump = std::max(steps.edge, 0);
        std::mt19937 random(11);
        std::uniform_real_distribution<double> x(map.x0 - 20.0, map.x0 + map.width + 20.0);
        std::uniform_real_distribution<double> y(map.y0 - 20.0, map.y0 + map.height + 20.0);
        std::uniform_real_distribution<double> step(-3.0, 3.0);
        for (int i = 0; i < 20000; ++i) {
            const double px = x(random), py = y(random), qx = px + step(random), qy = py + step(random);
            const double change = std::fabs(distance_field(map, px, py) - distance_field(map, qx, qy));
            EXPECT_LE(change, slope * std::hypot(qx - px, qy - py) + jump + 1e-9) << px << "," << py;
        }
    }
    EXPECT_GT(steepest_steps(map_of(clipped, 4)).edge, 0);
    EXPECT_EQ(steepest_steps(distance_map_t{}).across, 0);
}

}  // namespace

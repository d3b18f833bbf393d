// Peaks of distance maps and their pairing between planes.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "surfaces/distance_peaks.h"

namespace {

contour circle(double cx, double cy, double r)
{
    contour c;
    for (int k = 0; k < 180; ++k) {
        const double t = 2.0 * std::numbers::pi * k / 180;
        c.points.push_back({cx + r * std::cos(t), cy + r * std::sin(t)});
    }
    return c;
}

distance_map_t map_of(std::initializer_list<contour> contours)
{
    contour_set set;
    set.frame = 0;
    set.contours = contours;
    auto labels = set.region(12, false);
    EXPECT_TRUE(labels);
    return labels ? chamfer_code(std::move(*labels)) : distance_map_t{};
}

// A disc has its largest peak at its centre with the radius as value; two
// discs have one each; nothing inside a disc survives next to its centre.
TEST(DistancePeaks, CentresOfDiscs)
{
    const std::vector<peak_t> one = extract_peaks(map_of({circle(50, 60, 20)}));
    ASSERT_FALSE(one.empty());
    EXPECT_NEAR(one[0].x, 50.0, 1.0);
    EXPECT_NEAR(one[0].y, 60.0, 1.0);
    EXPECT_NEAR(one[0].value, 12 * 20, 12 * 20 * 0.05);
    for (std::size_t i = 1; i < one.size(); ++i)
        EXPECT_GT(std::hypot(one[i].x - 50.0, one[i].y - 60.0), 5.0);
    const std::vector<peak_t> two = extract_peaks(map_of({circle(40, 40, 15), circle(120, 40, 15)}));
    int near_first = 0, near_second = 0;
    for (const peak_t& p : two) {
        if (p.value < 12 * 12)
            continue;
        near_first += std::hypot(p.x - 40.0, p.y - 40.0) < 2.0 ? 1 : 0;
        near_second += std::hypot(p.x - 120.0, p.y - 40.0) < 2.0 ? 1 : 0;
    }
    EXPECT_EQ(near_first, 1);
    EXPECT_EQ(near_second, 1);
    EXPECT_TRUE(extract_peaks(distance_map_t{}).empty());
}

grid_peak_t peak(double u, double v, double value)
{
    grid_peak_t p;
    p.uv = {u, v};
    p.value = value;
    return p;
}

// Peaks pair with their mutual nearest of the same sign within reach of
// their discs; vectors point to the partner and back.
TEST(DistancePeaks, PairingBetweenPlanes)
{
    std::vector<grid_peak_t> a = {peak(0, 0, 240), peak(100, 0, 240), peak(300, 0, -120)};
    std::vector<grid_peak_t> b = {peak(10, 5, 200), peak(300, 5, 120), peak(1000, 0, 240)};
    peak_overlap(a, b);
    EXPECT_TRUE(a[0].matched);
    EXPECT_EQ(a[0].vector, (vertex2d{10, 5}));
    EXPECT_EQ(b[0].vector, (vertex2d{-10, -5}));
    EXPECT_FALSE(a[1].matched);  // b[0] is nearer to a[0]
    EXPECT_FALSE(a[2].matched);  // an outside peak does not pair with an inside one
    EXPECT_FALSE(b[2].matched);  // too far for a shape that moved
}

// Without a paired peak nothing moves; with one, positions on its disc move
// nearly by its whole vector and unpaired peaks nearby hold them back.
TEST(DistancePeaks, AverageVectors)
{
    std::vector<grid_peak_t> none = {peak(0, 0, 240)};
    EXPECT_FALSE(peak_vector_avg(none, {0, 0}, 240).weighted);
    EXPECT_FALSE(peak_vector_avg({}, {0, 0}, 0).weighted);
    std::vector<grid_peak_t> one = {peak(0, 0, 240)};
    one[0].matched = true;
    one[0].vector = {8, 0};
    const peak_average_t alone = peak_vector_avg(one, {5, 0}, 180);
    ASSERT_TRUE(alone.weighted);
    EXPECT_DOUBLE_EQ(alone.vector.x, 8.0);
    one.push_back(peak(10, 0, 240));
    const peak_average_t held = peak_vector_avg(one, {5, 0}, 180);
    EXPECT_GT(held.vector.x, 0.0);
    EXPECT_LT(held.vector.x, 8.0);
}

}  // namespace

// Distance maps continued from the labels of scan-converted outlines.
#include <cmath>

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

}  // namespace

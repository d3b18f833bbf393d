// Smoothing results over a surface: a sure value outweighs an unsure one,
// the weights add up into smaller errors, holes are filled from their
// neighbours only while filling reaches new points, and a point with no
// neighbour that has a value stays without one.
#include <gtest/gtest.h>

#include <cmath>

#include "thickness/profile_model.h"
#include "thickness/result_smoothing.h"

namespace {

// A strip of triangles over points 0 .. count-1, each joined to the next two, and one more point in no triangle.
surface_mesh_t strip(std::size_t count)
{
    surface_mesh_t m;
    m.points.resize(count + 1);
    for (std::uint32_t i = 0; i + 2 < count; ++i)
        m.triangles.push_back({{i, i + 1, i + 2}});
    return m;
}

TEST(ResultSmoothing, WeightedMeansFillingAndErrors)
{
    const surface_mesh_t m = strip(6);
    std::vector<double> v = {1.0, 2.0, thickness_unknown, thickness_unknown, thickness_unknown, thickness_unknown, 5.0};
    std::vector<double> e = {0.1, 1.0, thickness_unknown, thickness_unknown, thickness_unknown, thickness_unknown, 0.5};
    auto sv = v, se = e;
    smooth_results(m, &sv, &se, 1, 0);
    // Point 0 and its neighbours 1, 2: weights 100 and 1.
    EXPECT_NEAR(sv[0], (100.0 * 1.0 + 1.0 * 2.0) / 101.0, 1e-12);
    EXPECT_NEAR(se[0], 1.0 / std::sqrt(101.0), 1e-12);
    EXPECT_NEAR(sv[2], sv[0], 1e-12);  // point 2 sees both
    EXPECT_EQ(sv[3], 2.0);             // point 3 sees 1 (and 2, 4, 5, without values)
    EXPECT_EQ(sv[4], thickness_unknown);
    EXPECT_EQ(sv[6], 5.0);  // alone, unchanged
    EXPECT_NEAR(se[6], 0.5, 1e-12);

    // No smoothing, filling only: the gap closes step by step, less sure each time.
    sv = v;
    se = e;
    smooth_results(m, &sv, &se, 0, 100);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_NE(sv[i], thickness_unknown) << i;
    EXPECT_EQ(sv[0], 1.0);
    EXPECT_GT(se[5], se[2]);
    // One fill pass reaches only the neighbours of points with values.
    sv = v;
    se = e;
    smooth_results(m, &sv, &se, 0, 1);
    EXPECT_NE(sv[3], thickness_unknown);
    EXPECT_EQ(sv[4], thickness_unknown);

    // A value without an error weighs nothing; mismatched sizes change nothing.
    std::vector<double> nv = {3.0, 4.0}, ne = {thickness_unknown, 0.0};
    surface_mesh_t pair;
    pair.points.resize(2);
    smooth_results(pair, &nv, &ne, 2, 0);
    EXPECT_EQ(nv[0], thickness_unknown);
    std::vector<double> short_v = {1.0}, short_e = {1.0};
    smooth_results(m, &short_v, &short_e, 3, 3);
    EXPECT_EQ(short_v[0], 1.0);
}

}  // namespace

// Segments against meshes: the first hit along the segment, on known shapes.
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "common/vertex_math.h"
#include "surfaces/mesh_hit.h"
#include "test_meshes.h"

namespace {

TEST(MeshHit, FirstHitAlongTheSegmentOnASphere)
{
    const surface_mesh_t sphere = subdivided_sphere(4, 1.0, {0.0, 0.0, 0.0});
    std::mt19937 rng(5);
    std::normal_distribution<double> g;
    for (int i = 0; i < 200; ++i) {
        vertex3d dir{g(rng), g(rng), g(rng)};
        dir = (1.0 / length(dir)) * dir;
        // From outside through the middle: the near side, facing the start.
        const vertex3d p = 3.0 * dir, q = -3.0 * dir;
        mesh_hit_t hit;
        ASSERT_TRUE(segment_hit(sphere, p, q, &hit)) << i;
        EXPECT_NEAR(length(hit.point), 1.0, 0.005);
        EXPECT_GT(dot(hit.point, dir), 0.0);
        EXPECT_NEAR(hit.t, (3.0 - length(hit.point)) / 6.0, 1e-9);
        // The triangle's normal: square to the sphere there, whichever way it is wound.
        EXPECT_GT(std::fabs(dot(hit.normal, (1.0 / length(hit.point)) * hit.point)), 0.99);
        EXPECT_NEAR(length(hit.normal), 1.0, 1e-12);
        EXPECT_LT(hit.triangle, sphere.triangles.size());
        // From inside: the far side only.
        mesh_hit_t inner;
        ASSERT_TRUE(segment_hit(sphere, {0.0, 0.0, 0.0}, q, &inner));
        EXPECT_LT(dot(inner.point, dir), 0.0);
        // Stopping short of the surface, or pointing away: nothing.
        mesh_hit_t none;
        EXPECT_FALSE(segment_hit(sphere, p, 1.5 * dir, &none));
        EXPECT_FALSE(segment_hit(sphere, p, 5.0 * dir, &none));
    }
}

TEST(MeshHit, EdgesDegenerateTrianglesAndBadIndices)
{
    surface_mesh_t t = tetrahedron();
    mesh_hit_t hit;
    // Straight down: the slanted face first, not the base behind it.
    ASSERT_TRUE(segment_hit(t, {0.25, 0.25, 1.0}, {0.25, 0.25, -1.0}, &hit));
    EXPECT_NEAR(hit.point.z, 0.5, 1e-12);
    EXPECT_NEAR(hit.t, 0.25, 1e-12);
    EXPECT_EQ(hit.triangle, 3u);
    // Exactly onto the edge two faces share: found, on the edge.
    ASSERT_TRUE(segment_hit(t, {-1.0, 0.5, 0.5}, {1.0, 0.5, 0.5}, &hit));
    EXPECT_NEAR(hit.t, 0.5, 1e-12);
    EXPECT_NEAR(hit.point.x, 0.0, 1e-12);
    // A point-sized segment, a degenerate triangle, an index past the points.
    EXPECT_FALSE(segment_hit(t, {0.2, 0.2, 0.2}, {0.2, 0.2, 0.2}, &hit));
    surface_mesh_t odd;
    for (double x : {0.0, 1.0, 2.0})
        odd.points.push_back({{x, 0.0, 0.0}, {0.0, 0.0, 1.0}, SURF_POINT_ORDINARY});
    odd.triangles = {{{0, 1, 2}, 2}, {{0, 1, 7}, 2}};
    EXPECT_FALSE(segment_hit(odd, {0.5, 0.0, 1.0}, {0.5, 0.0, -1.0}, &hit));
    EXPECT_FALSE(segment_hit(surface_mesh_t{}, {0, 0, 1}, {0, 0, -1}, &hit));
}

}  // namespace

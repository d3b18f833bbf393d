// Node lines carried from plane to plane, at angles where a careless ray
// would run off to infinity.
#include <cmath>

#include <gtest/gtest.h>

#include "surfaces/mesh_measure.h"
#include "surfaces/surface_geometry.h"
#include "test_meshes.h"

namespace {

plane_t plane(double x, double y, double z, double az, double el, double roll)
{
    matrix16d m;
    m.forward(x, y, z, az, el, roll);
    return plane_of(m, 0.01, 0.02);
}

double off_plane(const plane_t& p, const vertex3d& q) { return dot(sub(q, p.origin), p.normal); }

// Whatever the angle between two planes, including right angles and planes
// facing opposite ways, the carried lines land on the next plane at finite
// points, and a grid position found back on that plane is where it started.
TEST(SurfaceGeometry, CarriedLinesLandOnTheNextPlane)
{
    const plane_t first = plane(0, 0, 0, 0, 0, 0);
    const plane_t others[] = {plane(0, 0, 0.1, 0, 0, 0), plane(0.3, 0, 0, 0, 90, 0), plane(0, 0, 0.2, 0, 0, 180),
                              plane(0, 0.1, 0.1, 0, 0, 89.999), plane(1, 2, 3, 30, 40, 50)};
    const fibre_map_t start = first_fibres(first);
    for (const plane_t& to : others) {
        fibre_map_t next;
        ASSERT_TRUE(carry_fibres(start, first, to, &next));
        for (double u : {-100.0, 0.0, 250.0})
            for (double v : {-50.0, 0.0, 75.0}) {
                const vertex3d q = next.at(u, v);
                ASSERT_TRUE(std::isfinite(q.x + q.y + q.z));
                EXPECT_NEAR(off_plane(to, q), 0.0, 1e-9);
                vertex2d uv;
                ASSERT_TRUE(grid_position(next, to, pixel_of(to, q), &uv));
                EXPECT_NEAR(uv.x, u, 1e-6);
                EXPECT_NEAR(uv.y, v, 1e-6);
            }
    }
}

// The same plane, facing either way, is coincident; a plane a hair away is not.
TEST(SurfaceGeometry, CoincidentPlanes)
{
    const plane_t a = plane(0, 0, 0, 10, 20, 30);
    EXPECT_TRUE(coincident(a, a));
    plane_t flipped = a;
    flipped.normal = mul(a.normal, -1.0);
    EXPECT_TRUE(coincident(a, flipped));
    plane_t moved = a;
    moved.origin = add(a.origin, mul(a.normal, 1e-4));
    EXPECT_FALSE(coincident(a, moved));
}

// Turning a mesh outwards and giving it normals in one pass does exactly what
// the two steps do one after the other, for a mesh facing either way; an
// empty mesh measures nothing.
TEST(SurfaceGeometry, OutwardWithNormalsInOnePass)
{
    for (const bool inward : {false, true}) {
        surface_mesh_t mesh = subdivided_sphere(2, 1.5, {3.0, -2.0, 7.0});
        if (inward)
            flip_triangles(mesh);
        surface_mesh_t expected = mesh;
        orient_outwards(expected);
        recalc_normals(expected);
        const enclosed_t measure = enclosed(expected);
        const enclosed_t got = outward_with_normals(mesh);
        EXPECT_EQ(mesh.triangles, expected.triangles) << inward;
        ASSERT_EQ(mesh.points.size(), expected.points.size());
        for (std::size_t i = 0; i < mesh.points.size(); ++i) {
            EXPECT_EQ(mesh.points[i].normal.x, expected.points[i].normal.x) << i;
            EXPECT_EQ(mesh.points[i].normal.y, expected.points[i].normal.y) << i;
            EXPECT_EQ(mesh.points[i].normal.z, expected.points[i].normal.z) << i;
        }
        EXPECT_GT(got.volume, 0.0);
        EXPECT_EQ(got.volume, measure.volume) << inward;
        EXPECT_NEAR(got.centre.x, 3.0, 1e-9);
        EXPECT_NEAR(got.centre.z, 7.0, 1e-9);
    }
    surface_mesh_t empty;
    EXPECT_EQ(outward_with_normals(empty).volume, 0.0);
}

}  // namespace

// Thickness between two surfaces: the distance along each normal to the
// other surface, either way, the nearer crossing; normals that miss it, zero
// normals and crossings beyond the reach give no result. And the other way
// round: the inner and outer surfaces made from results, measured back.
#include <gtest/gtest.h>

#include "thickness/derived_surfaces.h"
#include "thickness/surface_distance.h"

namespace {

// A square at x = `at` (cm), two triangles, spanning y and z from 0 to 2.
surface_mesh_t square(double at)
{
    surface_mesh_t m;
    for (const auto& [y, z] : {std::pair{0.0, 0.0}, std::pair{2.0, 0.0}, std::pair{2.0, 2.0}, std::pair{0.0, 2.0}}) {
        surface_point_t p;
        p.position = {at, y, z};
        p.normal = {-1, 0, 0};
        m.points.push_back(p);
    }
    m.triangles.push_back({{0, 1, 2}});
    m.triangles.push_back({{0, 2, 3}});
    return m;
}

TEST(SurfaceDistance, AlongTheNormalsEitherWayWithinReach)
{
    const surface_mesh_t inner = square(2.25);
    surface_mesh_t outer;
    for (const auto& [pos, normal] :
         {std::pair{vertex3d{2.0, 1.0, 1.0}, vertex3d{-1, 0, 0}},     // outward: inner is behind
          std::pair{vertex3d{2.0, 0.5, 0.5}, vertex3d{3, 0, 0}},      // unnormalised, pointing at it
          std::pair{vertex3d{2.0, 1.0, 1.0}, vertex3d{0, 1, 0}},      // along it: misses
          std::pair{vertex3d{2.0, 1.0, 1.0}, vertex3d{0, 0, 0}},      // no normal
          std::pair{vertex3d{2.0, 5.0, 1.0}, vertex3d{-1, 0, 0}},     // beside it
          std::pair{vertex3d{1.0, 1.0, 1.0}, vertex3d{-1, 0, 0}}}) {  // beyond the reach
        surface_point_t p;
        p.position = pos;
        p.normal = normal;
        outer.points.push_back(p);
    }
    std::vector<double> d;
    ASSERT_TRUE(distances_to_surface(outer, inner, 1.0, 2, {}, &d));
    ASSERT_EQ(d.size(), 6u);
    EXPECT_NEAR(d[0], 2.5, 1e-9);
    EXPECT_NEAR(d[1], 2.5, 1e-9);
    for (std::size_t i = 2; i < 6; ++i)
        EXPECT_EQ(d[i], thickness_unknown) << i;
    std::vector<double> held = {7.0};
    EXPECT_FALSE(distances_to_surface(
        outer, inner, 1.0, 1, [](std::size_t, std::size_t) { return false; }, &held));
    EXPECT_EQ(held, std::vector<double>{7.0});
}

TEST(SurfaceDistance, DerivedSurfacesLieWhereTheResultsPutTheEdges)
{
    const surface_mesh_t face = square(2.0);
    thickness_results_t r;
    r.reset(face.points.size());
    for (std::size_t i = 0; i < 4; ++i) {
        r.values[thickness_results_t::surface][i] = -0.5;  // the outer edge 0.5 mm in
        r.values[thickness_results_t::thick][i] = 2.5;
    }
    r.values[thickness_results_t::thick][3] = thickness_unknown;  // no inner edge here
    const surface_mesh_t outer = derived_surface(face, r, derived_surface_t::outer);
    const surface_mesh_t inner = derived_surface(face, r, derived_surface_t::inner);
    ASSERT_EQ(outer.points.size(), 4u);
    EXPECT_NEAR(outer.points[0].position.x, 2.05, 1e-12);  // normals point to -x: inwards is +x
    EXPECT_NEAR(inner.points[0].position.x, 2.30, 1e-12);
    EXPECT_NEAR(inner.points[3].position.x, 2.0, 1e-12);  // left where it was
    EXPECT_EQ(inner.triangles, face.triangles);
    // Measured back from the outer surface: the thickness again.
    std::vector<double> d;
    ASSERT_TRUE(distances_to_surface(outer, inner, 1.0, 1, {}, &d));
    EXPECT_NEAR(d[0], 2.5, 1e-9);
    thickness_results_t other;
    other.reset(3);
    EXPECT_TRUE(derived_surface(face, other, derived_surface_t::outer).points.empty());
}

}  // namespace

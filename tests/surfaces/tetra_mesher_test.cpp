// The zero level of analytic fields on a stack of layers.
#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "surfaces/tetra_mesher.h"

namespace {

// A sphere of radius r (field r - |p - c|) on a unit grid of n^3 nodes.
surface_mesh_t sphere_mesh(int n, double r, double spacing_z)
{
    surface_mesh_t mesh;
    tetra_mesher_t mesher(static_cast<std::size_t>(n), static_cast<std::size_t>(n), mesh);
    const double c = (n - 1) / 2.0;
    auto layer = [&](int k) {
        field_layer_t l;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const vertex3d p{double(i), double(j), k * spacing_z};
                l.position.push_back(p);
                l.value.push_back(float(r - std::sqrt((p.x - c) * (p.x - c) + (p.y - c) * (p.y - c) +
                                                      (p.z - c) * (p.z - c))));
            }
        return l;
    };
    field_layer_t lower = layer(0);
    for (int k = 1; k < n; ++k) {
        field_layer_t upper = layer(k);
        EXPECT_TRUE(mesher.add_slab(lower, upper));
        lower = std::move(upper);
    }
    return mesh;
}

// Every point lies where the field crosses zero along a grid edge: on the
// sphere to within the chord error of one cell; every edge is shared by two
// triangles running opposite ways.
TEST(TetraMesher, SphereIsClosedAndOnTheLevel)
{
    const int n = 21;
    const double r = 7.3, c = (n - 1) / 2.0;
    const surface_mesh_t mesh = sphere_mesh(n, r, 1.0);
    ASSERT_FALSE(mesh.triangles.empty());
    for (const surface_point_t& p : mesh.points) {
        const double d = std::sqrt((p.position.x - c) * (p.position.x - c) + (p.position.y - c) * (p.position.y - c) +
                                   (p.position.z - c) * (p.position.z - c));
        EXPECT_NEAR(d, r, 0.15);
    }
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k)
            ++directed[{t.points[k], t.points[(k + 1) % 3]}];
    for (const auto& [edge, count] : directed) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(directed.count({edge.second, edge.first}), 1u);
    }
}

// Layers of the wrong size are refused rather than read past their end.
TEST(TetraMesher, RefusesMismatchedLayers)
{
    surface_mesh_t mesh;
    tetra_mesher_t mesher(4, 4, mesh);
    field_layer_t small;
    small.position.resize(4);
    small.value.resize(4, 1.0f);
    EXPECT_FALSE(mesher.add_slab(small, small));
    EXPECT_TRUE(mesh.points.empty());
}

}  // namespace

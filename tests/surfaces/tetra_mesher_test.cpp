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

// Layers given as a grid of lines (the nodes placed by the mesher only where
// the surface cuts) make exactly the mesh of the same layers given node by
// node, points in the same order; a layer of the wrong size is refused.
TEST(TetraMesher, LayersOnLinesMatchLayersGivenNodeByNode)
{
    const std::size_t nu = 17, nv = 13;
    const vertex3d origin{1.5, -2.0, 0.25}, across{0.31, 0.02, -0.05}, down{-0.04, 0.27, 0.11};
    const double u0 = -3.0, v0 = 2.0, step = 0.75;
    const auto layer = [&](int k, bool on_lines) {
        field_layer_t l;
        l.on_lines = true;
        l.origin = {origin.x, origin.y, origin.z + 0.4 * k};
        l.across = across, l.down = down, l.u0 = u0, l.v0 = v0, l.step = step;
        for (std::size_t j = 0; j < nv; ++j)
            for (std::size_t i = 0; i < nu; ++i) {
                const double di = double(i) - 8.0, dj = double(j) - 6.0, dk = double(k) - 3.0;
                l.value.push_back(float(4.5 - std::sqrt(di * di + 1.7 * dj * dj + 2.0 * dk * dk)));
                if (!on_lines)
                    l.position.push_back(l.node(0, i, j));  // where the lines put it
            }
        l.on_lines = on_lines;
        l.kind = k % 2 ? SURF_POINT_ORDINARY : SURF_POINT_ON_OUTLINE_PLANE;
        return l;
    };
    surface_mesh_t given, lined;
    for (const bool on_lines : {false, true}) {
        surface_mesh_t& mesh = on_lines ? lined : given;
        tetra_mesher_t mesher(nu, nv, mesh);
        for (int k = 0; k + 1 < 7; ++k)
            ASSERT_TRUE(mesher.add_slab(layer(k, on_lines), layer(k + 1, on_lines)));
    }
    ASSERT_FALSE(given.triangles.empty());
    EXPECT_EQ(lined.triangles, given.triangles);
    ASSERT_EQ(lined.points.size(), given.points.size());
    for (std::size_t i = 0; i < given.points.size(); ++i) {
        EXPECT_EQ(lined.points[i].position.x, given.points[i].position.x) << i;
        EXPECT_EQ(lined.points[i].position.y, given.points[i].position.y) << i;
        EXPECT_EQ(lined.points[i].position.z, given.points[i].position.z) << i;
        EXPECT_EQ(lined.points[i].kind, given.points[i].kind) << i;
    }
    // Node by node, the positions must be all there.
    surface_mesh_t mesh;
    tetra_mesher_t mesher(nu, nv, mesh);
    field_layer_t short_of_one = layer(0, false);
    short_of_one.position.pop_back();
    EXPECT_FALSE(mesher.add_slab(short_of_one, layer(1, false)));
}

}  // namespace

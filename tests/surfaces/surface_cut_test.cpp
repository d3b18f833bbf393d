// Cutting surfaces with planes: closed outlines of the right shape and
// orientation on known meshes, nothing for planes that only touch, open chains
// for torn meshes, and a built surface meeting its own outlines.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "ellipsoid_outlines.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_interp.h"
#include "test_meshes.h"

namespace {

using namespace surface_test;

constexpr double pi = std::numbers::pi;

plane_t level(double z, double pixel = 0.01, bool flipped = false)
{
    return plane_through({-2.0, flipped ? 2.0 : -2.0, z}, {pixel, 0.0, 0.0}, {0.0, flipped ? -pixel : pixel, 0.0});
}

double distance_to_segment(const vertex2d& p, const vertex2d& a, const vertex2d& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    const double t = l2 > 0.0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / l2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

double distance_to_outline(const vertex2d& p, const contour& c)
{
    double best = INFINITY;
    for (std::size_t i = 0; i < c.points.size(); ++i)
        best = std::min(best, distance_to_segment(p, c.points[i], c.points[(i + 1) % c.points.size()]));
    return best;
}

TEST(SurfaceCut, SphereGivesOneAnticlockwiseCircle)
{
    const surface_mesh_t sphere = subdivided_sphere(4, 1.0, {0.0, 0.0, 0.0});
    for (double z : {-0.9, -0.31, 0.0, 0.5, 0.97})
        for (bool flipped : {false, true}) {
            const plane_t plane = level(z, 0.01, flipped);
            const std::vector<contour> cut = cut_mesh(sphere, plane);
            ASSERT_EQ(cut.size(), 1u) << z;
            const contour& c = cut.front();
            EXPECT_TRUE(c.closed);
            const double r = std::sqrt(1.0 - z * z);
            // On the mesh, which is inscribed in the sphere: within a chord's sagitta of it.
            for (const vertex2d& p : c.points) {
                const vertex3d w = add(plane.origin, add(mul(plane.ex, p.x), mul(plane.ey, p.y)));
                EXPECT_LE(length(w), 1.0 + 1e-12);
                EXPECT_GE(length(w), 0.997);
                EXPECT_NEAR(w.z, z, 1e-12);
            }
            // Anticlockwise about the inside whichever way the plane faces.
            EXPECT_GT(c.area(), 0.0);
            if (r > 0.4) {
                EXPECT_NEAR(c.area() * 1e-4, pi * r * r, 0.02 * pi * r * r);
            }
        }
    // Beyond the sphere, nothing.
    EXPECT_TRUE(cut_mesh(sphere, level(1.5)).empty());
}

TEST(SurfaceCut, TouchingPlanesGiveNoOutline)
{
    const surface_mesh_t t = tetrahedron();
    EXPECT_TRUE(cut_mesh(t, level(0.0, 1.0)).empty());  // the base face lies in the plane
    EXPECT_TRUE(cut_mesh(t, level(1.0, 1.0)).empty());  // only the apex touches
    // Halfway up: the corner triangle of legs one half.
    const std::vector<contour> mid = cut_mesh(t, plane_through({0, 0, 0.5}, {1, 0, 0}, {0, 1, 0}));
    ASSERT_EQ(mid.size(), 1u);
    EXPECT_EQ(mid[0].points.size(), 3u);
    EXPECT_NEAR(mid[0].area(), 0.125, 1e-12);
    // A plane holding one edge, the others below it: the edge alone, no area.
    EXPECT_TRUE(cut_mesh(t, plane_through({1, 0, 0}, {-1, 1, 0}, {0, 0, 1})).empty());
}

TEST(SurfaceCut, DegeneratePlanesAndMeshes)
{
    const surface_mesh_t sphere = subdivided_sphere(2, 1.0, {0.0, 0.0, 0.0});
    EXPECT_TRUE(cut_mesh(sphere, plane_through({0, 0, 0}, {0, 0, 0}, {0, 1, 0})).empty());
    EXPECT_TRUE(cut_mesh(surface_mesh_t{}, level(0.0)).empty());
    // Triangles naming points that do not exist are passed over.
    surface_mesh_t bad = sphere;
    bad.triangles.push_back({{0, 1, 999999}, 2});
    EXPECT_EQ(cut_mesh(bad, level(0.1)).size(), 1u);
    // A torn mesh: the chain through the hole comes back open, in one piece.
    surface_mesh_t torn = sphere;
    const plane_t plane = level(0.1);
    for (std::size_t i = 0; i < torn.triangles.size(); ++i) {
        const auto& v = torn.triangles[i].points;
        const double h0 = torn.points[v[0]].position.z - 0.1, h1 = torn.points[v[1]].position.z - 0.1,
                     h2 = torn.points[v[2]].position.z - 0.1;
        if (std::min({h0, h1, h2}) < 0.0 && std::max({h0, h1, h2}) >= 0.0) {
            torn.triangles.erase(torn.triangles.begin() + static_cast<long>(i));
            break;
        }
    }
    const std::vector<contour> open = cut_mesh(torn, plane);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_FALSE(open[0].closed);
    EXPECT_GT(open[0].points.size(), 10u);
}

// The built surface passes through the drawn outlines: its cut by each
// outline plane lies within one grid step of the outline, and a plane across
// the outline planes cuts the ellipsoid's own section.
TEST(SurfaceCut, BuiltSurfaceMeetsItsOutlines)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    for (const auto& planes : {parallel_planes(e, 25), fan_planes(e, 25)}) {
        outlined_t o = outline_ellipsoid(e, planes);
        surface_settings_t settings;
        settings.resolution = medium;
        const auto s = surface_interp::build(o.object, 0, o.placements, settings);
        ASSERT_TRUE(s);
        std::size_t checked = 0;
        for (const contour_set& set : o.object.sets) {
            const plane_t plane = plane_of(o.placements.frames[static_cast<std::size_t>(set.frame)].image_to_world,
                                           sx, sy);
            const std::vector<contour> cut = s->intersection_contour(plane, 0.1);
            ASSERT_FALSE(cut.empty()) << set.frame;
            for (const contour& c : cut) {
                EXPECT_GT(c.area(), 0.0);
                for (const vertex2d& p : c.points) {
                    EXPECT_LE(distance_to_outline(p, set.contours.front()), medium) << set.frame;
                    ++checked;
                }
            }
        }
        EXPECT_GT(checked, 500u);

        // Across the planes, through the centre: the analytic ellipse's area.
        matrix16d across;
        across.forward(e.centre.x - 3.0, e.centre.y - 3.0, e.centre.z);
        const ellipse2d truth = section(e, across);
        ASSERT_TRUE(truth.exists);
        const std::vector<contour> cut = s->intersection_contour(plane_of(across, sx, sy), 0.1);
        double area = 0.0;
        for (const contour& c : cut)
            area += c.area() * sx * sy;
        EXPECT_NEAR(area, truth.area(), 0.03 * truth.area());
    }
}

}  // namespace

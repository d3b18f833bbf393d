// Curves on surfaces: naming, placing and closing, picking, moving back onto
// a rebuilt surface, and splitting a mesh in two along a closed curve.
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "common/vertex_math.h"
#include "ellipsoid_outlines.h"
#include "surfaces/surface_curves.h"
#include "surfaces/mesh_measure.h"
#include "surfaces/surface_interp.h"
#include "test_meshes.h"

namespace {

using namespace surface_test;

TEST(SurfaceCurves, NamesArePerObjectUniqueAndPrintable)
{
    curve_set curves;
    EXPECT_EQ(default_curve_name(curves, 0), "Curve 1");
    add_curve_point(curves, 0, {0, 0, 0}, 0.1);
    EXPECT_EQ(curves.curves.front().name, "Curve 1");
    EXPECT_EQ(default_curve_name(curves, 0), "Curve 2");
    EXPECT_EQ(default_curve_name(curves, 3), "Curve 1");  // another object's names are its own
    wxString why;
    EXPECT_FALSE(check_curve_name(curves, 0, "Curve 1", std::nullopt, &why));
    EXPECT_EQ(why, "Surface curve must have a different name to all other curves for this object.");
    EXPECT_TRUE(check_curve_name(curves, 0, "Curve 1", 0, &why));  // keeping its own name
    EXPECT_TRUE(check_curve_name(curves, 1, "Curve 1", std::nullopt, &why));
    EXPECT_FALSE(check_curve_name(curves, 0, "Rim\nLANDMARK 1 2 3 x", 0, &why));
    EXPECT_FALSE(check_curve_name(curves, 0, "", 0, &why));
}

TEST(SurfaceCurves, PointsGrowACurveUntilItCloses)
{
    curve_set curves;
    const vertex3d square[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    // Near the start with only two points: a point like any other.
    add_curve_point(curves, 2, square[0], 0.1);
    add_curve_point(curves, 2, {0.05, 0.0, 0.0}, 0.1);
    ASSERT_EQ(curves.curves.size(), 1u);
    EXPECT_EQ(curves.curves[0].points.size(), 2u);
    curves = {};
    for (const vertex3d& p : square)
        EXPECT_EQ(add_curve_point(curves, 2, p, 0.1), 0u);
    EXPECT_FALSE(curves.curves[0].closed);
    EXPECT_EQ(add_curve_point(curves, 2, {0.02, 0.03, 0.0}, 0.1), 0u);  // back at the start: closed
    EXPECT_TRUE(curves.curves[0].closed);
    EXPECT_EQ(curves.curves[0].points.size(), 4u);
    // The next point starts a new curve; another object's points never join it.
    EXPECT_EQ(add_curve_point(curves, 2, {5, 5, 5}, 0.1), 1u);
    EXPECT_EQ(add_curve_point(curves, 4, {5, 5, 6}, 0.1), 2u);
    EXPECT_EQ(add_curve_point(curves, 2, {6, 5, 5}, 0.1), 1u);
    EXPECT_EQ(curves.curves[1].name, "Curve 2");
    EXPECT_EQ(curves.curves[2].name, "Curve 1");

    // Picking: a line of sight passing the square's edge finds it, for its
    // object or any; one passing far away finds nothing.
    EXPECT_EQ(curve_near_segment(curves, 2, {0.5, -0.01, 5.0}, {0.5, -0.01, -5.0}, 0.05), 0u);
    EXPECT_EQ(curve_near_segment(curves, -1, {0.5, -0.01, 5.0}, {0.5, -0.01, -5.0}, 0.05), 0u);
    EXPECT_FALSE(curve_near_segment(curves, 4, {0.5, -0.01, 5.0}, {0.5, -0.01, -5.0}, 0.05));
    EXPECT_FALSE(curve_near_segment(curves, 2, {0.5, 0.5, 5.0}, {0.5, 0.5, -5.0}, 0.05));
}

TEST(SurfaceCurves, CurvesReturnToARebuiltSurface)
{
    const ellipsoid_shape e = demo_phantom().ellipsoids.at(0);
    outlined_t o = outline_ellipsoid(e, parallel_planes(e, 25));
    surface_settings_t settings;
    settings.resolution = medium;
    const auto coarse = surface_interp::build(o.object, 0, o.placements, settings);
    settings.resolution = 2;
    const auto fine = surface_interp::build(o.object, 0, o.placements, settings);
    ASSERT_TRUE(coarse && fine);
    // A curve through points of the coarse surface, a little off it.
    curve_set curves;
    const surface_mesh_t& mesh = coarse->get_seq().front().mesh;
    for (std::size_t i = 0; i < mesh.points.size(); i += mesh.points.size() / 12) {
        const surface_point_t& p = mesh.points[i];
        add_curve_point(curves, 0, p.position + 0.03 * p.normal, 0.0);
    }
    add_curve_point(curves, 7, {100, 100, 100}, 0.0);
    const curve_set before = curves;
    reattach_curves(curves, 0, *fine);
    for (std::size_t k = 0; k < curves.curves[0].points.size(); ++k) {
        const vertex3d& p = curves.curves[0].points[k];
        // On the fine surface: its own nearest point is itself.
        EXPECT_NEAR(length(nearest_surface_point(*fine, p) - p), 0.0, 1e-9);
        // And near where it was put.
        EXPECT_LT(length(p - before.curves[0].points[k]), 0.06);
    }
    EXPECT_EQ(curves.curves[1].points, before.curves[1].points);  // another object's curve stays
}

TEST(SurfaceCurves, AClosedCurveSplitsAMeshInTwo)
{
    const surface_mesh_t sphere = subdivided_sphere(3, 1.0, {0.0, 0.0, 0.0});
    curve_t equator;
    equator.closed = true;
    for (int i = 0; i < 12; ++i) {
        const double a = 2.0 * std::numbers::pi * i / 12;
        equator.points.push_back({std::cos(a), std::sin(a), 0.0});
    }
    const auto split = split_mesh(sphere, equator);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->first.triangles.size() + split->second.triangles.size(), sphere.triangles.size());
    EXPECT_EQ(split->first.triangles.size(), split->second.triangles.size());  // the equator halves it
    // Each patch lies on one side, and every triangle's indices are its own.
    for (const surface_mesh_t* patch : {&split->first, &split->second}) {
        double side = 0.0;
        for (const surface_point_t& p : patch->points)
            side += p.position.z;
        for (const surface_point_t& p : patch->points)
            EXPECT_GE(p.position.z * side, -1e-12);
        for (const surface_triangle_t& t : patch->triangles)
            for (std::uint32_t v : t.points)
                EXPECT_LT(v, patch->points.size());
    }
    // Each half closed by a cap across the cut: closed, and the two volumes
    // make up the sphere's.
    surface_mesh_t top = split->first, bottom = split->second;
    close_holes(top);
    close_holes(bottom);
    EXPECT_TRUE(closed_manifold(top));
    EXPECT_TRUE(closed_manifold(bottom));
    EXPECT_NEAR(enclosed(top).volume + enclosed(bottom).volume, enclosed(sphere).volume, 1e-9);
    EXPECT_NEAR(enclosed(top).volume, enclosed(bottom).volume, 1e-9);
    // A closed mesh has no hole to close.
    surface_mesh_t whole = sphere;
    close_holes(whole);
    EXPECT_EQ(whole.triangles.size(), sphere.triangles.size());

    // Open, too short, or not parting the mesh: no split.
    curve_t open = equator;
    open.closed = false;
    EXPECT_FALSE(split_mesh(sphere, open));
    curve_t tiny;
    tiny.closed = true;
    tiny.points = {{0.0, 0.0, 1.0}, {0.001, 0.0, 1.0}, {0.0, 0.001, 1.0}};
    EXPECT_FALSE(split_mesh(sphere, tiny));
    curve_t back_and_forth;
    back_and_forth.closed = true;
    back_and_forth.points = {{1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_FALSE(split_mesh(sphere, back_and_forth));
    EXPECT_FALSE(split_mesh(surface_mesh_t{}, equator));
}

}  // namespace

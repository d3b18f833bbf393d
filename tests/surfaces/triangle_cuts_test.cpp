// The pieces a plane cuts from each triangle, with the edge points and
// weights each end lies between: what values held per point are drawn along
// a surface's cut with. Checked on a tetrahedron and a box whose cuts are
// known, against cut_mesh's outlines, and for planes that miss or touch.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "surfaces/surface_cut.h"
#include "test_meshes.h"

namespace {

// A box from (0,0,0) to (2,1,1), two triangles a face, faces anticlockwise from outside.
surface_mesh_t box()
{
    surface_mesh_t m;
    for (int i = 0; i < 8; ++i)
        m.points.push_back({{2.0 * (i & 1), double((i >> 1) & 1), double((i >> 2) & 1)}, {0, 0, 0}});
    const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                       {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        m.triangles.push_back({{q[0], q[1], q[2]}});
        m.triangles.push_back({{q[0], q[2], q[3]}});
    }
    return m;
}

double distance(const vertex3d& a, const vertex3d& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Every end lies on its edge where its weights say, the weights being a
// proper split of the edge, and on the plane.
void expect_ends_consistent(const surface_mesh_t& mesh, const plane_t& plane, const std::vector<triangle_cut_t>& cuts)
{
    for (const triangle_cut_t& cut : cuts) {
        ASSERT_LT(cut.triangle, mesh.triangles.size());
        const auto& corners = mesh.triangles[cut.triangle].points;
        for (const cut_end_t& end : cut.ends) {
            EXPECT_LT(end.points[0], end.points[1]);
            for (std::uint32_t p : end.points)  // an edge of the triangle cut
                EXPECT_NE(std::find(corners.begin(), corners.end(), p), corners.end());
            EXPECT_NEAR(end.weights[0] + end.weights[1], 1.0, 1e-12);
            EXPECT_GE(end.weights[0], 0.0);
            EXPECT_GE(end.weights[1], 0.0);
            const vertex3d& a = mesh.points[end.points[0]].position;
            const vertex3d& b = mesh.points[end.points[1]].position;
            const vertex3d mixed{end.weights[0] * a.x + end.weights[1] * b.x,
                                 end.weights[0] * a.y + end.weights[1] * b.y,
                                 end.weights[0] * a.z + end.weights[1] * b.z};
            EXPECT_LT(distance(mixed, end.position), 1e-12);
            EXPECT_NEAR(dot(sub(end.position, plane.origin), plane.normal), 0.0, 1e-12);
        }
    }
}

// A level plane through a box cuts each of its four sides' two triangles:
// eight pieces round the box's 6 cm perimeter, each end halfway up its edge.
TEST(TriangleCuts, LevelPlaneThroughABoxGoesRoundItsSides)
{
    const surface_mesh_t b = box();
    const plane_t plane = plane_through({0, 0, 0.25}, {1, 0, 0}, {0, 1, 0});
    const std::vector<triangle_cut_t> cuts = triangle_cuts(b, plane);
    ASSERT_EQ(cuts.size(), 8u);
    expect_ends_consistent(b, plane, cuts);
    double perimeter = 0.0;
    for (const triangle_cut_t& cut : cuts) {
        perimeter += distance(cut.ends[0].position, cut.ends[1].position);
        for (const cut_end_t& end : cut.ends) {
            EXPECT_DOUBLE_EQ(end.position.z, 0.25);
            // A quarter of the way up every edge from the bottom (the lower index) to the top.
            EXPECT_DOUBLE_EQ(end.weights[1], 0.25);
            EXPECT_TRUE(std::abs(end.position.x) < 1e-12 || std::abs(end.position.x - 2.0) < 1e-12 ||
                        std::abs(end.position.y) < 1e-12 || std::abs(end.position.y - 1.0) < 1e-12);
        }
    }
    EXPECT_NEAR(perimeter, 6.0, 1e-12);
    // Top and bottom triangles lie wholly on one side.
    for (const triangle_cut_t& cut : cuts)
        EXPECT_GE(cut.triangle, 4u);
}

// Values linear in space, mixed with the ends' weights, give the value at
// the end's position: weights that were swapped or belonged to another
// edge would not.
TEST(TriangleCuts, WeightsInterpolateValuesHeldAtThePoints)
{
    const surface_mesh_t b = box();
    const auto value = [](const vertex3d& p) { return 3.0 * p.x - 2.0 * p.y + 5.0 * p.z + 1.0; };
    std::vector<double> held;
    for (const surface_point_t& p : b.points)
        held.push_back(value(p.position));
    // A tilted plane, cutting the box's edges at different fractions.
    for (const plane_t& plane : {plane_through({0, 0, 0.3}, {1, 0, 0.2}, {0, 1, 0.1}),
                                 plane_through({1.1, 0.4, 0.5}, {0.3, 1, 0}, {0, 0.2, 1})}) {
        const std::vector<triangle_cut_t> cuts = triangle_cuts(b, plane);
        ASSERT_FALSE(cuts.empty());
        expect_ends_consistent(b, plane, cuts);
        for (const triangle_cut_t& cut : cuts)
            for (const cut_end_t& end : cut.ends)
                EXPECT_NEAR(end.weights[0] * held[end.points[0]] + end.weights[1] * held[end.points[1]],
                            value(end.position), 1e-9);
    }
}

// The pieces are the outlines cut_mesh gives, unchained: the same length
// and the same points, so a coloured cut lies where the plain one would.
TEST(TriangleCuts, PiecesLieOnTheOutlines)
{
    const surface_mesh_t sphere = subdivided_sphere(3, 1.0, {0.0, 0.0, 0.0});
    const plane_t plane = plane_through({-2.0, -2.0, 0.37}, {0.01, 0.0, 0.0}, {0.0, 0.01, 0.0});
    const std::vector<triangle_cut_t> cuts = triangle_cuts(sphere, plane);
    const std::vector<contour> outlines = cut_mesh(sphere, plane);
    ASSERT_EQ(outlines.size(), 1u);
    expect_ends_consistent(sphere, plane, cuts);
    double pieces = 0.0;
    for (const triangle_cut_t& cut : cuts) {
        pieces += distance(cut.ends[0].position, cut.ends[1].position);
        for (const cut_end_t& end : cut.ends) {
            const vertex2d at = pixel_of(plane, end.position);
            const auto& points = outlines[0].points;
            EXPECT_TRUE(std::any_of(points.begin(), points.end(),
                                    [&](const vertex2d& q) { return std::hypot(q.x - at.x, q.y - at.y) < 1e-6; }))
                << at.x << ", " << at.y;
        }
    }
    double outline = 0.0;
    const auto& points = outlines[0].points;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const vertex2d& a = points[i];
        const vertex2d& b = points[(i + 1) % points.size()];
        outline += std::hypot(b.x - a.x, b.y - a.y) * 0.01;  // pixels of 0.01 cm
    }
    EXPECT_NEAR(pieces, outline, 1e-9);
}

// A plane beyond the mesh, or one only touching a corner, cuts nothing; an
// empty mesh or a plane without extent neither.
TEST(TriangleCuts, PlanesMissingOrTouchingCutNothing)
{
    const surface_mesh_t t = tetrahedron();
    EXPECT_TRUE(triangle_cuts(t, plane_through({0, 0, 1.5}, {1, 0, 0}, {0, 1, 0})).empty());
    EXPECT_TRUE(triangle_cuts(t, plane_through({0, 0, -0.5}, {1, 0, 0}, {0, 1, 0})).empty());
    EXPECT_TRUE(triangle_cuts(t, plane_through({0, 0, 1}, {1, 0, 0}, {0, 1, 0})).empty());  // the apex alone
    EXPECT_TRUE(triangle_cuts(surface_mesh_t{}, plane_through({0, 0, 0.5}, {1, 0, 0}, {0, 1, 0})).empty());
    EXPECT_TRUE(triangle_cuts(t, plane_through({0, 0, 0.5}, {0, 0, 0}, {0, 1, 0})).empty());
}

// A plane through one corner and across the opposite side: three pieces,
// a triangle, two of whose ends are the corner itself, wholly its weight.
// Either way the plane faces, the triangle whose other corners are both on
// one side gives no piece of no length.
TEST(TriangleCuts, PlaneThroughACornerEndsThere)
{
    const surface_mesh_t t = tetrahedron();
    const vertex3d corner{1, 0, 0};  // point 1; the plane x + 2y - z = 1
    for (const plane_t& plane :
         {plane_through(corner, {0, 1, 2}, {1, 0, 1}), plane_through(corner, {1, 0, 1}, {0, 1, 2})}) {
        const std::vector<triangle_cut_t> cuts = triangle_cuts(t, plane);
        ASSERT_EQ(cuts.size(), 3u);
        expect_ends_consistent(t, plane, cuts);
        int at_corner = 0;
        for (const triangle_cut_t& cut : cuts) {
            EXPECT_GT(distance(cut.ends[0].position, cut.ends[1].position), 0.1);
            for (const cut_end_t& end : cut.ends)
                if (distance(end.position, corner) < 1e-12) {
                    ++at_corner;
                    const int k = end.points[0] == 1 ? 0 : 1;
                    ASSERT_EQ(end.points[std::size_t(k)], 1u);
                    EXPECT_DOUBLE_EQ(end.weights[std::size_t(k)], 1.0);
                }
        }
        EXPECT_EQ(at_corner, 2);
        // The other ends: halfway along edge 0-2 and a third of the way along 2-3.
        int found = 0;
        for (const triangle_cut_t& cut : cuts)
            for (const cut_end_t& end : cut.ends) {
                if (end.points == std::array<std::uint32_t, 2>{0, 2}) {
                    EXPECT_NEAR(end.weights[1], 0.5, 1e-12);
                    ++found;
                } else if (end.points == std::array<std::uint32_t, 2>{2, 3}) {
                    EXPECT_NEAR(end.weights[1], 1.0 / 3.0, 1e-12);
                    ++found;
                }
            }
        EXPECT_EQ(found, 4);  // each shared by two pieces
    }
}

}  // namespace

// Results over a surface: outliers dropped against neighbours that face the
// same way, and the surfaces made from the results: the cortex closed into
// one consistently turned shell by its caps, the smoothed-thickness surface
// the smoothed thickness inside the outer edge.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "common/vertex_math.h"
#include "thickness/derived_surfaces.h"
#include "thickness/outliers.h"

namespace {

// A flat k x k grid of points 1 mm apart in the plane z = 0, normals +z, two triangles a cell turned to +z.
surface_mesh_t grid(std::uint32_t k)
{
    surface_mesh_t m;
    for (std::uint32_t y = 0; y < k; ++y)
        for (std::uint32_t x = 0; x < k; ++x)
            m.points.push_back({{0.1 * x, 0.1 * y, 0.0}, {0, 0, 1}});
    for (std::uint32_t y = 0; y + 1 < k; ++y)
        for (std::uint32_t x = 0; x + 1 < k; ++x) {
            const std::uint32_t a = y * k + x;
            m.triangles.push_back({{a, a + 1, a + k + 1}});
            m.triangles.push_back({{a, a + k + 1, a + k}});
        }
    return m;
}

thickness_results_t uniform(std::size_t points, double thick, double surface)
{
    thickness_results_t r;
    r.reset(points);
    point_result_t p;
    p.thickness = thick;
    p.thickness_error = 0.1;
    p.surface = surface;
    for (std::size_t i = 0; i < points; ++i)
        r.set(i, p);
    r.values[thickness_results_t::smoothed_thick] = r.values[thickness_results_t::thick];
    return r;
}

TEST(ThicknessOutliers, APointUnlikeItsNeighboursIsDropped)
{
    surface_mesh_t m = grid(5);
    thickness_results_t r = uniform(m.points.size(), 2.0, 0.0);
    r.values[thickness_results_t::thick][12] = 3.5;   // the centre: 1.5 mm thicker
    r.values[thickness_results_t::surface][6] = 1.4;  // its cortex put 1.4 mm outside
    r.values[thickness_results_t::thick][18] = 2.6;   // within the 1 mm allowed
    EXPECT_EQ(find_outliers(m, 37, 100, &r), 2u);
    EXPECT_EQ(r.values[thickness_results_t::thick][12], thickness_unknown);
    EXPECT_EQ(r.values[thickness_results_t::density][6], thickness_unknown);
    EXPECT_EQ(r.values[thickness_results_t::thick][18], 2.6);
    // The neighbours of a dropped point are judged on the results as they were: none fell with it.
    EXPECT_EQ(r.values[thickness_results_t::thick][7], 2.0);

    // Neighbours turned away by more than the angle do not count; without two that do, a point stays.
    thickness_results_t again = uniform(m.points.size(), 2.0, 0.0);
    again.values[thickness_results_t::thick][12] = 3.5;
    surface_mesh_t folded = m;
    for (std::size_t i = 0; i < folded.points.size(); ++i)
        if (i != 12)
            folded.points[i].normal = {1, 0, 1};  // 45 degrees off
    EXPECT_EQ(find_outliers(folded, 37, 100, &again), 0u);
    EXPECT_EQ(find_outliers(folded, 50, 100, &again), 1u);

    // Results of another surface, a negative distance: nothing done.
    thickness_results_t other = uniform(3, 2.0, 0.0);
    EXPECT_EQ(find_outliers(m, 37, 100, &other), 0u);
    EXPECT_EQ(find_outliers(m, 37, -5, &r), 0u);
}

TEST(DerivedSurfaces, TheCortexIsOneClosedShellTurnedOutwards)
{
    const surface_mesh_t m = grid(4);
    const thickness_results_t r = uniform(m.points.size(), 2.0, -0.5);
    const surface_mesh_t cortex = derived_surface(m, r, derived_surface_t::cortex);
    ASSERT_EQ(cortex.points.size(), 2 * m.points.size());
    EXPECT_NEAR(cortex.points[5].position.z, -0.05, 1e-12);               // outer edge 0.5 mm in
    EXPECT_NEAR(cortex.points[16 + 5].position.z, -0.25, 1e-12);          // inner edge 2 mm further
    EXPECT_EQ(cortex.triangles.size(), 2 * m.triangles.size() + 2 * 12);  // 12 rim edges
    // Closed and turned one way: every edge walked once each way.
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> walked;
    for (const auto& t : cortex.triangles)
        for (int k = 0; k < 3; ++k)
            ++walked[{t.points[std::size_t(k)], t.points[std::size_t((k + 1) % 3)]}];
    for (const auto& [edge, count] : walked) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(walked.count({edge.second, edge.first}), 1u) << edge.first << " " << edge.second;
    }
    // Turned outwards: the enclosed volume (divergence theorem) is positive, 1.5 mm x 3 mm x 3 mm... in cm^3.
    double volume = 0.0;
    for (const auto& t : cortex.triangles) {
        const vertex3d& a = cortex.points[t.points[0]].position;
        const vertex3d& b = cortex.points[t.points[1]].position;
        const vertex3d& c = cortex.points[t.points[2]].position;
        volume += dot(a, cross(b, c)) / 6.0;
    }
    EXPECT_NEAR(volume, 0.3 * 0.3 * 0.2, 1e-12);

    // Parts left out: no caps, the outer part only.
    EXPECT_EQ(derived_surface(m, r, derived_surface_t::cortex, {true, true, false}).triangles.size(),
              2 * m.triangles.size());
    EXPECT_EQ(derived_surface(m, r, derived_surface_t::cortex, {false, true, false}).triangles, m.triangles);
}

TEST(DerivedSurfaces, TheSmoothedThicknessLiesInsideTheOuterEdge)
{
    const surface_mesh_t m = grid(3);
    thickness_results_t r = uniform(m.points.size(), 2.0, 0.5);
    r.values[thickness_results_t::smoothed_thick][4] = 3.0;
    r.values[thickness_results_t::smoothed_thick][0] = thickness_unknown;
    const surface_mesh_t s = derived_surface(m, r, derived_surface_t::smoothed_thickness);
    EXPECT_NEAR(s.points[4].position.z, (0.5 - 3.0) / 10.0, 1e-12);
    EXPECT_NEAR(s.points[1].position.z, (0.5 - 2.0) / 10.0, 1e-12);
    EXPECT_EQ(s.points[0].position.z, 0.0);  // no result: where it was
    EXPECT_STREQ(derived_surface_suffix(derived_surface_t::smoothed_thickness), "_smoothed_thickness");
    EXPECT_TRUE(derived_surface(m, uniform(2, 1.0, 0.0), derived_surface_t::inner).points.empty());
}

}  // namespace

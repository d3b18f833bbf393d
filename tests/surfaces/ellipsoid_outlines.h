// The demo ellipsoid outlined on parallel and fanned planes, and the test of a
// closed, consistently oriented mesh: shared by the surface tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <utility>

#include <gtest/gtest.h>

#include "demo/phantom.h"
#include "support/outline_shapes.h"
#include "surfaces/surface_mesh.h"

namespace surface_test {

inline constexpr double sx = 0.01, sy = 0.012;
inline constexpr int medium = 4;

inline contour outline(const ellipse2d& e, int n = 360) { return ellipse_outline(e, sx, sy, n); }

inline std::vector<matrix16d> parallel_planes(const ellipsoid_shape& e, int count)
{
    std::vector<matrix16d> planes;
    const double reach = 1.05 * std::max({e.semi[0], e.semi[1], e.semi[2]});
    for (int i = 0; i < count; ++i) {
        matrix16d m;
        m.forward(e.centre.x - reach + 2.0 * reach * (i + 0.5) / count, e.centre.y - 3.0, e.centre.z - 3.0, 90.0,
                  0.0, 90.0);
        planes.push_back(m);
    }
    return planes;
}

// Planes fanned about an axis beside the ellipsoid, as a probe rocked on the skin.
inline std::vector<matrix16d> fan_planes(const ellipsoid_shape& e, int count)
{
    std::vector<matrix16d> planes;
    const double reach = 1.05 * std::max({e.semi[0], e.semi[1], e.semi[2]});
    const double half_angle = std::atan2(reach, 3.0) * 180.0 / std::numbers::pi;
    for (int i = 0; i < count; ++i) {
        const double angle = -half_angle + 2.0 * half_angle * (i + 0.5) / count;
        matrix16d pivot, tilt, offset;
        pivot.forward(e.centre.x, e.centre.y, e.centre.z - 3.0);
        tilt.forward(0.0, 0.0, 0.0, 0.0, angle, 0.0);
        offset.forward(0.0, -3.0, 0.0, 90.0, 0.0, 90.0);
        planes.push_back(pivot * tilt * offset);
    }
    return planes;
}

struct outlined_t {
    frame_placements placements;
    contour_object object;
};

// The ellipsoid outlined on every plane that cuts it; plane i becomes frame i,
// or frame count - 1 - i when reversed.
inline outlined_t outline_ellipsoid(const ellipsoid_shape& e, const std::vector<matrix16d>& planes, bool reversed = false)
{
    outlined_t o;
    o.placements.sx = sx;
    o.placements.sy = sy;
    o.placements.frames.resize(planes.size());
    for (std::size_t i = 0; i < planes.size(); ++i) {
        const std::size_t frame = reversed ? planes.size() - 1 - i : i;
        o.placements.frames[frame] = placed(planes[i]);
        const ellipse2d cut = section(e, planes[i]);
        if (cut.exists && cut.b > 0.0)
            o.object.insert(static_cast<std::int32_t>(frame), outline(cut));
    }
    o.object.name = "Object 0";
    return o;
}

// Closed and consistently oriented: every directed edge appears once, and its
// reverse once. Also no point index out of range and no non-finite position.
inline ::testing::AssertionResult closed_manifold(const surface_mesh_t& mesh)
{
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> directed;
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t.points[k], b = t.points[(k + 1) % 3];
            if (a >= mesh.points.size() || b >= mesh.points.size() || a == b)
                return ::testing::AssertionFailure() << "bad triangle";
            ++directed[{a, b}];
        }
    for (const auto& [edge, count] : directed) {
        if (count != 1)
            return ::testing::AssertionFailure() << "edge used " << count << " times the same way";
        const auto reverse = directed.find({edge.second, edge.first});
        if (reverse == directed.end())
            return ::testing::AssertionFailure() << "open edge " << edge.first << "-" << edge.second;
    }
    for (const surface_point_t& p : mesh.points)
        if (!std::isfinite(p.position.x + p.position.y + p.position.z + p.normal.x + p.normal.y + p.normal.z))
            return ::testing::AssertionFailure() << "non-finite point";
    return ::testing::AssertionSuccess();
}

}  // namespace surface_test

// Meshes of known shape for the surface file tests and the sample writer.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "surfaces/surface_mesh.h"

// The unit corner tetrahedron, faces counter-clockwise seen from outside.
inline surface_mesh_t tetrahedron()
{
    surface_mesh_t m;
    const vertex3d p[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const vertex3d n[] = {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 4; ++i)
        m.points.push_back({p[i], n[i], SURF_POINT_ORDINARY});
    m.triangles = {{{0, 2, 1}, 2}, {{0, 1, 3}, 2}, {{0, 3, 2}, 2}, {{1, 2, 3}, 2}};
    return m;
}

// An octahedron whose triangles are split in four `levels` times and whose
// points are pushed onto a sphere: 4 * 4^levels + 2 points, 8 * 4^levels triangles.
inline surface_mesh_t subdivided_sphere(int levels, double radius, vertex3d centre)
{
    std::vector<vertex3d> dirs = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    std::vector<std::array<std::uint32_t, 3>> tris = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                                      {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    const auto unit = [](vertex3d v) {
        const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        return vertex3d{v.x / l, v.y / l, v.z / l};
    };
    for (int level = 0; level < levels; ++level) {
        std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> middle;
        const auto mid = [&](std::uint32_t a, std::uint32_t b) {
            const auto key = std::minmax(a, b);
            const auto found = middle.find(key);
            if (found != middle.end())
                return found->second;
            dirs.push_back(unit({dirs[a].x + dirs[b].x, dirs[a].y + dirs[b].y, dirs[a].z + dirs[b].z}));
            return middle[key] = static_cast<std::uint32_t>(dirs.size() - 1);
        };
        std::vector<std::array<std::uint32_t, 3>> finer;
        for (const auto& t : tris) {
            const std::uint32_t ab = mid(t[0], t[1]), bc = mid(t[1], t[2]), ca = mid(t[2], t[0]);
            finer.insert(finer.end(), {{t[0], ab, ca}, {t[1], bc, ab}, {t[2], ca, bc}, {ab, bc, ca}});
        }
        tris = std::move(finer);
    }
    surface_mesh_t m;
    for (const vertex3d& d : dirs)
        m.points.push_back(
            {{centre.x + radius * d.x, centre.y + radius * d.y, centre.z + radius * d.z}, d, SURF_POINT_ORDINARY});
    for (const auto& t : tris)
        m.triangles.push_back({t, 2});
    return m;
}

#include "derived_surfaces.h"

#include <cmath>
#include <unordered_map>

#include "common/vertex_math.h"

namespace {

// Each point moved along its normal by along(i) mm (skipped where that is not known).
template <class Along>
surface_mesh_t moved(const surface_mesh_t& mesh, Along along)
{
    surface_mesh_t out = mesh;
    out.colours.clear();
    for (std::size_t i = 0; i < out.points.size(); ++i) {
        surface_point_t& p = out.points[i];
        const double size = length(p.normal);
        const double mm = along(i);
        if (mm == thickness_unknown || !std::isfinite(mm) || !(size > 0.0) || !std::isfinite(size))
            continue;
        p.position = p.position + (mm / 10.0 / size) * p.normal;
    }
    return out;
}

// The edges of the mesh that only one triangle has, in that triangle's direction.
std::vector<std::pair<std::uint32_t, std::uint32_t>> rim_edges(const surface_mesh_t& mesh)
{
    std::unordered_map<std::uint64_t, int> uses;
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k)
            ++uses[edge_key(t.points[std::size_t(k)], t.points[std::size_t((k + 1) % 3)])];
    std::vector<std::pair<std::uint32_t, std::uint32_t>> rim;
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k) {
            const std::uint32_t a = t.points[std::size_t(k)], b = t.points[std::size_t((k + 1) % 3)];
            if (uses[edge_key(a, b)] == 1)
                rim.emplace_back(a, b);
        }
    return rim;
}

surface_mesh_t cortex_of(const surface_mesh_t& outer, const surface_mesh_t& inner, cortex_parts_t parts)
{
    surface_mesh_t out;
    const auto n = std::uint32_t(outer.points.size());
    out.points = outer.points;
    out.points.insert(out.points.end(), inner.points.begin(), inner.points.end());
    for (std::size_t i = n; i < out.points.size(); ++i)
        out.points[i].normal = -1.0 * out.points[i].normal;  // the inner surface faces the canal
    if (parts.outer)
        out.triangles = outer.triangles;
    if (parts.inner)
        for (surface_triangle_t t : inner.triangles) {
            std::swap(t.points[1], t.points[2]);
            for (auto& p : t.points)
                p += n;
            out.triangles.push_back(t);
        }
    if (parts.caps)
        for (const auto& [a, b] : rim_edges(outer)) {
            // The band between the rims, turned outwards like the outer surface's triangle on that edge.
            out.triangles.push_back(surface_triangle_t{{b, a, a + n}});
            out.triangles.push_back(surface_triangle_t{{b, a + n, b + n}});
        }
    // Points no triangle uses are left in, so that point i of the results stays point i.
    return out;
}

}  // namespace

surface_mesh_t derived_surface(const surface_mesh_t& mesh, const thickness_results_t& results, derived_surface_t kind,
                               cortex_parts_t parts)
{
    if (results.points() != mesh.points.size())
        return {};
    const auto& surface = results.values[thickness_results_t::surface];
    const auto& thick = results.values[thickness_results_t::thick];
    const auto& smoothed = results.values[thickness_results_t::smoothed_thick];
    // `surface` is the outer edge along the outward normal (mm); the inner edge lies a thickness further in.
    auto outer_at = [&](std::size_t i) { return surface[i]; };
    auto inner_at = [&](std::size_t i) {
        return surface[i] == thickness_unknown || thick[i] == thickness_unknown ? thickness_unknown
                                                                                : surface[i] - thick[i];
    };
    switch (kind) {
        case derived_surface_t::outer:
            return moved(mesh, outer_at);
        case derived_surface_t::inner:
            return moved(mesh, inner_at);
        case derived_surface_t::smoothed_thickness:
            return moved(mesh, [&](std::size_t i) {
                return surface[i] == thickness_unknown || smoothed[i] == thickness_unknown ? thickness_unknown
                                                                                           : surface[i] - smoothed[i];
            });
        default:
            return cortex_of(moved(mesh, outer_at), moved(mesh, inner_at), parts);
    }
}

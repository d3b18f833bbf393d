#include "derived_surfaces.h"

#include <cmath>

#include "common/vertex_math.h"

surface_mesh_t derived_surface(const surface_mesh_t& mesh, const thickness_results_t& results, derived_surface_t kind)
{
    if (results.points() != mesh.points.size())
        return {};
    surface_mesh_t out = mesh;
    out.colours.clear();
    const auto& surface = results.values[thickness_results_t::surface];
    const auto& thick = results.values[thickness_results_t::thick];
    for (std::size_t i = 0; i < out.points.size(); ++i) {
        surface_point_t& p = out.points[i];
        const double size = length(p.normal);
        if (surface[i] == thickness_unknown || !(size > 0.0) || !std::isfinite(size))
            continue;
        // `surface` is the outer edge along the outward normal (mm); the inner edge lies a thickness further in.
        double along_mm = surface[i];
        if (kind == derived_surface_t::inner) {
            if (thick[i] == thickness_unknown)
                continue;
            along_mm -= thick[i];
        }
        p.position = p.position + (along_mm / 10.0 / size) * p.normal;
    }
    return out;
}

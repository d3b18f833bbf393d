#include "coloured_surfaces.h"

surface_mesh_t coloured_surface(const surface_mesh_t& mesh, const thickness_results_t& results,
                                const coloured_result_t& which, thickness_scale_t scale)
{
    if (results.points() != mesh.points.size())
        return {};
    scale.shown = which.scale;
    surface_mesh_t out = mesh;
    const std::vector<double>& values = results.values[which.quantity];
    out.colours.assign(mesh.points.size(), no_result_colour);
    for (std::size_t i = 0; i < out.colours.size(); ++i)
        if (const auto f = scale_fraction(values[i], scale))
            out.colours[i] = scale_colour(*f, scale.map);
    return out;
}

// Surfaces made from thickness results: the outer and inner cortical
// surfaces, each point moved along its normal to where the fit put the
// cortex's outer or inner edge; the smoothed-thickness surface, the smoothed
// thickness inside the outer edge; and the cortex as one shell of its outer
// and inner surfaces, closed along the mesh's open rims by caps. Points
// without a result stay where they are.
#pragma once

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_results.h"

enum class derived_surface_t { outer, inner, cortex, smoothed_thickness };

// What the cortex takes ("Inc. inner", "outer", "caps").
struct cortex_parts_t {
    bool inner = true, outer = true, caps = true;
};

// The mesh with its points moved; triangles as they were (the cortex: the
// outer part, then the inner part turned inside out, then the caps). Empty
// when the results are not the mesh's.
surface_mesh_t derived_surface(const surface_mesh_t& mesh, const thickness_results_t& results, derived_surface_t kind,
                               cortex_parts_t parts = {});

// The file name suffixes the derived surfaces are saved under.
inline constexpr const char* derived_surface_suffix(derived_surface_t kind)
{
    switch (kind) {
        case derived_surface_t::outer:
            return "_outer";
        case derived_surface_t::inner:
            return "_inner";
        case derived_surface_t::cortex:
            return "_cortex";
        default:
            return "_smoothed_thickness";
    }
}

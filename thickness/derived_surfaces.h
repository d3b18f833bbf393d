// Surfaces made from thickness results: the outer and inner cortical
// surfaces, each point moved along its normal to where the fit put the
// cortex's outer or inner edge. Points without a result stay where they are.
#pragma once

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_results.h"

enum class derived_surface_t { outer, inner };

// The mesh with its points moved; triangles and normals as they were. Empty
// when the results are not the mesh's.
surface_mesh_t derived_surface(const surface_mesh_t& mesh, const thickness_results_t& results, derived_surface_t kind);

// The file name suffixes the derived surfaces are saved under.
inline constexpr const char* derived_surface_suffix(derived_surface_t kind)
{
    return kind == derived_surface_t::outer ? "_outer" : "_inner";
}

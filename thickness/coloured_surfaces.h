// The surface coloured with single results, saved beside the derived
// surfaces so that other programs show them: where the outer edge lies
// ("_surface") and the cortex's centre ("_joint"), the blur ("_gauss") and
// its error, the endocortical thickness, the trabecular density and its
// error, and the soft tissue's ("_soft_density"). Colours as the visual
// page draws them, on its scales.
#pragma once

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_colours.h"

struct coloured_result_t {
    const char* suffix;
    thickness_results_t::quantity_t quantity;
    thickness_shown_t scale;  // whose scale it is drawn on
};
inline constexpr coloured_result_t coloured_results[] = {
    {"_surface", thickness_results_t::surface, thickness_shown_t::surface_offset},
    {"_joint", thickness_results_t::joint, thickness_shown_t::surface_offset},
    {"_gauss", thickness_results_t::blur, thickness_shown_t::blur},
    {"_gauss_err", thickness_results_t::blur_error, thickness_shown_t::blur},
    {"_endo", thickness_results_t::endo, thickness_shown_t::endo_thickness},
    {"_trab_density", thickness_results_t::trabecular, thickness_shown_t::trabecular_density},
    {"_trab_density_err", thickness_results_t::trabecular_error, thickness_shown_t::trabecular_density},
    {"_soft_density", thickness_results_t::tissue, thickness_shown_t::tissue_density}};

// The mesh with one colour a point from `which`, no_result_colour where a
// point has none. Empty when the results are not the mesh's.
surface_mesh_t coloured_surface(const surface_mesh_t& mesh, const thickness_results_t& results,
                                const coloured_result_t& which, thickness_scale_t scale);

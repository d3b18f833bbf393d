// Smoothing of a triangulated surface: the zero level of a sampled field has
// the grid's facets; smoothing takes them off without moving the surface as a
// whole. Points of kind SURF_POINT_FIXED never move.
#pragma once

#include "surfaces/surface_mesh.h"

// The draw page's "Smoothing:" choices.
enum surface_smooth_type_t { SURF_SMOOTH_STANDARD = 0, SURF_SMOOTH_PRE_4_7 = 1 };

// Normals averaged with their neighbours' over `passes` passes.
void laplacian_smooth_normals(surface_mesh_t& mesh, int passes);
// `passes` passes moving each point along its own normal by the mean normal
// offset of its edges. Points on outline planes stay put when `keep_planes`.
void standard_smooth(surface_mesh_t& mesh, int passes, bool keep_planes);
// The older smoothing: one pass moving each point halfway to the mean of its neighbours.
void old_smooth(surface_mesh_t& mesh);
// What strength s of a type does: nothing for s <= 0.
void smooth_surface(surface_mesh_t& mesh, int strength, int type, bool keep_planes);

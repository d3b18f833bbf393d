// Thickness as the distance from each point of a surface, along its normal,
// to a second ("alternate") surface: for an outer and an inner cortical
// surface made elsewhere. The nearer crossing either way along the normal
// within `reach_cm` counts; a normal that misses gives thickness_unknown.
#pragma once

#include <vector>

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_map.h"

// Distances in mm, one per point of `from`; false when cancelled.
bool distances_to_surface(const surface_mesh_t& from, const surface_mesh_t& to, double reach_cm, int threads,
                          const thickness_progress_t& progress, std::vector<double>* distances);

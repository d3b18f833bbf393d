// Thickness over a whole surface: every point's profile fitted, the work
// shared by threads. Each point's fit depends only on the point, so the
// results are the same whatever the number of threads.
#pragma once

#include <functional>

#include "surfaces/surface_mesh.h"
#include "thickness/thickness_results.h"

class slice_volume_t;

// Called on the calling thread with the points done so far; false cancels.
using thickness_progress_t = std::function<bool(std::size_t done, std::size_t points)>;

// Fills *results (left as it was when cancelled, false then) for every
// point of the mesh; `threads` of 0 uses every core.
bool map_thickness(const slice_volume_t& volume, const surface_mesh_t& mesh, const thickness_config_t& config,
                   int threads, const thickness_progress_t& progress, thickness_results_t* results);

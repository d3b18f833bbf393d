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

// Runs fit(i) for every point 0 .. points - 1, the points shared among
// `threads` threads (0: every core), this one among them and the only one to
// report progress. fit(i) must touch only point i's own results. False when
// cancelled (some points then not done).
bool for_each_point(std::size_t points, int threads, const thickness_progress_t& progress,
                    const std::function<void(std::size_t)>& fit);

// The smoothed thickness from the thickness and its error
// (RES_THICKNESS_SMOOTH passes, RES_THICKNESS_SMOOTH_FILL fill passes);
// with no passes of either it is the thickness itself.
void smooth_thickness(const surface_mesh_t& mesh, int passes, int fill_passes, thickness_results_t* results);

// Fills *results (left as it was when cancelled, false then) for every
// point of the mesh; `threads` of 0 uses every core.
// With `details`, also each point's profile and fit (for plotting or checking them). `seen` is
// called with every point's result on the thread that fitted it (so it must be thread-safe); what it
// does cannot change the results.
bool map_thickness(const slice_volume_t& volume, const surface_mesh_t& mesh, const thickness_config_t& config,
                   int threads, const thickness_progress_t& progress, thickness_results_t* results,
                   std::vector<point_fit_detail_t>* details = nullptr,
                   const std::function<void(const point_result_t&)>& seen = {});

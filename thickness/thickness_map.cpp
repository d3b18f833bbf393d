#include "thickness_map.h"

#include <algorithm>

#include "common/parallel_items.h"
#include "thickness/result_smoothing.h"
#include "volumes/slice_volume.h"

bool for_each_point(std::size_t points, int threads, const thickness_progress_t& progress,
                    const std::function<void(std::size_t)>& fit)
{
    return run_items(
        points, threads,
        [&](int, std::size_t i) {
            fit(i);
            return true;
        },
        [&](std::size_t done) { return !progress || progress(done, points); });
}

void smooth_thickness(const surface_mesh_t& mesh, int passes, int fill_passes, thickness_results_t* results)
{
    auto& values = results->values;
    values[thickness_results_t::smoothed_thick] = values[thickness_results_t::thick];
    if (passes <= 0 && fill_passes <= 0)
        return;
    std::vector<double> errors = values[thickness_results_t::thick_error];
    smooth_results(mesh, &values[thickness_results_t::smoothed_thick], &errors, passes, fill_passes);
}

bool map_thickness(const slice_volume_t& volume, const surface_mesh_t& mesh, const thickness_config_t& config,
                   int threads, const thickness_progress_t& progress, thickness_results_t* results,
                   std::vector<point_fit_detail_t>* details, const std::function<void(const point_result_t&)>& seen)
{
    thickness_results_t out;
    out.reset(mesh.points.size());
    std::vector<point_fit_detail_t> kept(details ? mesh.points.size() : 0);
    const bool finished = for_each_point(mesh.points.size(), threads, progress, [&](std::size_t i) {
        const surface_point_t& p = mesh.points[i];
        const point_result_t r = fit_at_point(volume, p.position, p.normal, config, details ? &kept[i] : nullptr);
        out.set(i, r);
        if (seen)
            seen(r);
    });
    if (!finished)
        return false;
    *results = std::move(out);
    if (details)
        *details = std::move(kept);
    return true;
}

#include "thickness_map.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "thickness/result_smoothing.h"
#include "volumes/slice_volume.h"

bool for_each_point(std::size_t points, int threads, const thickness_progress_t& progress,
                    const std::function<void(std::size_t)>& fit)
{
    std::atomic<std::size_t> next{0}, done{0};
    std::atomic<bool> stop{false};
    bool cancelled = false;
    auto report = [&] {
        if (progress && !cancelled && !progress(done, points)) {
            cancelled = true;
            stop = true;
        }
    };
    auto work = [&](bool reporting) {
        for (std::size_t i = next++; i < points && !stop; i = next++) {
            fit(i);
            ++done;
            if (reporting)
                report();
        }
    };
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int helpers = std::clamp(threads > 0 ? threads : int(cores), 1, 64) - 1;
    report();
    std::vector<std::thread> pool;
    for (int t = 0; t < helpers; ++t)
        pool.emplace_back(work, false);
    work(true);
    for (std::thread& t : pool)
        t.join();
    return !cancelled;
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
                   int threads, const thickness_progress_t& progress, thickness_results_t* results)
{
    thickness_results_t out;
    out.reset(mesh.points.size());
    const bool finished = for_each_point(mesh.points.size(), threads, progress, [&](std::size_t i) {
        const surface_point_t& p = mesh.points[i];
        out.set(i, fit_at_point(volume, p.position, p.normal, config));
    });
    if (!finished)
        return false;
    *results = std::move(out);
    return true;
}

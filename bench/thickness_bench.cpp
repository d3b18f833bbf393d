// Fitting the cortex model to one profile, ours (MINPACK lmdif, one fit,
// every parameter free) against scipy.optimize.least_squares ('lm' and
// 'trf', python3-scipy) on the same 200 noisy profiles from the same starts:
// time per fit, and the summed cost over the fits ours finds, which must not
// exceed the peer's on them. Also the
// whole fit as the program runs it (with the recentred second fit).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>

#include <wx/filefn.h>
#include <wx/filename.h>

#include "python_peer.h"
#include "thickness/profile_fit.h"
#include "thickness/thickness_map.h"
#include "thickness/cortex_volume.h"

namespace {

std::vector<profile_t> profiles()
{
    std::vector<profile_t> out;
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 30.0);
    for (int k = 0; k < 200; ++k) {
        cortex_t m;
        m.a = 0;
        m.b = 1600;
        m.c = 200;
        m.outer = 12.0 + 0.01 * k;
        m.inner = m.outer + 1.2 + 0.035 * k;  // 0.6 to 4 mm at 0.5 mm samples
        m.sigma = 1.7;
        profile_t p;
        p.values.resize(37);
        cortex_profile(m, p.values);
        for (double& v : p.values)
            v += noise(rng);
        p.valid.assign(37, 1);
        out.push_back(p);
    }
    return out;
}

void BM_CortexFitAgainstScipy(benchmark::State& state)
{
    const std::vector<profile_t> set = profiles();
    fit_setup_t single;  // the model the peer fits: one fit, both edges kept
    single.recentre = false;
    single.drop_inner = false;
    // The starts ours takes, written out for the peer, and which of ours converge: costs are compared
    // over those (ours gives up early on fits lost in the model's valleys, which give no result).
    const wxString file = wxFileName::CreateTempFileName("ks_thickness");
    {
        std::ofstream out(static_cast<const char*>(file.fn_str()));
        out.precision(17);
        for (const profile_t& p : set) {
            const fit_result_t fit = fit_profile(p, single);
            out << "use " << (fit.info >= 1 && fit.info <= 3 ? 1 : 0) << '\n';
            double outer = 0, inner = 0;
            find_edges(p, &outer, &inner);
            const double peak = *std::max_element(p.values.begin(), p.values.end());
            out << "start " << p.values.front() << ' ' << peak << ' ' << p.values.back() << ' ' << outer << ' ' << inner
                << ' ' << find_sigma(p, outer) << "\nvalues";
            for (double v : p.values)
                out << ' ' << v;
            out << '\n';
        }
    }
    const std::string command = "/usr/bin/python3 " PEER_SCRIPT " '" + file.ToStdString() + "'";
    const auto peer = run_python_peer(command);
    wxRemoveFile(file);
    const double lm_s = peer.count("lm") ? peer.at("lm").first : -1.0, lm_cost = lm_s < 0 ? 0.0 : peer.at("lm").second;
    const double trf_s = peer.count("trf") ? peer.at("trf").first : -1.0,
                 trf_cost = trf_s < 0 ? 0.0 : peer.at("trf").second;
    if (lm_s < 0 || trf_s < 0) {
        state.SkipWithError("the scipy peer did not run (python3-scipy missing?)");
        for (auto _ : state) {
        }
        return;
    }
    double ours_s = 0.0, ours_cost = 0.0;
    for (auto _ : state) {
        ours_cost = 0.0;
        const auto t0 = std::chrono::steady_clock::now();
        for (const profile_t& p : set) {
            const fit_result_t fit = fit_profile(p, single);
            if (fit.info >= 1 && fit.info <= 3)
                ours_cost += fit.cost;
        }
        ours_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    ours_s /= double(state.iterations()) * double(set.size());
    const double faster_peer = std::min(lm_s, trf_s);
    state.counters["ours_us"] = 1e6 * ours_s;
    state.counters["scipy_lm_us"] = 1e6 * lm_s;
    state.counters["scipy_trf_us"] = 1e6 * trf_s;
    state.counters["speedup_vs_faster_scipy"] = faster_peer / ours_s;
    // Against 'trf', which keeps to the same limits; 'lm' may leave them.
    state.counters["cost_rel_excess_vs_trf"] = (ours_cost - trf_cost) / trf_cost;
    state.counters["cost_rel_excess_vs_lm"] = (ours_cost - lm_cost) / lm_cost;
}
BENCHMARK(BM_CortexFitAgainstScipy)->Unit(benchmark::kMillisecond)->Iterations(5);

// The fit the program runs at every point: a first fit, then one with the weights recentred.
void BM_CortexFitAsMapped(benchmark::State& state)
{
    const std::vector<profile_t> set = profiles();
    for (auto _ : state)
        for (const profile_t& p : set)
            benchmark::DoNotOptimize(fit_profile(p, {}).cost);
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(set.size()));
}
BENCHMARK(BM_CortexFitAsMapped)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// A flat cortex 2.5 mm thick from x = 2 cm under a 2 mm blur, in a 200 x 200 x 60 volume of 0.5 mm voxels.
slice_volume_t flat_cortex()
{
    cortex_t m;
    m.a = 0;
    m.b = 1600;
    m.c = 200;
    m.outer = 40;
    m.inner = 45;
    m.sigma = 2.0 / fwhm_per_sigma / 0.5;
    return cortex_volume(200, 200, 60, 0.05, [&](long) { return m; });
}

// A 20,000-point surface mapped on two threads, as the program maps a bone: a flat cortex 2.5 mm thick
// under a 2 mm blur in a 200 x 200 x 60 volume of 0.5 mm voxels, the points on its face.
void BM_MapTwentyThousandPoints(benchmark::State& state)
{
    const slice_volume_t volume = flat_cortex();
    surface_mesh_t mesh;
    const std::uint32_t side = 142;  // 142^2 = 20,164 points
    for (std::uint32_t j = 0; j < side; ++j)
        for (std::uint32_t i = 0; i < side; ++i)
            mesh.points.push_back({{2.0, 1.0 + 8.0 * i / side, 0.5 + 2.0 * j / side}, {-1, 0, 0}});
    thickness_config_t config;
    config.gauss_mm = 2.0;
    config.b = 1600.0;
    thickness_results_t results;
    for (auto _ : state)
        benchmark::DoNotOptimize(map_thickness(volume, mesh, config, 2, {}, &results));
    state.counters["points"] = double(mesh.points.size());
}
BENCHMARK(BM_MapTwentyThousandPoints)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A picked point fitted again for its text and plot, with the widest bundle a technique sets by itself
// (HRTC's 4 pixels: 49 parallel lines): the page's answer to a click.
void BM_PickedPointRefit(benchmark::State& state)
{
    const slice_volume_t volume = flat_cortex();
    thickness_config_t config;
    config.width = 4;
    config.threshold = true;
    config.endo_model = true;
    point_fit_detail_t detail;
    for (auto _ : state)
        benchmark::DoNotOptimize(fit_at_point(volume, {2.0, 5.0, 1.5}, {-1, 0.1, 0.05}, config, &detail).thickness);
}
BENCHMARK(BM_PickedPointRefit)->Unit(benchmark::kMillisecond);

}  // namespace

// Shape-model fitting: milliseconds per registration iteration on a model of
// about 5,000 vertices against 20,000 target points (the demo model's
// instance, sampled over its whole surface with 0.1 mm noise), started from
// the landmark fit: pose and scale only, and with 10 modes. The pose-only
// iteration beside one iteration of VTK's vtkIterativeClosestPointTransform
// (similarity, every point a landmark, python3-vtk9) on the same points and
// surface, measured in the same run. Target: within three times the peer.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include <benchmark/benchmark.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "demo/shape_model_demo.h"
#include "models/fit_model.h"
#include "python_peer.h"
#include "surfaces/surface_geometry.h"

namespace {

constexpr int model_vertices = 5000, target_points = 20000, modes = 10;

struct problem_t {
    fit_model start;  // the model after the landmark fit, with its targets
    std::vector<vertex3d> targets;
};

// Points spread over the instance's surface by area, with 0.1 mm noise.
std::vector<vertex3d> sample_surface(const surface_mesh_t& mesh, int count)
{
    std::vector<double> area;
    double total = 0.0;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d& a = mesh.points[t.points[0]].position;
        total +=
            0.5 * length(cross(sub(mesh.points[t.points[1]].position, a), sub(mesh.points[t.points[2]].position, a)));
        area.push_back(total);
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.01);
    std::vector<vertex3d> points;
    for (int k = 0; k < count; ++k) {
        const std::size_t t =
            static_cast<std::size_t>(std::lower_bound(area.begin(), area.end(), unit(random) * total) - area.begin());
        const surface_triangle_t& tri = mesh.triangles[std::min(t, mesh.triangles.size() - 1)];
        double u = unit(random), v = unit(random);
        if (u + v > 1.0)
            u = 1.0 - u, v = 1.0 - v;
        const vertex3d p =
            add(add(mul(mesh.points[tri.points[0]].position, 1.0 - u - v), mul(mesh.points[tri.points[1]].position, u)),
                mul(mesh.points[tri.points[2]].position, v));
        points.push_back({p.x + noise(random), p.y + noise(random), p.z + noise(random)});
    }
    return points;
}

const problem_t& problem()
{
    static const problem_t p = [] {
        problem_t out;
        const shape_model_demo_t demo = make_shape_model_demo(model_vertices, modes);
        shape_instance_options_t how;
        how.coverage = 1.0;
        const shape_instance_t instance = make_shape_instance(demo, how);
        out.targets = sample_surface(instance.truth, target_points);
        out.start.set_model(demo.mesh, demo.model, demo.marks);
        out.start.settings.search_range = 1.0;
        out.start.set_target_points(out.targets);
        out.start.fit_to_landmarks(instance.marks);
        return out;
    }();
    return p;
}

double iterate(benchmark::State& state, int used_modes)
{
    double seconds = 0.0, rms = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        fit_model f = problem().start;
        f.settings.modes = used_modes;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        const ssm_iteration_t r = f.DoICP();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rms = r.rms_after;
        if (!r.applied)
            state.SkipWithError("the iteration changed nothing");
    }
    state.counters["vertices"] = static_cast<double>(problem().start.vertex_count());
    state.counters["points"] = static_cast<double>(problem().targets.size());
    state.counters["rms_after_mm"] = 10.0 * rms;
    return seconds / static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
}

// The points moved as our iteration starts from (the inverse of the landmark
// fit is not needed: VTK moves the points onto the surface, we move the surface).
double run_peer(int repeats)
{
    const fit_model& f = problem().start;
    const wxString file = wxFileName::CreateTempFileName("ks_icp_peer");
    {
        std::ofstream out(static_cast<const char*>(file.fn_str()));
        out.precision(9);
        out << "points " << problem().targets.size() << "\n";
        for (const vertex3d& p : problem().targets)
            out << p.x << " " << p.y << " " << p.z << "\n";
        out << "vertices " << f.warped().points.size() << "\n";
        for (const surface_point_t& p : f.warped().points)
            out << p.position.x << " " << p.position.y << " " << p.position.z << "\n";
        out << "triangles " << f.warped().triangles.size() << "\n";
        for (const surface_triangle_t& t : f.warped().triangles)
            out << t.points[0] << " " << t.points[1] << " " << t.points[2] << "\n";
    }
    const auto peer =
        run_python_peer("/usr/bin/python3 " PEER_SCRIPT " '" + file.ToStdString() + "' " + std::to_string(repeats));
    wxRemoveFile(file);
    const auto it = peer.find("icp1");
    return it == peer.end() ? -1.0 : it->second.first;
}

void BM_SimilarityIterationAgainstVtk(benchmark::State& state)
{
    const double vtk_seconds = run_peer(10);
    const double ours = iterate(state, 0);
    if (vtk_seconds <= 0.0) {
        state.SkipWithError("the VTK peer did not run (python3-vtk9 missing?)");
        return;
    }
    state.counters["ms_per_iteration"] = 1e3 * ours;
    state.counters["vtk_ms_per_iteration"] = 1e3 * vtk_seconds;
    state.counters["time_ratio_to_vtk"] = ours / vtk_seconds;
}
BENCHMARK(BM_SimilarityIterationAgainstVtk)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_IterationWithTenModes(benchmark::State& state)
{
    state.counters["ms_per_iteration"] = 1e3 * iterate(state, modes);
}
BENCHMARK(BM_IterationWithTenModes)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Error);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Surfaces from outlines. "Update all" on the demo's two objects (the
// ellipsoid and the vessel, outlined exactly on every 10th of 300 frames of
// 640x480) at Medium: time, peak memory and volume error against the ground
// truth. Then the same shapes cut on parallel planes at the outlined frames'
// mean spacing, built by ours and, in the same run, by VTK's
// vtkVoxelContoursToSurfaceFilter (python3-vtk9) on a grid of Medium's step:
// time, peak memory and volume error of both. Target: no slower than three
// times the peer (ours also takes frames in any orientation), volume error no
// larger. Peak memory is measured in a fresh child process for each.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "demo/demo_recording.h"
#include "demo/scene.h"
#include "demo/true_outlines.h"
#include "process_memory.h"
#include "surfaces/surface_interp.h"

namespace {

constexpr int medium = 4;  // grid step in pixels
std::string self_path;

struct outlined_t {
    frame_placements placements;
    std::vector<contour_object> objects;  // the ellipsoid, then the vessel
    std::vector<double> truth;            // their true volumes, ml
    double spacing = 0.0;                 // cm between outlined frames
};

frame_placement placed(const matrix16d& m)
{
    frame_placement p;
    p.image_to_world = m;
    p.usable = true;
    return p;
}

// The demo as a user opens it: its frames and its true outlines.
outlined_t demo_outlines()
{
    const demo_scene scene = make_demo_scene(300, 640, 480);
    outlined_t o;
    o.placements.sx = scene.probe.sx;
    o.placements.sy = scene.probe.sy;
    std::vector<matrix16d> planes;
    for (const sweep_pose& p : scene.trajectory) {
        planes.push_back(image_to_world(p.pose.get(), scene.probe));
        o.placements.frames.push_back(placed(planes.back()));
    }
    object_table table;
    add_true_outlines(scene.body, planes, scene.probe.sx, scene.probe.sy, demo_outline_every, table);
    o.objects = {table[0], table[1]};
    o.truth = {volume(scene.body.ellipsoids.at(0)), volume(scene.body.tubes.at(0))};
    // Mean distance between consecutive outlined frames, along the sweep.
    double along = 0.0;
    int gaps = 0;
    for (std::size_t f = demo_outline_every; f < planes.size(); f += demo_outline_every, ++gaps) {
        const matrix16d& a = planes[f - demo_outline_every];
        const matrix16d& b = planes[f];
        along += std::fabs((b[12] - a[12]) * a[8] + (b[13] - a[13]) * a[9] + (b[14] - a[14]) * a[10]);
    }
    o.spacing = along / gaps;
    return o;
}

// The same shapes cut on planes square to the sweep (x), their pixels along
// y and z at the demo's pixel size.
outlined_t parallel_outlines()
{
    const outlined_t demo = demo_outlines();
    const phantom body = demo_phantom();
    outlined_t o;
    o.placements.sx = o.placements.sy = demo.placements.sx;
    o.truth = demo.truth;
    o.spacing = demo.spacing;
    o.objects.resize(2);
    o.objects[0].name = "Ellipsoid";
    o.objects[1].name = "Vessel";
    const double half_sweep = 0.5 * demo_sweep_length_cm;
    for (int k = 0; -half_sweep + k * o.spacing <= half_sweep; ++k) {
        matrix16d m;
        m[0] = 0.0, m[1] = 1.0, m[2] = 0.0;   // pixel x along y
        m[4] = 0.0, m[5] = 0.0, m[6] = 1.0;   // pixel y along z
        m[8] = 1.0, m[9] = 0.0, m[10] = 0.0;  // normal along x
        m[12] = -half_sweep + k * o.spacing, m[13] = -3.2, m[14] = 0.0;
        o.placements.frames.push_back(placed(m));
        const double s = o.placements.sx;
        contour e = ellipse_outline(section(body.ellipsoids.at(0), m), s, s);
        if (e.points.size() >= 3)
            o.objects[0].insert(k, std::move(e));
        contour t = tube_outline(body.tubes.at(0), m, s, s);
        if (t.points.size() >= 3)
            o.objects[1].insert(k, std::move(t));
    }
    return o;
}

std::vector<double> build_all(const outlined_t& o)
{
    surface_settings_t settings;
    settings.resolution = medium;
    std::vector<double> volumes;
    for (std::size_t i = 0; i < o.objects.size(); ++i) {
        const auto s = surface_interp::build(o.objects[i], int(i), o.placements, settings);
        volumes.push_back(s ? s->volume : 0.0);
    }
    return volumes;
}

double error_pct(double got, double truth) { return 100.0 * (got - truth) / truth; }

// Run in a child: the bytes one build of every object added at its peak.
int measure_peak(const std::string& which)
{
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Error);
    const outlined_t o = which == "demo" ? demo_outlines() : parallel_outlines();
    const long before = current_rss_kb();
    build_all(o);
    std::printf("%ld\n", (peak_rss_kb() - before) * 1024);
    return 0;
}

double child_peak_mb(const char* which)
{
    FILE* child = ::popen((self_path + " --peak " + which).c_str(), "r");
    long bytes = 0;
    if (!child || std::fscanf(child, "%ld", &bytes) != 1)
        bytes = 0;
    if (child)
        ::pclose(child);
    return static_cast<double>(bytes) / 1e6;
}

struct peer_result_t {
    double seconds = 0.0, peak_mb = 0.0, volume = 0.0;
};

// The contours for the peer in its voxel units: x and y in grid steps, z the plane's number.
std::vector<peer_result_t> run_peer(const outlined_t& o, int repeats)
{
    const wxString file = wxFileName::CreateTempFileName("ks_peer");
    {
        std::ofstream out(static_cast<const char*>(file.fn_str()));
        for (const contour_object& object : o.objects) {
            out << "object " << object.name << "\nspacing " << medium * o.placements.sx << " " << o.spacing << "\n";
            for (const contour_set& set : object.sets)
                for (const contour& c : set.contours) {
                    out << "contour " << set.frame;
                    for (const vertex2d& p : c.points)
                        out << " " << p.x / medium << " " << p.y / medium;
                    out << "\n";
                }
            out << "end\n";
        }
    }
    std::vector<peer_result_t> results;
    const std::string command = "/usr/bin/python3 " PEER_SCRIPT " '" + file.ToStdString() + "' " + std::to_string(repeats);
    FILE* peer = ::popen(command.c_str(), "r");
    char name[64];
    peer_result_t r;
    long peak_kb = 0;
    while (peer && std::fscanf(peer, "%63s %lf %ld %lf", name, &r.seconds, &peak_kb, &r.volume) == 4) {
        r.peak_mb = static_cast<double>(peak_kb) * 1024.0 / 1e6;
        results.push_back(r);
    }
    if (peer)
        ::pclose(peer);
    wxRemoveFile(file);
    return results;
}

void BM_UpdateAllDemo(benchmark::State& state)
{
    const outlined_t o = demo_outlines();
    std::vector<double> volumes;
    for (auto _ : state)
        volumes = build_all(o);
    state.counters["ellipsoid_error_pct"] = error_pct(volumes[0], o.truth[0]);
    state.counters["vessel_error_pct"] = error_pct(volumes[1], o.truth[1]);
    state.counters["peak_MB"] = child_peak_mb("demo");
}
BENCHMARK(BM_UpdateAllDemo)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_ParallelPlanesAgainstVtk(benchmark::State& state)
{
    const outlined_t o = parallel_outlines();
    // Both timed over as many runs, and compared by their means.
    constexpr int runs = 20;
    const std::vector<peer_result_t> peer = run_peer(o, runs);
    if (peer.size() != o.objects.size()) {
        state.SkipWithError("the VTK peer did not run (python3-vtk9 missing?)");
        for (auto _ : state) {
        }
        return;
    }
    std::vector<double> volumes;
    double ours = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        volumes = build_all(o);
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    double peer_seconds = 0.0, peer_peak = 0.0;
    for (const peer_result_t& r : peer) {
        peer_seconds += r.seconds;
        peer_peak = std::max(peer_peak, r.peak_mb);
    }
    const double ours_seconds = ours / static_cast<double>(state.iterations());
    state.counters["time_ratio_to_vtk"] = ours_seconds / peer_seconds;
    state.counters["vtk_ms"] = 1e3 * peer_seconds;
    state.counters["ellipsoid_error_pct"] = error_pct(volumes[0], o.truth[0]);
    state.counters["vtk_ellipsoid_error_pct"] = error_pct(peer[0].volume, o.truth[0]);
    state.counters["vessel_error_pct"] = error_pct(volumes[1], o.truth[1]);
    state.counters["vtk_vessel_error_pct"] = error_pct(peer[1].volume, o.truth[1]);
    state.counters["peak_MB"] = child_peak_mb("parallel");
    state.counters["vtk_peak_MB"] = peer_peak;
    state.counters["plane_spacing_mm"] = 10.0 * o.spacing;
}
BENCHMARK(BM_ParallelPlanesAgainstVtk)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--peak")
        return measure_peak(argv[2]);
    self_path = argv[0];
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Error);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

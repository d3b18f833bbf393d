// What the script interpreter adds to the commands it runs: each command
// timed through a one-command script (parse, run, results table and log
// written) and as a direct call of the same function, side by side, in one
// run. Real commands: FILE_OPEN of the demo recording (300 frames of
// 640 x 480), SAVE_RESLICE and EXPORT_VOXELS of it; target under 1%
// overhead a command.
// For `param` and a function that does nothing, the absolute cost of a
// script line. Each also shows the run's own fixed cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include <wx/filename.h>

#include "demo/demo_recording.h"
#include "reconstruction/reslice_windows.h"
#include "reconstruction/view_script_functions.h"
#include "resources/core_session.h"
#include "resources/recording_file.h"
#include "script/script.h"
#include "surfaces/session_voxels.h"
#include "surfaces/voxel_script_functions.h"

namespace {

struct silent_sink_t : script_sink_t {
    void write(const wxString& line, script_message_kind_t kind) override
    {
        if (kind == script_message_kind_t::error)
            std::fprintf(stderr, "%s\n", line.utf8_str().data());
    }
};

// A session in a temporary folder with the demo recording written there.
struct bench_session_t {
    wxString dir;
    std::unique_ptr<core_session_t> session;
    wxString recording;
    bench_session_t()
    {
        dir = wxFileName::CreateTempFileName("ks_script_bench");
        wxRemoveFile(dir);
        wxFileName::Mkdir(dir);
        session = std::make_unique<core_session_t>(dir, "", false);
        session->finish_start_up();
        write_demo_recording(dir);
        recording = wxFileName(dir, demo_recording_name).GetFullPath();
    }
    ~bench_session_t()
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }
};

bench_session_t& environment()
{
    static bench_session_t env;
    return env;
}

double seconds(const std::function<void()>& work)
{
    const auto t0 = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// One command through a script and directly, alternating, `state.iterations()` times each (the fastest
// of each kept): once with
// the command repeated `count` times and once with it once, so that the run's own fixed cost (its
// parse, its results files, and putting the program back as it found it) stands apart from what each
// command adds. The figures are per command.
void compare(benchmark::State& state, const wxString& line, const std::function<void()>& direct, int count)
{
    bench_session_t& env = environment();
    script_function_table_t& table = script_functions();
    register_voxel_functions(table);
    table.register_function("ZOOM_3D", [](const std::vector<wxString>&) { return script_result_t{true, {}}; });
    silent_sink_t sink;
    auto text = [&](int n) {
        return wxString::Format("script_name bench\nresults_dir \"%s\"\nrepeat %d\n%s\nend\n", env.dir, n, line);
    };
    const wxString many = text(count), once = text(1);
    // The fastest of the repetitions: this machine's noise only ever adds time.
    double scripted = 1e300, plain = 1e300, scripted_once = 1e300, plain_once = 1e300;
    bool ran = true;
    auto run = [&](const wxString& t) {
        return seconds([&] {
            Script script(sink, table);
            ran = script.Run(t, wxFileName(env.dir, "bench_script.txt").GetFullPath()) && ran;
        });
    };
    for (auto _ : state) {
        scripted = std::min(scripted, run(many));
        plain = std::min(plain, seconds([&] {
                             for (int i = 0; i < count; ++i)
                                 direct();
                         }));
        scripted_once = std::min(scripted_once, run(once));
        plain_once = std::min(plain_once, seconds(direct));
    }
    if (!ran) {
        state.SkipWithError("the script failed");
        return;
    }
    // The run's fixed cost from the two lengths; what is left is each command's.
    const double per_command = ((scripted - scripted_once) - (plain - plain_once)) / (count - 1);
    const double fixed = (scripted_once - plain_once) - per_command;
    const double direct_each = plain / count;
    state.counters["direct_ms"] = 1e3 * direct_each;
    state.counters["overhead_us"] = 1e6 * per_command;
    state.counters["overhead_pct"] = 100.0 * per_command / direct_each;
    state.counters["run_fixed_ms"] = 1e3 * fixed;
}

void BM_FileOpen(benchmark::State& state)
{
    const wxString path = environment().recording;
    compare(
        state, "func FILE_OPEN \"" + path + "\"", [&] { recording_io->try_read_kestrane_file(path); }, 20);
}
BENCHMARK(BM_FileOpen)->Unit(benchmark::kMillisecond)->Iterations(7);

void BM_ExportVoxels(benchmark::State& state)
{
    bench_session_t& env = environment();
    recording_io->try_read_kestrane_file(env.recording);
    const wxString out = wxFileName(env.dir, "vox.ks").GetFullPath();
    compare(
        state, "func EXPORT_VOXELS \"" + out + "\" 2",
        [&] {
            session_voxels_t how;
            how.path = out;
            how.step = 2;
            voxel_layout_t layout;
            wxString why;
            export_session_voxels(how, &layout, &why);
        },
        2);
}
BENCHMARK(BM_ExportVoxels)->Unit(benchmark::kMillisecond)->Iterations(7);

// The main reslice placed on the data, built and saved as a picture.
void BM_SaveReslice(benchmark::State& state)
{
    bench_session_t& env = environment();
    recording_io->try_read_kestrane_file(env.recording);
    register_view_functions(script_functions(), [] { return source_from_session(); });
    const wxString out = wxFileName(env.dir, "reslice.png").GetFullPath();
    compare(
        state, "func SAVE_RESLICE \"" + out + "\"",
        [&] {
            reslice_windows_t& windows = session_reslice_windows();
            windows.ensure_placed(0);
            const reslice_source source = source_from_session();
            windows.reslices[0].set_pixel_size(source.pixel_size);
            windows.reslices[0].build_reslice(source);
            announce_reslice_built(0);
            save_reslice_image(windows.reslices[0], out);
        },
        5);
}
BENCHMARK(BM_SaveReslice)->Unit(benchmark::kMillisecond)->Iterations(7);

// The cost of a line itself: setting a value, calling a function that does nothing.
void BM_ParamLine(benchmark::State& state)
{
    compare(
        state, "param RES_XSCALE 0.02", [] { res->RES_XSCALE->write(0.02); }, 1000);
}
BENCHMARK(BM_ParamLine)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_NoOpFunction(benchmark::State& state)
{
    compare(
        state, "func ZOOM_3D 2", [] {}, 1000);
}
BENCHMARK(BM_NoOpFunction)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

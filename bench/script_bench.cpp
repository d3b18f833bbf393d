// What the script interpreter adds to the commands it runs: each command
// timed through a one-command script (parse, run, results table and log
// written) and as a direct call of the same function, side by side, in one
// run. Real commands: FILE_OPEN of the demo recording (300 frames of
// 640 x 480) and EXPORT_VOXELS of it; target under 1% overhead a command.
// For `param` and a function that does nothing, the absolute cost of a
// script line. Each also shows the run's own fixed cost.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include <wx/filename.h>

#include "demo/demo_recording.h"
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

// One command through a script and directly, alternating, `state.iterations()` times each: once with
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
    double scripted = 0.0, plain = 0.0, scripted_once = 0.0, plain_once = 0.0;
    bool ran = true;
    auto run = [&](const wxString& t) {
        return seconds([&] {
            Script script(sink, table);
            ran = script.Run(t, wxFileName(env.dir, "bench_script.txt").GetFullPath()) && ran;
        });
    };
    for (auto _ : state) {
        scripted += run(many);
        plain += seconds([&] {
            for (int i = 0; i < count; ++i)
                direct();
        });
        scripted_once += run(once);
        plain_once += seconds(direct);
    }
    if (!ran) {
        state.SkipWithError("the script failed");
        return;
    }
    const double iterations = double(state.iterations());
    // The run's fixed cost from the two lengths; what is left is each command's.
    const double per_command = ((scripted - scripted_once) - (plain - plain_once)) / iterations / (count - 1);
    const double fixed = (scripted_once - plain_once) / iterations - per_command;
    const double direct_each = plain / iterations / count;
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
BENCHMARK(BM_FileOpen)->Unit(benchmark::kMillisecond)->Iterations(3);

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
BENCHMARK(BM_ExportVoxels)->Unit(benchmark::kMillisecond)->Iterations(3);

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

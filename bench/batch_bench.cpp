// A cohort script run serially by kestrane-tool run against the same run
// split one recording a task by scripts/batch/parallel.sh with -j 2, in one
// run on this machine: 100 small demo recordings, each with its surfaces
// built and saved (work enough a file to outweigh a process start). Target:
// the parallel path at least 1.8 times as fast on 2 cores; and the two
// tables alike. Beside it, the same cohort with the surfaces built and
// measured but not saved: saving writes 5.5 MB a recording through the safe
// writer (synced to disk), and the disk is one for both processes, so the
// second case shows what the parallel path gives when only computing is shared out.
// Each case also times two plain runs of half the cohort each, side by side:
// the most any split of this cohort can give on this machine.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <wx/filefn.h>
#include <wx/filename.h>

namespace {

constexpr int recordings = 100;

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The cohort: recording k as rKKK.ks with its own image data file.
bool make_cohort(const std::string& dir)
{
    const std::string demo = dir + "/demo";
    if (std::system(
            (std::string(KS_TOOL) + " make-demo '" + demo + "' --frames 60 --size 320x240 > /dev/null").c_str()))
        return false;
    const std::string text = read_text(demo + "/kestrane_demo.ks");
    const std::string image = read_text(demo + "/kestrane_demo.kvi");
    wxFileName::Mkdir(dir + "/cohort");
    for (int k = 0; k < recordings; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "r%03d", k);
        std::string ks = text;
        const std::string from = "RES_BIN_IM_FILENAME kestrane_demo.kvi";
        const auto at = ks.find(from);
        if (at == std::string::npos)
            return false;
        ks.replace(at, from.size(), std::string("RES_BIN_IM_FILENAME ") + name + ".kvi");
        std::ofstream(dir + "/cohort/" + name + ".ks", std::ios::binary) << ks;
        std::ofstream(dir + "/cohort/" + name + ".kvi", std::ios::binary) << image;
    }
    std::ofstream(dir + "/run.txt") << "script_name cohort\nwrite_header RES_BUF_FRAMES\nopen cohort\n"
                                       "func SURFACE_RESOLUTION 6\nfunc SURFACE_ALL\nloop *\n"
                                       "func SAVE_CURRENT_SURFACE\nwrite saved\nend\n";
    std::ofstream(dir + "/measure.txt") << "script_name cohort\nwrite_header RES_BUF_FRAMES\nopen cohort\n"
                                           "func SURFACE_RESOLUTION 6\nfunc SURFACE_ALL\nloop *\nwrite built\nend\n";
    return true;
}

double seconds_of(const std::string& command)
{
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1.0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void cohort_serial_against_parallel(benchmark::State& state, const std::string& script)
{
    wxString base = wxFileName::CreateTempFileName("ks_batch_bench");
    wxRemoveFile(base);
    wxFileName::Mkdir(base);
    const std::string dir = base.ToStdString();
    if (!make_cohort(dir)) {
        state.SkipWithError("the cohort could not be made");
        for (auto _ : state) {
        }
        return;
    }
    const std::string table = dir + "/cohort/cohort.txt";
    // The machine's own limit for this cohort: two plain runs of half the
    // cohort each, started together, with nothing to hand out or merge.
    const std::string half = std::string(KS_TOOL) + " run '" + dir + "/" + script + "' --files ";
    wxFileName::Mkdir(dir + "/half1");
    wxFileName::Mkdir(dir + "/half2");
    const std::string halves = "sh -c \"" + half + std::to_string(recordings / 2 + 1) + "-" +
                               std::to_string(recordings) + " --results '" + dir + "/half2' > /dev/null 2>&1 & " +
                               half + "1-" + std::to_string(recordings / 2) + " --results '" + dir +
                               "/half1' > /dev/null 2>&1; s=$?; wait $! && exit $s\"";
    double serial = 0.0, split = 0.0, ceiling = 0.0;
    bool alike = true;
    for (auto _ : state) {
        const double s =
            seconds_of(std::string(KS_TOOL) + " run '" + dir + "/" + script + "' > '" + dir + "/serial.out' 2>&1");
        const std::string serial_table = read_text(table);
        const double p =
            seconds_of(std::string("KESTRANE_TOOL=") + KS_TOOL + " bash " + KS_BATCH + "/parallel.sh '" + dir + "/" +
                       script + "' '" + dir + "/cohort' -j 2 > '" + dir + "/parallel.out' 2>&1");
        const double h = seconds_of(halves);
        if (s < 0.0 || p < 0.0 || h < 0.0) {
            // What the failed run said, before its folder goes.
            if (s < 0.0 || p < 0.0)
                std::fprintf(stderr, "%s\n", read_text(dir + (s < 0.0 ? "/serial.out" : "/parallel.out")).c_str());
            state.SkipWithError(s < 0.0   ? "the serial run failed"
                                : p < 0.0 ? "the parallel run failed"
                                          : "the run of two halves failed");
            break;
        }
        alike = alike && read_text(table) == serial_table;
        serial += s;
        split += p;
        ceiling += h;
    }
    wxFileName::Rmdir(base, wxPATH_RMDIR_RECURSIVE);
    const double n = double(state.iterations());
    state.counters["serial_s"] = serial / n;
    state.counters["parallel_s"] = split / n;
    state.counters["speedup"] = serial / split;
    state.counters["halves_s"] = ceiling / n;
    state.counters["halves_speedup"] = serial / ceiling;
    state.counters["tables_alike"] = alike ? 1.0 : 0.0;
}
void BM_CohortSerialAgainstParallel(benchmark::State& state)
{
    cohort_serial_against_parallel(state, "run.txt");
}

void BM_CohortMeasuredNotSaved(benchmark::State& state)
{
    cohort_serial_against_parallel(state, "measure.txt");
}

// Three rounds, serial and parallel in turn: this shared machine varies by a tenth from one run to the next.
BENCHMARK(BM_CohortSerialAgainstParallel)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CohortMeasuredNotSaved)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace

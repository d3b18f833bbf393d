// Converting and zooming a 1024 x 768 coded frame to RGB, against a plain
// memcpy of the same output bytes in the same run (target: fast_map_to_rgb
// within 3x of memcpy). The ratios are printed after the table.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/init.h>
#include <wx/log.h>

#include "display/cmap_fill.h"
#include "display/resample.h"
#include "display/rgb_convert.h"

namespace {

constexpr int frame_w = 1024, frame_h = 768;
constexpr std::size_t rgb_bytes = static_cast<std::size_t>(frame_w) * frame_h * 3;

// A frame with structure in every code range, like a Doppler B-scan.
std::vector<std::uint8_t> make_frame(int w, int h)
{
    std::vector<std::uint8_t> f(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    std::uint32_t seed = 12345;
    for (std::size_t i = 0; i < f.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        f[i] = static_cast<std::uint8_t>(((i % static_cast<std::size_t>(w)) / 4 + (seed >> 27)) & 0xFF);
    }
    return f;
}

byte_cmap_t doppler_bytes()
{
    float_cmap_t f;
    fill_doppler_cmap(f);
    return make_byte_cmap(f);
}

void set_bytes(benchmark::State& state)
{
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(rgb_bytes));
}

void BM_Memcpy(benchmark::State& state)
{
    const std::vector<std::uint8_t> src(rgb_bytes, 7);
    std::vector<std::uint8_t> dst(rgb_bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), rgb_bytes);
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);

void BM_FastMapToRgb(benchmark::State& state)
{
    const byte_cmap_t maps = doppler_bytes();
    const std::vector<std::uint8_t> src = make_frame(frame_w, frame_h);
    std::vector<std::uint8_t> dst(rgb_bytes);
    const bool grey_only = state.range(0) != 0;
    for (auto _ : state) {
        fast_map_to_rgb(maps, src.data(), frame_w, frame_h, dst.data(), frame_w, frame_h, 0, 0, grey_only);
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}
BENCHMARK(BM_FastMapToRgb)->ArgName("grey_only")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Zoom 1 (linear), 1.5 (linear, Doppler and strain codes), 2.5 and 4 (cubic);
// the source is sized so the output always covers the 1024 x 768 frame.
void interp_case(benchmark::State& state, double zoom, bool doppler, bool strain)
{
    const byte_cmap_t maps = doppler_bytes();
    resample_setup_t setup;
    setup.maps = &maps;
    setup.doppler = doppler;
    setup.strain = strain;
    const int sw = static_cast<int>(frame_w / zoom) + 2, sh = static_cast<int>(frame_h / zoom) + 2;
    const std::vector<std::uint8_t> src = make_frame(sw, sh);
    std::vector<std::uint8_t> dst(rgb_bytes);
    for (auto _ : state) {
        interp_to_rgb(setup, src.data(), sw, sh, dst.data(), frame_w, frame_h, 0.25, 0.25, zoom, zoom, false, false);
        benchmark::ClobberMemory();
    }
    set_bytes(state);
}

void BM_InterpGreyZoom1(benchmark::State& s) { interp_case(s, 1.0, false, false); }
void BM_InterpDopplerZoom1_5(benchmark::State& s) { interp_case(s, 1.5, true, false); }
void BM_InterpStrainZoom1_5(benchmark::State& s) { interp_case(s, 1.5, false, true); }
void BM_InterpCubicZoom2_5(benchmark::State& s) { interp_case(s, 2.5, false, false); }
void BM_InterpCubicZoom4(benchmark::State& s) { interp_case(s, 4.0, false, false); }
BENCHMARK(BM_InterpGreyZoom1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterpDopplerZoom1_5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterpStrainZoom1_5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterpCubicZoom2_5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InterpCubicZoom4)->Unit(benchmark::kMicrosecond);

// Prints the usual table and remembers each benchmark's time per iteration.
class ratio_reporter_t : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times_[r.benchmark_name()] = r.real_accumulated_time / static_cast<double>(r.iterations);
    }
    void print_ratios() const
    {
        const auto base = times_.find("BM_Memcpy");
        if (base == times_.end() || base->second <= 0.0)
            return;
        std::printf("\nTime per frame as a multiple of memcpy of the %zu output bytes (%.1f us):\n", rgb_bytes,
                    base->second * 1e6);
        for (const auto& [name, t] : times_)
            if (name != "BM_Memcpy")
                std::printf("  %-36s %6.2fx\n", name.c_str(), t / base->second);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv)
{
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Warning);
    benchmark::Initialize(&argc, argv);
    ratio_reporter_t reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.print_ratios();
    benchmark::Shutdown();
    return 0;
}

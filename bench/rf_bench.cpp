// Filtering RF frames for display: filter_rf (envelope, 32 taps, persistence
// 1) over 200 frames of 128 vectors of 1024 samples, against a plain pass
// that reads the same samples and writes one byte each into the same image
// layout, in the same run (target: within 300x of the plain pass).
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/log.h>

#include "acquisition/rf_utility.h"

namespace {

constexpr long frames = 200, vectors = 128, samples = 1024, taps = 32;
constexpr std::size_t frame_samples = static_cast<std::size_t>(vectors * samples);

struct data_t {
    std::vector<std::int16_t> rf;  // all frames, one after the other
    std::vector<std::uint8_t> image;
    std::vector<std::int32_t> real, imag;
    data_t() : rf(frame_samples * frames), image(frame_samples)
    {
        std::uint32_t seed = 99;
        for (auto& x : rf) {
            seed = seed * 1664525u + 1013904223u;
            x = static_cast<std::int16_t>(seed >> 16);
        }
        for (long k = 0; k < taps; ++k) {
            const double t = static_cast<double>(k - taps / 2), w = std::exp(-t * t / 32.0) * 65536.0;
            real.push_back(static_cast<std::int32_t>(w * std::cos(0.2 * M_PI * t)));
            imag.push_back(static_cast<std::int32_t>(w * std::sin(0.2 * M_PI * t)));
        }
    }
};

double filter_seconds(data_t& d, rf_utility::persistence_t& store)
{
    const rf_utility::taps_t t{d.real.data(), d.imag.data(), taps, taps / 2};
    const rf_utility::display_settings_t s;  // envelope, 60 dB from 20 dB, gamma 1, persistence 1
    const auto start = std::chrono::steady_clock::now();
    for (long f = 0; f < frames; ++f)
        if (!rf_utility::filter_rf({d.rf.data() + frame_samples * static_cast<std::size_t>(f), vectors, samples},
                                   {0, 0, vectors, samples}, t, s, &store, f, d.image.data()))
            std::abort();
    benchmark::DoNotOptimize(d.image.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double plain_seconds(data_t& d)
{
    const auto start = std::chrono::steady_clock::now();
    for (long f = 0; f < frames; ++f) {
        const std::int16_t* in = d.rf.data() + frame_samples * static_cast<std::size_t>(f);
        for (long v = 0; v < vectors; ++v)
            for (long j = 0; j < samples; ++j)
                d.image[static_cast<std::size_t>(j * vectors + v)] = static_cast<std::uint8_t>(in[v * samples + j] >> 8);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(d.image.data());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_FilterRfEnvelope(benchmark::State& state)
{
    data_t d;
    rf_utility::persistence_t store;
    double ours = 0, plain = 0;
    for (auto _ : state) {
        ours += filter_seconds(d, store);
        plain += plain_seconds(d);
    }
    state.counters["ratio_to_plain_pass"] = ours / plain;
    state.counters["ns_per_sample"] = ours * 1e9 / static_cast<double>(frame_samples * frames * state.iterations());
    state.counters["plain_ns_per_sample"] =
        plain * 1e9 / static_cast<double>(frame_samples * frames * state.iterations());
}
BENCHMARK(BM_FilterRfEnvelope)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

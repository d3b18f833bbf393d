// Image-based correction: correlating a 640 x 480 frame with its predecessor
// (20 lateral bands, the axial search and its two halves, each searched
// outwards from 0), beside a plain pass over exactly the same pixel pairs
// summing squared differences. Target: within 2x of the plain pass and
// under 40 ms a frame (25 frames a second) on one core.
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "correction/image_correlation.h"
#include "demo/correction_demo.h"
#include "demo/demo_recording.h"
#include "resources/core_session.h"
#include "resources/resource_table.h"

namespace {

constexpr long width = 640, height = 480;

// Two consecutive frames of the correction demo in a session of their own.
struct pair_fixture {
    wxString dir;
    std::unique_ptr<core_session_t> session;
    cip_t a, b;

    pair_fixture()
    {
        dir = wxFileName::CreateTempFileName("ks_bench");
        wxRemoveFile(dir);
        wxFileName::Mkdir(dir);
        session = std::make_unique<core_session_t>(dir, "", false);
        session->finish_start_up();
        correction_demo_options o;
        o.width = width;
        o.height = height;
        const correction_demo demo = make_correction_demo(o);
        a = render_correction_frame(demo, 150);
        b = render_correction_frame(demo, 151);
        res->RES_BUF_WIDTH->write(width);
        res->RES_BUF_HEIGHT->write(height);
        res->RES_POS_REC->write(true);
        use_demo_probe(demo.scene.probe);
        bufp->append(a, demo.frames[150].recorded_pose, 0);
        bufp->append(b, demo.frames[151].recorded_pose, 1);
    }
    ~pair_fixture()
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }
};

pair_fixture& pair()
{
    static pair_fixture f;
    return f;
}

void BM_CorrelateFrame(benchmark::State& state)
{
    pair_fixture& f = pair();
    for (auto _ : state) {
        image_correlation run(false, false, 2);
        run.add(0);
        benchmark::DoNotOptimize(run.add(1));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CorrelateFrame)->Unit(benchmark::kMillisecond);

// The pixel pairs the correlation visits: for each searched shift, each
// row's run of columns (reference offset, current offset, length).
struct run_t {
    long ref, cur, n;
};

std::vector<run_t> visited_pairs(const std::uint8_t* ref, const std::uint8_t* cur)
{
    std::vector<run_t> runs;
    double s[correlation_shifts];
    const long band = height / correlation_bands;
    for (int k = 0; k < correlation_bands; ++k) {
        lateral_scores(ref, cur, width, k * band, (k + 1) * band, false, s);
        for (int i = 0; i < correlation_shifts; ++i)
            if (s[i] != no_score)
                for (long y = k * band; y < (k + 1) * band; ++y)
                    runs.push_back({y * width + correlation_reach,
                                    y * width + correlation_reach + (i - correlation_reach),
                                    width - 2 * correlation_reach - 1});
    }
    for (const auto [c0, c1] : {std::pair{0L, width}, std::pair{0L, width / 2}, std::pair{width / 2, width}}) {
        axial_scores(ref, cur, width, c0, c1, correlation_reach, height - correlation_reach - 1, false, s);
        for (int i = 0; i < correlation_shifts; ++i)
            if (s[i] != no_score)
                for (long y = correlation_reach; y < height - correlation_reach - 1; ++y)
                    runs.push_back({y * width + c0, (y + i - correlation_reach) * width + c0, c1 - c0});
    }
    return runs;
}

void BM_PlainSquaredDifferences(benchmark::State& state)
{
    pair_fixture& f = pair();
    const std::uint8_t *ref = f.a.pixels(), *cur = f.b.pixels();
    const std::vector<run_t> runs = visited_pairs(ref, cur);
    std::uint64_t pairs = 0;
    for (const run_t& r : runs)
        pairs += static_cast<std::uint64_t>(r.n);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (const run_t& r : runs)
            for (long x = 0; x < r.n; ++x) {
                const int d = ref[r.ref + x] - cur[r.cur + x];
                sum += static_cast<std::uint64_t>(d * d);
            }
        benchmark::DoNotOptimize(sum);
    }
    state.counters["pairs"] = static_cast<double>(pairs);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainSquaredDifferences)->Unit(benchmark::kMillisecond);

}  // namespace

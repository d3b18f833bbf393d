// Threshold segmentation on demo B-scans of 640x480 with the demo phantom:
// one click (connected on and off, J = 10; target within one 60 Hz frame,
// 16.7 ms, on one core), and a 3D run through 300 frames against a plain
// pass over the same pixels (a colour-map lookup and a count per pixel;
// target within 8x). The window selects the dark vessel's lumen, as a user
// segmenting it would set it.
//
// The demo renders speckle independently per pixel; a scanner's speckle
// grain spans its resolution cell, about 0.5 mm or five pixels here, so the
// frames are box-filtered over 5x5 ("grain" 5). With raw speckle ("grain" 1)
// about a tenth of the background falls in the window and J = 10 bridges
// it all: the whole frame burns, the worst case, also shown.
#include <chrono>

#include <benchmark/benchmark.h>

#include "demo/bscan.h"
#include "demo/phantom.h"
#include "demo/sweep.h"
#include "segmentation/grassfire.h"

namespace {

constexpr long width = 640, height = 480, stack_frames = 300, jump = 10;
constexpr long window_lo = 0, window_hi = 14;

// A box filter over grain x grain pixels: speckle of a scanner's grain size.
cip_t grained(const cip_t& in, long grain)
{
    if (grain <= 1)
        return in;
    cip_t out = cip_t::make_8bit(width, height);
    std::vector<int> rows(static_cast<std::size_t>(width * height));
    const long r = grain / 2;
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) {
            int sum = 0, n = 0;
            for (long k = std::max(0L, x - r); k <= std::min(width - 1, x + r); ++k, ++n)
                sum += in.pixels()[y * width + k];
            rows[static_cast<std::size_t>(y * width + x)] = sum / n;
        }
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x) {
            int sum = 0, n = 0;
            for (long k = std::max(0L, y - r); k <= std::min(height - 1, y + r); ++k, ++n)
                sum += rows[static_cast<std::size_t>(k * width + x)];
            out.pixels()[y * width + x] = static_cast<std::uint8_t>(sum / n);
        }
    return out;
}

struct bscans {
    std::vector<cip_t> frames;
    std::vector<image_view> views;
    long seed_x = 0, seed_y = 0;  // in the vessel on the middle frame
};

bscans render(long grain)
{
    bscans s;
    const probe_setup probe = demo_probe(width, height);
    const phantom body = demo_phantom();
    const std::vector<sweep_pose> poses = demo_sweep(static_cast<int>(stack_frames), probe);
    for (long i = 0; i < stack_frames; ++i)
        s.frames.push_back(grained(
            render_bscan(body, poses[static_cast<std::size_t>(i)].pose.get(), probe, static_cast<std::uint64_t>(i + 1)),
            grain));
    for (const cip_t& f : s.frames)
        s.views.emplace_back(f);
    // The seed: the middle of the vessel's cross-section on the middle frame.
    const long mid = stack_frames / 2;
    const cip_t labels = render_labels(body, poses[static_cast<std::size_t>(mid)].pose.get(), probe);
    const std::uint8_t vessel = tube_label(body, 0);
    double sx = 0, sy = 0, n = 0;
    for (long y = 0; y < height; ++y)
        for (long x = 0; x < width; ++x)
            if (labels.pixels()[y * width + x] == vessel) {
                sx += x;
                sy += y;
                ++n;
            }
    s.seed_x = n > 0 ? static_cast<long>(sx / n) : 0;
    s.seed_y = n > 0 ? static_cast<long>(sy / n) : 0;
    return s;
}

const bscans& sweep(long grain)
{
    static const bscans raw = render(1), fine = render(5);
    return grain <= 1 ? raw : fine;
}

grassfire_classes window_classes()
{
    float_cmap_t map;
    fill_grey_binary_cmap(map, window_lo, window_hi, 0);
    return classes_from_colour_map(map);
}

grassfire_settings settings(bool connected)
{
    grassfire_settings s;
    s.connected = connected;
    s.window.lo = window_lo;
    s.window.hi = window_hi;
    return s;
}

// The peer: look every pixel up in the colour map's classes and count the selected.
std::uint64_t plain_pass(const std::vector<image_view>& frames, const grassfire_classes& classes)
{
    std::uint64_t n = 0;
    for (const image_view& f : frames) {
        const std::size_t count = static_cast<std::size_t>(f.width * f.height);
        for (std::size_t i = 0; i < count; ++i)
            n += classes.bits[f.pixels[i]] & grassfire_classes::selected;
    }
    return n / grassfire_classes::selected;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double enclosed(const contour_set& s)
{
    double a = 0.0;
    for (const contour& c : s.contours)
        for (std::size_t i = 0, n = c.points.size(); i < n; ++i) {
            const vertex2d& p = c.points[i];
            const vertex2d& q = c.points[(i + 1) % n];
            a += (p.x * q.y - q.x * p.y) / 2.0;
        }
    return std::abs(a);
}

void BM_SegmentClick(benchmark::State& state)
{
    const bool connected = state.range(0) != 0;
    const bscans& b = sweep(state.range(1));
    const grassfire_classes classes = window_classes();
    const image_view frame = b.views[stack_frames / 2];
    const std::vector<image_view> one{frame};
    double ours = 0, plain = 0;
    contour_set last;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        last = grassfire::segment(frame, b.seed_x, b.seed_y, jump, settings(connected), classes);
        ours += seconds_since(start);
        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(plain_pass(one, classes));
        plain += seconds_since(start);
    }
    state.counters["ms_per_click"] = 1000.0 * ours / static_cast<double>(state.iterations());
    state.counters["outlines"] = static_cast<double>(last.contours.size());
    state.counters["enclosed_pixels"] = enclosed(last);
    state.counters["selected_pixels"] = static_cast<double>(plain_pass(one, classes));
    state.counters["ratio_to_plain_pass"] = ours / plain;
}
BENCHMARK(BM_SegmentClick)
    ->ArgsProduct({{1, 0}, {5, 1}})
    ->ArgNames({"connected", "grain"})
    ->Unit(benchmark::kMillisecond);

void BM_Segment3(benchmark::State& state)
{
    const bool connected = state.range(0) != 0;
    const bscans& b = sweep(state.range(1));
    const grassfire_classes classes = window_classes();
    double ours = 0, plain = 0;
    double area = 0.0;
    long frames_with_outlines = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const auto sets =
            grassfire::segment3(b.views, b.seed_x, b.seed_y, stack_frames / 2, jump, settings(connected), classes);
        ours += seconds_since(start);
        if (!sets) {
            state.SkipWithError("cancelled");
            return;
        }
        area = 0.0;
        frames_with_outlines = 0;
        for (const contour_set& s : *sets) {
            area += enclosed(s);
            frames_with_outlines += !s.contours.empty();
        }
        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(plain_pass(b.views, classes));
        plain += seconds_since(start);
    }
    state.counters["frames_with_outlines"] = static_cast<double>(frames_with_outlines);
    state.counters["enclosed_pixels"] = area;
    state.counters["plain_pass_ms"] = 1000.0 * plain / static_cast<double>(state.iterations());
    state.counters["ratio_to_plain_pass"] = ours / plain;
}
BENCHMARK(BM_Segment3)
    ->ArgsProduct({{1, 0}, {5, 1}})
    ->ArgNames({"connected", "grain"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

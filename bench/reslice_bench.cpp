// Reslicing a 1,000-frame sweep of 640x480 into a 512x512 image, nearest and
// linear, against a plain pass that reads once every frame byte the reslice
// samples (the memory-bound limit); and a whole voxel export of the sweep
// against reading every frame byte and writing the volume's bytes plainly
// (target: within 4x).
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "reconstruction/reslice_internals.h"
#include "reconstruction/slab_section.h"
#include "reconstruction/voxel_export.h"

namespace {

constexpr long frames = 1000, width = 640, height = 480;
constexpr double sx = 0.01;           // cm per frame pixel
constexpr double frame_step = 0.01;   // cm between frames
constexpr long reslice_side = 512;

// Frames marching along z with a slow rocking roll, built in memory.
const reslice_source& sweep()
{
    static const reslice_source source = [] {
        reslice_source s;
        s.sx = s.sy = sx;
        s.pixel_size = 0.02;  // 512 pixels cover the 10 cm sweep
        s.frames.reserve(frames);
        for (long i = 0; i < frames; ++i) {
            reslice_frame f;
            f.image = cip_t::make_8bit(width, height);
            std::uint8_t* p = f.image.pixels();
            for (long v = 0; v < height; ++v)
                for (long u = 0; u < width; ++u)
                    p[v * width + u] = static_cast<std::uint8_t>(((u >> 3) + (v >> 2) + i) | 1);
            f.image_to_world.forward(0.0, 0.0, frame_step * i, 0.0, 0.0, 2.0 * std::sin(0.05 * i));
            s.frames.push_back(std::move(f));
        }
        return s;
    }();
    return source;
}

// An oblique cut across every frame.
reslice_settings cut(bool linear)
{
    reslice_settings s;
    s.normal = {1.0, 0.0, 0.2};
    s.centre = {3.2, 2.4, 5.0};
    s.up = s.centre + vertex3d{0.0, 1.0, 0.0};
    s.width = s.height = reslice_side;
    s.linear = linear;
    s.bscan_half_thickness = frame_step;  // each pixel sees a frame on either side
    return s;
}

struct byte_run {
    const std::uint8_t* start;
    std::uint32_t length;
};

// The frame bytes the reslice samples (the 2x2 neighbourhood of every sample
// inside a slab), found with the reslice's own geometry, as contiguous runs.
std::vector<byte_run> touched_runs(const reslice_source& src, const reslice_settings& settings, std::size_t* bytes)
{
    const reslice_plane plane(settings, src.pixel_size);
    std::vector<std::uint8_t> mark(static_cast<std::size_t>(width * height));
    std::vector<byte_run> runs;
    *bytes = 0;
    for (const reslice_frame& f : src.frames) {
        const auto polygon = slab_section(plane, 0.0, f.image_to_world, frame_grid{width, height, sx, sx},
                                          settings.bscan_half_thickness);
        if (polygon.empty())
            continue;
        matrix16d to_image = f.image_to_world;
        to_image.invert();
        std::fill(mark.begin(), mark.end(), std::uint8_t{0});
        for (const reslice_span& span : row_spans(polygon, plane.width(), plane.height()))
            for (long x = span.first; x <= span.last; ++x) {
                const vertex3d q = to_image * plane.reslice_to_world(double(x), double(span.row), 0.0);
                if (std::fabs(q.z) > settings.bscan_half_thickness + 1e-6)
                    continue;
                const long u = std::clamp(long(std::floor(q.x / sx)), 0L, width - 1);
                const long v = std::clamp(long(std::floor(q.y / sx)), 0L, height - 1);
                for (long dv = 0; dv < 2; ++dv)
                    for (long du = 0; du < 2; ++du)
                        mark[std::min(v + dv, height - 1) * width + std::min(u + du, width - 1)] = 1;
            }
        for (std::size_t i = 0; i < mark.size();) {
            if (!mark[i]) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < mark.size() && mark[j])
                ++j;
            runs.push_back({f.image.pixels() + i, static_cast<std::uint32_t>(j - i)});
            *bytes += j - i;
            i = j;
        }
    }
    return runs;
}

std::uint64_t read_runs(const std::vector<byte_run>& runs)
{
    std::uint64_t sum = 0;
    for (const byte_run& r : runs)
        for (std::uint32_t k = 0; k < r.length; ++k)
            sum += r.start[k];
    return sum;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_Reslice(benchmark::State& state)
{
    const bool linear = state.range(0) != 0;
    const reslice_source& src = sweep();
    std::size_t touched = 0;
    const std::vector<byte_run> runs = touched_runs(src, cut(linear), &touched);
    reslice_internals r;
    r.set_settings(cut(linear));
    double ours = 0, plain = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        r.set_settings(cut(linear));
        r.build_reslice(src);
        ours += seconds_since(start);
        start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(read_runs(runs));
        plain += seconds_since(start);
    }
    long covered = 0;
    for (std::uint8_t v : r.image())
        covered += v != 0;
    state.counters["reslice_Mpixels_per_s"] = double(reslice_side * reslice_side) * state.iterations() / ours / 1e6;
    state.counters["covered_pixels"] = double(covered);
    state.counters["touched_frame_bytes"] = double(touched);
    state.counters["ratio_to_memory_bound"] = ours / plain;
}
BENCHMARK(BM_Reslice)->Arg(0)->Arg(1)->ArgNames({"linear"})->Unit(benchmark::kMillisecond)->Iterations(20);

// The least data movement of an export: every frame byte read once, the
// volume written once and flushed to disk.
double plain_export_seconds(const reslice_source& src, const std::string& file, std::size_t volume_bytes,
                            std::size_t slice_bytes)
{
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t sum = 0;
    for (const reslice_frame& f : src.frames)
        for (std::size_t k = 0; k < f.image.pixel_count(); ++k)
            sum += f.image.pixels()[k];
    benchmark::DoNotOptimize(sum);
    const std::vector<std::uint8_t> slice(slice_bytes, static_cast<std::uint8_t>(sum));
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (std::size_t done = 0; done < volume_bytes; done += slice_bytes)
        if (::write(fd, slice.data(), slice_bytes) != static_cast<ssize_t>(slice_bytes))
            std::abort();
    ::fsync(fd);
    ::close(fd);
    return seconds_since(start);
}

void BM_VoxelExport(benchmark::State& state)
{
    const reslice_source& src = sweep();
    wxString dir = wxFileName::CreateTempFileName("ks_bench");
    wxRemoveFile(dir);
    wxFileName::Mkdir(dir);
    reslice_internals r;
    reslice_settings s = cut(true);
    r.set_settings(s);
    r.set_reslice_for_min_voxels(src);
    voxel_export_request request;
    request.settings = r.settings();
    request.spacing = src.pixel_size;  // one pixel width
    request.path = dir + "/volume.ks";
    const voxel_layout_t layout = plan_voxel_export(src, request);
    const std::size_t slice_bytes = std::size_t(layout.width) * std::size_t(layout.height);
    double ours = 0, plain = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!export_voxels(src, voxel_header_t{}, request))
            state.SkipWithError("export failed");
        ours += seconds_since(start);
        plain += plain_export_seconds(src, (dir + "/plain.raw").ToStdString(), slice_bytes * layout.slices,
                                      slice_bytes);
    }
    state.counters["slices"] = double(layout.slices);
    state.counters["slice_pixels"] = double(slice_bytes);
    state.counters["voxels_per_s"] = double(slice_bytes * layout.slices) * state.iterations() / ours;
    state.counters["ratio_to_memory_bound"] = ours / plain;
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}
BENCHMARK(BM_VoxelExport)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

// The demo sweep's voxel volume (300 frames of 640 x 480, exported at a step
// of 2 pixel widths) as a raw NRRD file, against writing the same bytes to a
// file with plain write calls, both flushed to disk and renamed into place:
// the NRRD writer alone (target: within 1.1x), and the whole export, reslices
// included, beside the same plain write and beside a .ks export.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/filename.h>

#include "demo/scene.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/voxel_export.h"
#include "reconstruction/voxel_volume_file.h"

namespace {

constexpr int demo_step = 2;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const reslice_source& demo_source()
{
    static const reslice_source source = [] {
        const demo_scene scene = make_demo_scene();
        reslice_source s;
        s.sx = scene.probe.sx;
        s.sy = scene.probe.sy;
        s.pixel_size = scene.probe.sx;
        const matrix16d calibration = scene.probe.calibration_matrix();
        for (std::size_t i = 0; i < scene.trajectory.size(); ++i)
            add_frame(&s, render_bscan(scene, i), scene.trajectory[i].pose, calibration);
        return s;
    }();
    return source;
}

struct demo_export_t {
    voxel_export_request request;
    voxel_layout_t layout;
    reslice_plane plane;
};

demo_export_t demo_export(const wxString& path)
{
    const reslice_source& src = demo_source();
    reslice_internals r;
    r.set_pixel_size(src.pixel_size);
    r.set_reslice_for_min_voxels(src);
    demo_export_t e;
    e.request.settings = r.settings();
    e.request.step = demo_step;
    e.request.spacing = demo_step * src.pixel_size;
    e.request.path = path;
    e.request.type = voxel_output_t::nrrd;
    e.layout = plan_voxel_export(src, e.request);
    e.plane = reslice_plane(e.request.settings, src.pixel_size);
    return e;
}

// The same bytes as plain write calls, flushed and renamed as the safe file does.
double plain_write_seconds(const std::string& target, const std::vector<std::uint8_t>& header,
                           const std::vector<std::uint8_t>& voxels, std::size_t slice_bytes)
{
    const auto start = std::chrono::steady_clock::now();
    const std::string temp = target + ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool ok = fd >= 0 && ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size());
    for (std::size_t at = 0; ok && at < voxels.size(); at += slice_bytes)
        ok = ::write(fd, voxels.data() + at, slice_bytes) == static_cast<ssize_t>(slice_bytes);
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok || std::rename(temp.c_str(), target.c_str()) != 0)
        std::abort();
    return seconds_since(start);
}

std::vector<std::uint8_t> file_bytes(const wxString& path)
{
    std::ifstream in(path.ToStdString(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BM_DemoVolumeAsNrrd(benchmark::State& state)
{
    wxString dir = wxFileName::CreateTempFileName("ks_bench");
    wxRemoveFile(dir);
    wxFileName::Mkdir(dir);
    demo_export_t e = demo_export(dir + "/volume.nrrd");
    // The volume once, as the export writes it: header and voxels apart.
    if (!e.layout.ok || !export_voxels(demo_source(), voxel_header_t{}, e.request)) {
        state.SkipWithError("the demo export failed");
        return;
    }
    const std::vector<std::uint8_t> file = file_bytes(e.request.path);
    const std::size_t slice_bytes = std::size_t(e.layout.width) * std::size_t(e.layout.height);
    const std::size_t voxel_bytes = slice_bytes * std::size_t(e.layout.slices);
    if (file.size() < voxel_bytes) {
        state.SkipWithError("the NRRD file is shorter than its voxels");
        return;
    }
    const std::vector<std::uint8_t> header(file.begin(), file.end() - std::ptrdiff_t(voxel_bytes));
    const std::vector<std::uint8_t> voxels(file.end() - std::ptrdiff_t(voxel_bytes), file.end());
    const volume_file_header_t volume_header = voxel_volume_header(e.plane, e.layout, e.request);

    double writer = 0, plain = 0, whole = 0, plain_whole = 0, recording = 0;
    for (auto _ : state) {
        // Alternated, so that the disk's state favours neither.
        auto start = std::chrono::steady_clock::now();
        volume_file_writer_t out(dir + "/writer.nrrd", volume_header);
        for (std::size_t at = 0; at < voxel_bytes; at += slice_bytes)
            out.write_slice(voxels.data() + at);
        if (!out.commit())
            state.SkipWithError("the NRRD writer failed");
        writer += seconds_since(start);
        plain += plain_write_seconds((dir + "/plain.raw").ToStdString(), header, voxels, slice_bytes);

        start = std::chrono::steady_clock::now();
        if (!export_voxels(demo_source(), voxel_header_t{}, e.request))
            state.SkipWithError("the NRRD export failed");
        whole += seconds_since(start);
        plain_whole += plain_write_seconds((dir + "/plain.raw").ToStdString(), header, voxels, slice_bytes);
        voxel_export_request as_recording = e.request;
        as_recording.type = voxel_output_t::recording;
        as_recording.path = dir + "/volume.ks";
        start = std::chrono::steady_clock::now();
        if (!export_voxels(demo_source(), voxel_header_t{}, as_recording))
            state.SkipWithError("the .ks export failed");
        recording += seconds_since(start);
    }
    state.counters["volume_mb"] = double(voxel_bytes) / 1048576.0;
    state.counters["writer_ratio_to_plain_write"] = writer / plain;
    state.counters["export_ratio_to_plain_write"] = whole / plain_whole;
    state.counters["export_ratio_to_ks_export"] = whole / recording;
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}
BENCHMARK(BM_DemoVolumeAsNrrd)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

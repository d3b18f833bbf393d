// Reading and writing a recording of 2,000 frames of 640x480, against plain
// read/write calls moving the same bytes in the same run (target: within
// 1.5x), and the peak memory of a read against the frame bytes (target: at
// most 10% more).
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <benchmark/benchmark.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "resources/core_session.h"
#include "process_memory.h"

namespace {

constexpr long frames = 2000, width = 640, height = 480;
constexpr std::size_t frame_bytes = static_cast<std::size_t>(width * height);

struct fixture_t {
    wxString dir;
    std::unique_ptr<core_session_t> session;

    fixture_t()
    {
        dir = wxFileName::CreateTempFileName("ks_bench");
        wxRemoveFile(dir);
        wxFileName::Mkdir(dir);
        session = std::make_unique<core_session_t>(dir, "", false);
        session->finish_start_up();
    }
    ~fixture_t()
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }
    wxString path(const char* name) const { return dir + "/" + name; }

    void fill()
    {
        res->RES_BUF_WIDTH->write(width);
        res->RES_BUF_HEIGHT->write(height);
        res->RES_FRAME_SIZE->write(width * height);
        for (long i = 0; i < frames; ++i) {
            const cip_t im = cip_t::make_8bit(width, height);
            for (std::size_t p = 0; p < frame_bytes; p += 64)
                im.pixels()[p] = static_cast<std::uint8_t>(i + p);
            counted_array_ptr<float> pose(6);
            pose[0] = static_cast<float>(i) * 0.01f;
            bufp->append(im, pose, 1000u + 400000u * static_cast<unsigned>(i));
        }
        recording_io->frames_changed();
    }
};

std::string self_path;

// Peak memory of a read is measured in a fresh process, where nothing freed
// earlier can hide in the allocator: it prints the bytes the read added at its peak.
int measure_read_peak(const char* file)
{
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Error);
    core_session_t session(wxFileName(file).GetPath(), "", false);
    session.finish_start_up();
    const long before = current_rss_kb();
    if (!recording_io->try_read_kestrane_file(file))
        return 1;
    std::printf("%ld\n", (peak_rss_kb() - before) * 1024);
    return 0;
}

double read_peak_over_frames(const wxString& file)
{
    const std::string command = self_path + " --peak-read '" + file.ToStdString() + "'";
    FILE* child = ::popen(command.c_str(), "r");
    long bytes = 0;
    if (!child || std::fscanf(child, "%ld", &bytes) != 1)
        bytes = 0;
    if (child)
        ::pclose(child);
    return static_cast<double>(bytes) / static_cast<double>(frames * frame_bytes) - 1.0;
}

// The plain copy: the same bytes through write() and read(), with the same fsync.
double plain_write_seconds(const std::string& file, const std::vector<std::uint8_t>& frame)
{
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (long i = 0; i < frames; ++i)
        if (::write(fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
            std::abort();
    ::fsync(fd);
    ::close(fd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double plain_read_seconds(const std::string& file)
{
    std::vector<std::unique_ptr<std::uint8_t[]>> held;
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(file.c_str(), O_RDONLY);
    for (long i = 0; i < frames; ++i) {
        held.push_back(std::make_unique<std::uint8_t[]>(frame_bytes));
        if (::read(fd, held.back().get(), frame_bytes) != static_cast<ssize_t>(frame_bytes))
            std::abort();
    }
    ::close(fd);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WriteRecording(benchmark::State& state)
{
    fixture_t f;
    f.fill();
    const std::vector<std::uint8_t> frame(frame_bytes, 7);
    double ours = 0, plain = 0;
    for (auto _ : state) {
        res->RES_BIN_IM_FILENAME->set_needs_save(true);
        const auto start = std::chrono::steady_clock::now();
        if (!recording_io->try_write_kestrane_file(f.path("bench.ks")))
            state.SkipWithError("write failed");
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        plain += plain_write_seconds(f.path("plain.raw").ToStdString(), frame);
    }
    state.counters["ratio_to_plain_write"] = ours / plain;
    state.counters["MB_per_s"] = static_cast<double>(frames * frame_bytes) * state.iterations() / ours / 1e6;
}
BENCHMARK(BM_WriteRecording)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ReadRecording(benchmark::State& state)
{
    fixture_t f;
    f.fill();
    if (!recording_io->save_as(f.path("bench.ks")))
        state.SkipWithError("write failed");
    const std::string kvi = f.path("bench.kvi").ToStdString();
    double ours = 0, plain = 0;
    for (auto _ : state) {
        recording_io->new_recording();
        const auto start = std::chrono::steady_clock::now();
        if (!recording_io->try_read_kestrane_file(f.path("bench.ks")))
            state.SkipWithError("read failed");
        ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        recording_io->new_recording();
        state.ResumeTiming();
        plain += plain_read_seconds(kvi);
    }
    state.counters["ratio_to_plain_read"] = ours / plain;
    state.counters["peak_memory_over_frames"] = read_peak_over_frames(f.path("bench.ks"));
    state.counters["MB_per_s"] = static_cast<double>(frames * frame_bytes) * state.iterations() / ours / 1e6;
}
BENCHMARK(BM_ReadRecording)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--peak-read")
        return measure_read_peak(argv[2]);
    self_path = argv[0];
    wxInitializer wx;
    wxLog::SetLogLevel(wxLOG_Warning);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

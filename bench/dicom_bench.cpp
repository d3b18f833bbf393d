// Loading a CT series: slices of 512 x 512 signed 12-bit values (300 by
// default, KS_BENCH_SLICES to change), native and JPEG lossless (first-order
// prediction), made once in a temporary folder and read with a warm cache.
// Ours is what opening the folder costs after the question: the search and
// grouping of headers, decoding, windowing to 8 bits and the poses. Peers in
// the same run: reading the same bytes (the memory-bound floor), and dcmtk
// and GDCM decoding the files through their libraries.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcrledrg.h>
#include <dcmtk/dcmjpeg/djdecode.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrplol.h>
#include <gdcmImageReader.h>

#include "volumes/dicom_display.h"
#include "volumes/dicom_series.h"
#include "volumes/dicom_writer.h"
#include "volumes/slice_recording.h"

namespace fs = std::filesystem;

namespace {

constexpr long side = 512;

long slice_count()
{
    const char* n = std::getenv("KS_BENCH_SLICES");
    return n ? std::max(1L, std::atol(n)) : 300;
}

// The series' folders, written on first use and removed at exit.
struct series_folders_t {
    fs::path root, native, jpeg;
    std::vector<fs::path> native_files, jpeg_files;

    series_folders_t()
    {
        DJEncoderRegistration::registerCodecs();
        DJDecoderRegistration::registerCodecs();
        DcmRLEDecoderRegistration::registerCodecs();
        root = fs::temp_directory_path() / ("ks_dicom_bench_" + std::to_string(::getpid()));
        native = root / "native";
        jpeg = root / "jpeg";
        fs::create_directories(native);
        fs::create_directories(jpeg);
        std::vector<std::uint16_t> values(std::size_t(side * side));
        for (long k = 0; k < slice_count(); ++k) {
            // Body-like: soft tissue with noise, a ring of bone, air outside.
            std::uint32_t noise = std::uint32_t(k) * 2654435761u;
            for (long y = 0; y < side; ++y)
                for (long x = 0; x < side; ++x) {
                    noise = noise * 1664525u + 1013904223u;
                    const double r = std::hypot(x - 256.0, y - 256.0);
                    const int hu = r > 230 ? -1000 : r > 200 ? 1200 : 40 + int(noise >> 27) - 16;
                    values[std::size_t(y * side + x)] = std::uint16_t(std::int16_t(hu));
                }
            dicom_writer_t w;
            w.meta("1.2.840.10008.1.2.1");
            w.text(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.2");
            w.text(0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.8.498.2." + std::to_string(k + 1));
            w.text(0x0008, 0x0060, "CS", "CT");
            w.text(0x0020, 0x000E, "UI", "1.2.826.0.1.3680043.8.498.2");
            w.text(0x0020, 0x0032, "DS", "-128\\-128\\" + std::to_string(0.5 * double(k)));
            w.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
            w.us(0x0028, 0x0002, 1);
            w.text(0x0028, 0x0004, "CS", "MONOCHROME2");
            w.us(0x0028, 0x0010, side);
            w.us(0x0028, 0x0011, side);
            w.text(0x0028, 0x0030, "DS", "0.5\\0.5");
            w.us(0x0028, 0x0100, 16);
            w.us(0x0028, 0x0101, 12);
            w.us(0x0028, 0x0102, 11);
            w.us(0x0028, 0x0103, 1);
            w.text(0x0028, 0x1050, "DS", "40");
            w.text(0x0028, 0x1051, "DS", "400");
            w.pixels(values);
            char name[32];
            std::snprintf(name, sizeof name, "slice%04ld.dcm", k);
            native_files.push_back(native / name);
            std::ofstream(native_files.back(), std::ios::binary)
                .write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size()));
            DcmFileFormat file;
            file.loadFile(native_files.back().c_str());
            const DJ_RPLossless first_order(1, 0);
            file.getDataset()->chooseRepresentation(EXS_JPEGProcess14SV1, &first_order);
            jpeg_files.push_back(jpeg / name);
            file.saveFile(jpeg_files.back().c_str(), EXS_JPEGProcess14SV1);
        }
    }
    ~series_folders_t()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

series_folders_t& folders()
{
    static series_folders_t f;
    return f;
}

// Every file's bytes into memory of its own, all held to the end, as a
// load holds every frame: the floor for loading the series.
void read_bytes(benchmark::State& state, const std::vector<fs::path>& files)
{
    std::uint64_t total = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<char[]>> held;
        for (const fs::path& p : files) {
            std::ifstream in(p, std::ios::binary | std::ios::ate);
            const std::size_t size = std::size_t(in.tellg());
            held.push_back(std::make_unique_for_overwrite<char[]>(size));
            in.seekg(0);
            in.read(held.back().get(), std::streamsize(size));
            benchmark::DoNotOptimize(held.back().get());
            total += size;
        }
    }
    state.SetBytesProcessed(std::int64_t(total));
}

void ours(benchmark::State& state, const fs::path& folder)
{
    for (auto _ : state) {
        long skipped = 0;
        const std::vector<dicom_series_t> series = group_dicom_series(find_data_files(folder.string()), &skipped);
        slice_stack_t stack;
        wxString why;
        if (series.size() != 1 || !read_series_frames(series[0], &stack, &why)) {
            state.SkipWithError(("the series did not load: " + why).ToStdString().c_str());
            return;
        }
        const dicom_window_t w{40, 400, stack.slope, stack.intercept, stack.data_set.padding};
        window_frames(stack.images, window_table_t(w), w.padding, 0);  // the display images the recording shows
        benchmark::DoNotOptimize(stack.poses.data());
    }
}

// The peers decode each slice and keep its values, as a load must.
void dcmtk(benchmark::State& state, const std::vector<fs::path>& files)
{
    for (auto _ : state) {
        std::vector<std::unique_ptr<Uint16[]>> held;
        for (const fs::path& p : files) {
            DcmFileFormat file;
            const Uint16* pixels = nullptr;
            unsigned long count = 0;
            if (file.loadFile(p.c_str()).bad() ||
                file.getDataset()->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad() ||
                file.getDataset()->findAndGetUint16Array(DCM_PixelData, pixels, &count).bad()) {
                state.SkipWithError("dcmtk could not decode a slice");
                return;
            }
            held.push_back(std::make_unique_for_overwrite<Uint16[]>(count));
            std::copy_n(pixels, count, held.back().get());
        }
        benchmark::DoNotOptimize(held.data());
    }
}

void gdcm_peer(benchmark::State& state, const std::vector<fs::path>& files)
{
    for (auto _ : state) {
        std::vector<std::unique_ptr<char[]>> held;
        for (const fs::path& p : files) {
            gdcm::ImageReader reader;
            reader.SetFileName(p.c_str());
            if (!reader.Read()) {
                state.SkipWithError("GDCM could not read a slice");
                return;
            }
            const gdcm::Image& image = reader.GetImage();
            held.push_back(std::make_unique_for_overwrite<char[]>(image.GetBufferLength()));
            if (!image.GetBuffer(held.back().get())) {
                state.SkipWithError("GDCM could not decode a slice");
                return;
            }
        }
        benchmark::DoNotOptimize(held.data());
    }
}

void BM_RawReadNative(benchmark::State& s)
{
    read_bytes(s, folders().native_files);
}
void BM_OursNative(benchmark::State& s)
{
    ours(s, folders().native);
}
void BM_DcmtkNative(benchmark::State& s)
{
    dcmtk(s, folders().native_files);
}
void BM_GdcmNative(benchmark::State& s)
{
    gdcm_peer(s, folders().native_files);
}
void BM_RawReadJpegLossless(benchmark::State& s)
{
    read_bytes(s, folders().jpeg_files);
}
void BM_OursJpegLossless(benchmark::State& s)
{
    ours(s, folders().jpeg);
}
void BM_DcmtkJpegLossless(benchmark::State& s)
{
    dcmtk(s, folders().jpeg_files);
}
void BM_GdcmJpegLossless(benchmark::State& s)
{
    gdcm_peer(s, folders().jpeg_files);
}

}  // namespace

BENCHMARK(BM_RawReadNative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursNative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DcmtkNative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GdcmNative)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawReadJpegLossless)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OursJpegLossless)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DcmtkJpegLossless)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GdcmJpegLossless)->Unit(benchmark::kMillisecond)->UseRealTime();

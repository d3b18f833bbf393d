// Importing a tracked sequence of 600 frames of 820 x 616 (zlib, as such
// files usually are) side by side with a plain inflate of the same bytes
// from the same file into one buffer: the import adds the header, the
// per-frame transforms (with a reference tool) and a new image for each
// frame. Target: the import within 1.3 times the plain inflate.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <zlib.h>

#include "volumes/sequence_file.h"
#include "volumes/sequence_import.h"

namespace {

constexpr long width = 820, height = 616, frames = 600;

struct sequence_fixture_t {
    wxString path;
    std::uint64_t data_offset = 0, compressed_bytes = 0;

    sequence_fixture_t()
    {
        path = wxFileName::GetTempDir() + wxString::Format("/ks_sequence_bench_%d.igs.mha", int(getpid()));
        // Speckle over smooth tissue bands and a dark fan edge: zlib keeps
        // about a sixth of it (52 of 303 MB), as of B-mode sweeps.
        std::vector<std::uint8_t> frame(std::size_t(width * height));
        z_stream z{};
        deflateInit(&z, 1);
        std::vector<std::uint8_t> compressed;
        std::vector<std::uint8_t> out(1 << 20);
        std::uint32_t seed = 12345;
        for (long k = 0; k < frames; ++k) {
            for (long y = 0; y < height; ++y)
                for (long x = 0; x < width; ++x) {
                    if (x % 3 == 0)  // speckle grains a few pixels long
                        seed = seed * 1664525u + 1013904223u;
                    const bool inside = x > 40 + y / 8 && x < width - 40 - y / 8;
                    const int band = 60 + 40 * int(((y + 2 * k) / 40) % 3);
                    frame[std::size_t(y * width + x)] = inside ? std::uint8_t(band + 8 * int(seed >> 30)) : 0;
                }
            z.next_in = frame.data();
            z.avail_in = uInt(frame.size());
            do {
                z.next_out = out.data();
                z.avail_out = uInt(out.size());
                deflate(&z, k + 1 == frames ? Z_FINISH : Z_NO_FLUSH);
                compressed.insert(compressed.end(), out.data(), out.data() + (out.size() - z.avail_out));
            } while (z.avail_out == 0);
        }
        deflateEnd(&z);
        std::string header =
            "ObjectType = Image\nNDims = 3\nBinaryData = True\nCompressedData = True\n"
            "CompressedDataSize = " +
            std::to_string(compressed.size()) + "\nDimSize = " + std::to_string(width) + " " + std::to_string(height) +
            " " + std::to_string(frames) + "\nElementType = MET_UCHAR\nUltrasoundImageOrientation = MF\n";
        for (long k = 0; k < frames; ++k) {
            char p[32];
            std::snprintf(p, sizeof p, "Seq_Frame%04ld_", k);
            header += std::string(p) + "ProbeToTrackerTransform = 0.8 -0.6 0 " + std::to_string(k * 0.1) +
                      " 0.6 0.8 0 20 0 0 1 -150 0 0 0 1\n";
            header += std::string(p) + "ProbeToTrackerTransformStatus = OK\n";
            header += std::string(p) + "ReferenceToTrackerTransform = 1 0 0 5 0 0 -1 6 0 1 0 7 0 0 0 1\n";
            header += std::string(p) + "ReferenceToTrackerTransformStatus = OK\n";
            header += std::string(p) + "Timestamp = " + std::to_string(1000.0 + k / 30.0) + "\n";
            header += std::string(p) + "ImageStatus = OK\n";
        }
        header += "ElementDataFile = LOCAL\n";
        std::ofstream file(path.ToStdString(), std::ios::binary);
        file << header;
        file.write(reinterpret_cast<const char*>(compressed.data()), std::streamsize(compressed.size()));
        data_offset = header.size();
        compressed_bytes = compressed.size();
    }
    ~sequence_fixture_t() { wxRemoveFile(path); }
};

const sequence_fixture_t& fixture()
{
    static const sequence_fixture_t f;
    return f;
}

void BM_ImportSequence(benchmark::State& state)
{
    const sequence_fixture_t& f = fixture();
    sequence_import_options_t options;
    options.image_to_probe = {0.2, 0, 0, 1, 0, 0.2, 0, 2, 0, 0, 0.2, 3, 0, 0, 0, 1};
    options.have_image_to_probe = true;
    options.reference = "Reference";
    for (auto _ : state) {
        sequence_recording_t s;
        wxString why;
        if (!read_sequence_recording(f.path, options, &s, &why) || s.frames.size() != std::size_t(frames)) {
            state.SkipWithError(why.utf8_str().data());
            break;
        }
        benchmark::DoNotOptimize(s.frames.back().pixels());
    }
    state.SetBytesProcessed(state.iterations() * width * height * frames);
    state.counters["compressed_MB"] = double(f.compressed_bytes) / 1e6;
}
BENCHMARK(BM_ImportSequence)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

// The same bytes read in the same 1 MB pieces and inflated into one
// buffer, allocated afresh each time as the import's frames are.
void BM_PlainInflateSameData(benchmark::State& state)
{
    const sequence_fixture_t& f = fixture();
    std::vector<std::uint8_t> in(1 << 20);
    for (auto _ : state) {
        auto out = std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t(width * height * frames));
        std::ifstream file(f.path.ToStdString(), std::ios::binary);
        file.seekg(std::streamoff(f.data_offset));
        z_stream z{};
        inflateInit(&z);
        z.next_out = out.get();
        z.avail_out = uInt(width * height * frames);
        std::uint64_t left = f.compressed_bytes;
        int status = Z_OK;
        while (status == Z_OK) {
            if (z.avail_in == 0) {
                const std::size_t n = std::size_t(std::min<std::uint64_t>(left, in.size()));
                file.read(reinterpret_cast<char*>(in.data()), std::streamsize(n));
                left -= n;
                z.next_in = in.data();
                z.avail_in = uInt(n);
            }
            status = inflate(&z, Z_NO_FLUSH);
        }
        inflateEnd(&z);
        if (status != Z_STREAM_END) {
            state.SkipWithError("inflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.get());
    }
    state.SetBytesProcessed(state.iterations() * width * height * frames);
}
BENCHMARK(BM_PlainInflateSameData)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

}  // namespace

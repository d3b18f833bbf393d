// libFuzzer harness: the MetaImage, NRRD, Analyze and QCT readers on
// arbitrary files (the first byte chooses which): no crash, no read outside
// the file, a refusal with a reason, or a volume whose voxels fill exactly
// its stated size with positive, finite spacings and unit axes.
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <unistd.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "volumes/qct_file.h"
#include "volumes/slice_recording.h"
#include "volumes/volume_files.h"

namespace {

void write(const wxString& file, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(file.ToStdString(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    if (size == 0)
        return 0;
    // The first byte chooses: bit 1 clear, MetaImage or NRRD by bit 0; set,
    // Analyze (the next 348 bytes the .hdr, the rest the .img) or QCT.
    const bool other = data[0] & 2, odd = data[0] & 1;
    // The readers take files: the input goes into this process's own.
    const wxString stem = wxFileName::GetTempDir() + wxString::Format("/ks_volume_fuzz_%d.", int(getpid()));
    volume_t v;
    wxString why;
    bool ok = false;
    if (other && odd) {
        write(stem + "qct", data + 1, size - 1);
        slice_stack_t stack;
        long ignored = 0;
        wxString scan;
        ok = read_qct(stem + "qct", &stack, &ignored, &scan, &why);
        wxRemoveFile(stem + "qct");
        if (ok && (stack.images.size() != stack.poses.size() || stack.columns < 1 || stack.rows < 1))
            std::abort();
        if (!ok && why.empty())
            std::abort();
        return 0;
    }
    if (other) {
        const std::size_t header = std::min<std::size_t>(348, size - 1);
        write(stem + "hdr", data + 1, header);
        write(stem + "img", data + 1 + header, size - 1 - header);
        ok = read_analyze(stem + "hdr", &v, &why);
        wxRemoveFile(stem + "hdr");
        wxRemoveFile(stem + "img");
    } else {
        const wxString file = stem + (odd ? "nrrd" : "mha");
        write(file, data + 1, size - 1);
        ok = odd ? read_nrrd(file, &v, &why) : read_metaimage(file, &v, &why);
        wxRemoveFile(file);
    }
    if (!ok) {
        if (why.empty())
            std::abort();
        return 0;
    }
    if (v.voxels.size() != std::size_t(v.width) * std::size_t(v.height) * std::size_t(v.depth))
        std::abort();
    for (double s : v.spacing_mm)
        if (!(s > 0.0) || !std::isfinite(s))
            std::abort();
    for (int a = 0; a < 3; ++a) {
        const double n = std::hypot(v.axes[3 * a], v.axes[3 * a + 1], v.axes[3 * a + 2]);
        if (std::fabs(n - 1.0) > 1e-9)
            std::abort();
    }
    return 0;
}

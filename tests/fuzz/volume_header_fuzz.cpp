// libFuzzer harness: the MetaImage and NRRD readers on arbitrary files (the
// first byte chooses which): no crash, no read outside the file, a refusal
// with a reason, or a volume whose voxels fill exactly its stated size with
// positive, finite spacings and unit axes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include <unistd.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "volumes/volume_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    if (size == 0)
        return 0;
    const bool nrrd = data[0] & 1;
    // The readers take files: the input goes into one of this process's own.
    const wxString file =
        wxFileName::GetTempDir() + wxString::Format("/ks_volume_fuzz_%d.", int(getpid())) + (nrrd ? "nrrd" : "mha");
    {
        std::ofstream out(file.ToStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    }
    volume_t v;
    wxString why;
    const bool ok = nrrd ? read_nrrd(file, &v, &why) : read_metaimage(file, &v, &why);
    wxRemoveFile(file);
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

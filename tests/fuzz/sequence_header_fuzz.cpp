// libFuzzer harness: the tracked-sequence reader on arbitrary files (the
// first byte chooses MetaImage or NRRD), header, per-frame transforms and
// compressed frames: no crash, no read outside the file, a refusal with a
// reason, or every frame of the stated size with a pose that is finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>

#include <unistd.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "volumes/sequence_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    if (size == 0)
        return 0;
    const bool nrrd = data[0] & 1, reference = data[0] & 2;
    const wxString file =
        wxFileName::GetTempDir() + wxString::Format("/ks_sequence_fuzz_%d.%s", int(getpid()), nrrd ? "nrrd" : "mha");
    {
        std::ofstream out(file.ToStdString(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data + 1), std::streamsize(size - 1));
    }
    sequence_import_options_t options;
    options.image_to_probe = {0.2, 0, 0, 1, 0, 0.2, 0, 2, 0, 0, 0.2, 3, 0, 0, 0, 1};
    options.have_image_to_probe = !(data[0] & 4);  // else the file's own ImageToProbeTransform
    if (reference)
        options.reference = "Reference";
    sequence_recording_t s;
    wxString why;
    const bool ok = read_sequence_recording(file, options, &s, &why);
    wxRemoveFile(file);
    if (!ok) {
        if (why.empty())
            std::abort();
        return 0;
    }
    if (s.frames.empty() || s.frames.size() != s.poses.size() || s.frames.size() != s.times.size())
        std::abort();
    for (std::size_t i = 0; i < s.frames.size(); ++i) {
        if (s.frames[i].width() != s.width || s.frames[i].height() != s.height || !s.frames[i].pixels())
            std::abort();
        for (std::size_t k = 0; k < s.poses[i].size(); ++k)
            if (!std::isfinite(s.poses[i][k]))
                std::abort();
    }
    if (!(s.calibration.sx > 0.0) || !(s.calibration.sy > 0.0) || !std::isfinite(s.residual_mm))
        std::abort();
    return 0;
}

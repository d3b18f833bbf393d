#include "dicom_commands.h"

#include <cmath>
#include <cstdio>

#include <wx/filename.h>

#include "resources/recording_file.h"
#include "tool_session.h"
#include "volumes/dicom_series.h"
#include "volumes/volume_files.h"

namespace {

int import_usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool import PATH OUT.ks [--series N] [--window CENTRE,WIDTH] [--raw]\n"
                 "  PATH      a DICOM file, a folder searched for DICOM files, or a MetaImage (.mha, .mhd) or\n"
                 "            NRRD (.nrrd, .nhdr) or Analyze 7.5 (.hdr with its .img) volume\n"
                 "  --series  which series to load when there are several (they are listed otherwise)\n"
                 "  --window  the display window in Hounsfield units (otherwise the file's own)\n"
                 "  --raw     frames windowed to 8-bit grey (the only kind written for now)\n");
    return 2;
}

}  // namespace

int run_import(const std::vector<wxString>& args)
{
    if (args.size() < 2 || args[0].StartsWith("--") || args[1].StartsWith("--"))
        return import_usage();
    long series_number = -1;
    std::optional<dicom_window_t> window;
    bool raw = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (args[i] == "--raw") {
            raw = true;
        } else if (args[i] == "--series" && has_value && args[i + 1].ToLong(&series_number) && series_number >= 1) {
            ++i;
        } else if (args[i] == "--window" && has_value) {
            double c = 0, w = 0;
            if (!args[i + 1].BeforeFirst(',').ToCDouble(&c) || !args[i + 1].AfterFirst(',').ToCDouble(&w) ||
                !(w >= 1.0) || !std::isfinite(c)) {
                std::fprintf(stderr, "kestrane-tool import: --window needs CENTRE,WIDTH with a width of 1 or more.\n");
                return 2;
            }
            window = dicom_window_t{c, w, 1.0, 0.0, {}};
            ++i;
        } else {
            std::fprintf(stderr, "kestrane-tool import: bad option '%s'.\n", args[i].utf8_str().data());
            return import_usage();
        }
    }
    const wxFileName out(args[1]);
    if (!out.GetExt().IsSameAs("ks", false)) {
        std::fprintf(stderr, "kestrane-tool import: the output must end in .ks.\n");
        return 2;
    }
    const bool folder = wxFileName::DirExists(args[0]);
    const wxString data_dir = folder ? wxFileName::DirName(args[0]).GetPath() : wxFileName(args[0]).GetPath();
    // A recording beside the data is a DICOM recording keeping 16-bit values, not written yet.
    if (!raw && wxFileName::DirName(out.GetPath()).SameAs(wxFileName::DirName(data_dir))) {
        std::fprintf(stderr,
                     "kestrane-tool import: a recording in the data's own folder would keep the 16-bit "
                     "values, which is not written yet: choose another folder or --raw.\n");
        return 2;
    }
    // MetaImage, NRRD and Analyze volumes.
    const wxString ext = wxFileName(args[0]).GetExt().Lower();
    if (!folder && (ext == "mha" || ext == "mhd" || ext == "nrrd" || ext == "nhdr" || ext == "hdr")) {
        volume_t volume;
        wxString why;
        const bool read = ext == "mha" || ext == "mhd" ? read_metaimage(args[0], &volume, &why)
                          : ext == "hdr"               ? read_analyze(args[0], &volume, &why)
                                                       : read_nrrd(args[0], &volume, &why);
        if (!read) {
            std::fprintf(stderr, "kestrane-tool import: %s: %s\n", args[0].utf8_str().data(), why.utf8_str().data());
            return 1;
        }
        tool_session_t tool;
        if (!import_volume(volume, window ? &*window : nullptr, &why)) {
            std::fprintf(stderr, "kestrane-tool import: %s\n", why.utf8_str().data());
            return 1;
        }
        if (!recording_io->save_as(out.GetFullPath()))
            return 1;
        std::printf("Loaded %ld frames of data with size %ld x %ld.\nsaved       %s\n", volume.depth, volume.width,
                    volume.height, out.GetFullPath().utf8_str().data());
        return 0;
    }
    const std::vector<wxString> files = folder ? find_data_files(args[0]) : std::vector<wxString>{args[0]};
    long skipped = 0;
    const std::vector<dicom_series_t> series = group_dicom_series(files, &skipped);
    if (series.empty()) {
        std::fprintf(stderr, "kestrane-tool import: %s\n",
                     files.empty() ? "There are no data files in this directory."
                                   : "Failed to read image data from DICOM file.\nThese DICOM files do not contain "
                                     "image data,\nor are in a format not understood by Kestrane.");
        return 1;
    }
    if (series.size() > 1 && series_number < 1) {
        std::printf("Which series do you want to load? Give --series N:\n");
        for (std::size_t i = 0; i < series.size(); ++i)
            std::printf("%s\n", series[i].description(int(i + 1)).utf8_str().data());
        return 2;
    }
    const std::size_t chosen = series_number < 1 ? 0 : std::size_t(series_number - 1);
    if (chosen >= series.size()) {
        std::fprintf(stderr, "kestrane-tool import: there are %zu series.\n", series.size());
        return 2;
    }
    tool_session_t tool;
    wxString why;
    if (!import_dicom_series(series[chosen], window, &why)) {
        std::fprintf(stderr, "kestrane-tool import: %s\n", why.utf8_str().data());
        return 1;
    }
    if (!recording_io->save_as(out.GetFullPath()))
        return 1;
    long ignored = 0;
    for (std::size_t i = 0; i < series.size(); ++i)
        if (i != chosen)
            ignored += long(series[i].slices.size());
    std::printf("Loaded %ld frames of data with size %ld x %ld.\n", long(series[chosen].slices.size()),
                series[chosen].columns, series[chosen].rows);
    if (ignored > 0)
        std::printf("Ignored a further %ld frames in a different series, or with different sizes or scales.\n",
                    ignored);
    if (skipped > 0)
        std::printf("Skipped %ld files that are not DICOM images.\n", skipped);
    std::printf("saved       %s\n", out.GetFullPath().utf8_str().data());
    return 0;
}

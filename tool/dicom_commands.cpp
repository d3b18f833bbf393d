#include "dicom_commands.h"

#include <cmath>
#include <cstdio>

#include <wx/filename.h>

#include "resources/recording_file.h"
#include "sequence_commands.h"
#include "tool_session.h"
#include "resources/resource_table.h"
#include "volumes/dicom_loader.h"
#include "volumes/dicom_display.h"
#include "volumes/qct_file.h"
#include "volumes/sequence_file.h"
#include "volumes/volume_files.h"

namespace {

int import_usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool import PATH OUT.ks [--series N] [--window CENTRE,WIDTH] [--raw]\n"
                 "       kestrane-tool import SEQ.mha|SEQ.nrrd OUT.ks [--image-to-probe FILE|MATRIX] [--probe NAME]\n"
                 "                            [--reference NAME]   (a tracked ultrasound sequence)\n"
                 "  PATH      a DICOM file or DICOMDIR, a folder searched for DICOM and image files (PNG,\n"
                 "            PNM, BMP, TIFF), a QCT file, or a MetaImage (.mha, .mhd), NRRD (.nrrd,\n"
                 "            .nhdr) or Analyze 7.5 (.hdr with its .img) volume\n"
                 "  --series  which series to load when there are several (they are listed otherwise)\n"
                 "  --window  the display window in Hounsfield units (otherwise the file's own)\n"
                 "  --raw     frames windowed to 8-bit grey even when OUT.ks lies beside the DICOM files, where\n"
                 "            it otherwise keeps their 16-bit values and reads them from there when opened\n");
    return 2;
}

}  // namespace

int load_tool_input(const wxString& path, long series_number, const char* command, wxString* data_folder)
{
    // A recording made before (a DICOM one reads its frames from beside it).
    if (wxFileName(path).GetExt().IsSameAs("ks", false)) {
        if (!recording_io->try_read_kestrane_file(path))
            return 1;
        *data_folder = wxFileName(path).GetPath();
        return 0;
    }
    const bool volume_file = is_volume_file(path);
    long ignored = 0;
    const bool qct = !volume_file && wxFileName::FileExists(path) && looks_like_qct(path);
    if (volume_file || qct) {
        if (!(volume_file ? load_volume_file(path) : load_qct_file(path)))
            return 1;
        *data_folder = wxFileName(path).GetPath();
    } else {
        dicom_search_t found;
        if (!search_dicom(path, &found))
            return 1;
        if (!found.file_series && found.series.size() > 1 && series_number < 1) {
            std::printf("Which series do you want to load? Give --series N:\n");
            for (std::size_t i = 0; i < found.series.size(); ++i)
                std::printf("%s\n", found.series[i].description(int(i + 1)).utf8_str().data());
            return 2;
        }
        const std::size_t chosen = found.file_series.value_or(series_number < 1 ? 0 : std::size_t(series_number - 1));
        if (chosen >= found.series.size()) {
            std::fprintf(stderr, "kestrane-tool %s: there are %zu series.\n", command, found.series.size());
            return 2;
        }
        if (!load_dicom_series(found, chosen))
            return 1;
        for (std::size_t i = 0; i < found.series.size(); ++i)
            if (i != chosen)
                ignored += long(found.series[i].slices.size());
        if (found.skipped > 0)
            std::printf("Skipped %ld files that are not DICOM images.\n", found.skipped);
        *data_folder = found.folder;
    }
    std::printf("Loaded %ld frames of data with size %ld x %ld.\n", recording_io_t::frame_count(),
                res->RES_BUF_WIDTH->value(), res->RES_BUF_HEIGHT->value());
    if (ignored > 0)
        std::printf("Ignored a further %ld frames in a different series, or with different sizes or scales.\n",
                    ignored);
    return 0;
}

int run_import(const std::vector<wxString>& args)
{
    if (!args.empty() && is_sequence_file(args[0]))
        return run_sequence_import(args);
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
    tool_session_t tool;
    wxString data_folder;
    if (const int status = load_tool_input(args[0], series_number, "import", &data_folder))
        return status;
    if (window)
        write_dicom_window(window->centre, window->width);
    // Beside its DICOM files a recording keeps their 16-bit values; elsewhere
    // (or from a volume file, or asked) it holds 8-bit frames through the window.
    const bool keep_dicom = !raw && !res->RES_DICOM_FRAME_LIST->value()->empty() &&
                            wxFileName::DirName(out.GetPath()).SameAs(wxFileName::DirName(data_folder));
    if (!recording_io->save_as(out.GetFullPath(), !keep_dicom, true))
        return 1;
    std::printf("saved       %s (%s)\n", out.GetFullPath().utf8_str().data(),
                keep_dicom ? "DICOM frames, read again from the files beside it" : "8-bit frames");
    return 0;
}

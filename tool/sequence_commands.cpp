#include "sequence_commands.h"

#include <cstdio>

#include <wx/filename.h>

#include "resources/recording_file.h"
#include "tool_session.h"
#include "volumes/sequence_export.h"
#include "volumes/sequence_import.h"

namespace {

int import_usage()
{
    std::fprintf(
        stderr,
        "Usage: kestrane-tool import SEQ.mha|SEQ.nrrd OUT.ks [--image-to-probe FILE|MATRIX] [--probe NAME]\n"
        "                           [--reference NAME] [--auto-clip]\n"
        "  --image-to-probe  a device-set XML file with <Transform From=\"Image\" To=\"Probe\" Matrix=\"...\">\n"
        "                    or the 16 numbers of that matrix, row by row, in mm (quoted as one argument);\n"
        "                    without it, the file's own ImageToProbeTransform (our export writes one)\n"
        "  --probe           the probe tool's name in the transforms (default Probe)\n"
        "  --reference       place frames relative to this tool (ProbeToReference) instead of the tracker\n"
        "  --auto-clip       cut the frames to the non-zero extent of them all (a scanner's black border),\n"
        "                    every pixel kept staying where it was\n");
    return 2;
}

void print_matrix(const row_major16_t& m)
{
    for (int row = 0; row < 4; ++row)
        std::printf("  %14.8f %14.8f %14.8f %14.8f\n", m[std::size_t(4 * row)], m[std::size_t(4 * row + 1)],
                    m[std::size_t(4 * row + 2)], m[std::size_t(4 * row + 3)]);
}

}  // namespace

int run_sequence_import(const std::vector<wxString>& args)
{
    if (args.size() < 2 || args[0].StartsWith("--") || args[1].StartsWith("--"))
        return import_usage();
    sequence_import_options_t options;
    wxString calibration_argument;
    bool auto_clip = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size() && !args[i + 1].empty();
        if (args[i] == "--image-to-probe" && has_value) {
            calibration_argument = args[++i];
        } else if (args[i] == "--probe" && has_value) {
            options.probe = args[++i].ToStdString();
        } else if (args[i] == "--reference" && has_value) {
            options.reference = args[++i].ToStdString();
        } else if (args[i] == "--auto-clip") {
            auto_clip = true;
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
    wxString why;
    if (!calibration_argument.empty()) {
        if (!image_to_probe_from_argument(calibration_argument, options.probe, &options.image_to_probe, &why)) {
            std::fprintf(stderr, "kestrane-tool import: --image-to-probe: %s.\n", why.utf8_str().data());
            return 2;
        }
        options.have_image_to_probe = true;
    }
    tool_session_t tool;
    sequence_recording_t sequence;
    if (!read_sequence_recording(args[0], options, &sequence, &why)) {
        std::fprintf(stderr, "kestrane-tool import: cannot import %s: %s.\n", args[0].utf8_str().data(),
                     why.utf8_str().data());
        return 1;
    }
    long x0 = 0, y0 = 0;
    const bool clipped = auto_clip && clip_sequence_to_content(&sequence, &x0, &y0);
    make_sequence_recording(sequence, out.GetFullPath());
    std::printf("%s\n", sequence_import_summary(sequence).utf8_str().data());
    if (clipped)
        std::printf("clipped     to %ld,%ld,%ld,%ld (the non-zero extent of the frames)\n", x0, y0, sequence.width,
                    sequence.height);
    if (!recording_io->save_as(out.GetFullPath(), false, true))
        return 1;
    std::printf("saved       %s\n", out.GetFullPath().utf8_str().data());
    return 0;
}

int run_export_sequence(const std::vector<wxString>& args)
{
    bool compress = true;
    std::vector<wxString> paths;
    for (const wxString& a : args) {
        if (a == "--raw")
            compress = false;
        else if (a.StartsWith("--"))
            paths.clear(), paths.resize(3);  // an unknown option: usage below
        else
            paths.push_back(a);
    }
    if (paths.size() != 2) {
        std::fprintf(stderr,
                     "Usage: kestrane-tool export-sequence IN.ks OUT.mha|OUT.nrrd [--raw]\n"
                     "  --raw  frames uncompressed (otherwise zlib in .mha, gzip in .nrrd)\n");
        return 2;
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(paths[0]))
        return 1;
    sequence_export_report_t report;
    wxString why;
    if (!write_sequence_file(paths[1], compress, &report, &why)) {
        std::fprintf(stderr, "kestrane-tool export-sequence: %s.\n", why.utf8_str().data());
        return 1;
    }
    std::printf("Wrote %ld frames (%ld without a pose, marked INVALID) to %s.\n", report.frames,
                report.frames_without_pose, paths[1].utf8_str().data());
    std::printf("Image to probe (mm; also in its header as ImageToProbeTransform):\n");
    print_matrix(report.image_to_probe);
    return 0;
}

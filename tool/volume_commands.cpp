// kestrane-tool export-voxels: the recording as a regular stack of slices
// through the plane that holds it in the fewest voxels.
#include "volume_commands.h"

#include <cmath>
#include <cstdio>

#include <wx/filename.h>

#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/voxel_export.h"
#include "resources/core_session.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "surfaces/session_voxels.h"
#include "surfaces/surface_session.h"
#include "output_names.h"
#include "surface_commands.h"
#include "tool_session.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool export-voxels FILE.ks "
                 "OUTPUT[.ks|.png|.bmp|.jpeg|.tiff|.nrrd|.mha|.nii|.nii.gz] [--step K] "
                 "[--spacing MM] [--nearest|--linear] [--surfaces [--resolution R]] [--crop K] [--gzip]\n"
                 "       [--slab MM] [--fill-holes MM] [--masked] [--clip X,Y,W,H] [--threads N]\n"
                 "  --step K      resolution and slice spacing of K pixel widths (1 to %d; default 1); each voxel is\n"
                 "                the mean of its K x K pixels that have data\n"
                 "  --spacing MM  slice spacing in millimetres instead (the in-plane step stays K)\n"
                 "  --nearest     each voxel from the nearest frame (faster)\n"
                 "  --linear      each voxel blended from the frames either side (the default)\n"
                 "  --surfaces    build every object's surface first (at --resolution, default medium), so each\n"
                 "                slice carries the outlines where the surfaces cut it\n"
                 "  --crop K      keep only what lies inside object K's surface (implies --surfaces)\n"
                 "  --gzip        gzip-encode a .nrrd file's data (raw otherwise)\n"
                 "  --slab MM     each frame's slab half-thickness (default 0.6 of the median frame gap)\n"
                 "  --fill-holes MM  an empty voxel takes the value of the nearest voxel with data within MM\n"
                 "  --masked      zero pixels of the frames are no data (a black border stays out)\n"
                 "  --clip X,Y,W,H  only the W x H frame pixels from column X, row Y hold data\n"
                 "  --threads N   slices built at once (default: the processors, up to %u); the same bytes\n"
                 ".nrrd, .mha, .nii and .nii.gz are one volume file in millimetres (LPS; NIfTI RAS), 8-bit,\n"
                 "or 16-bit Hounsfield units for DICOM slices.\n",
                 voxel_max_step, voxel_default_threads);
    return 2;
}

int refuse(const wxString& what, const wxString& given)
{
    std::fprintf(stderr, "kestrane-tool export-voxels: %s (not '%s').\n", what.utf8_str().data(),
                 given.utf8_str().data());
    return 2;
}

}  // namespace

int run_export_voxels(const std::vector<wxString>& args)
{
    if (args.size() < 2)
        return usage();
    long step = 1;
    double spacing_mm = 0.0;  // 0: the step's own spacing, K pixel widths
    bool linear = true;
    bool surfaces = false;
    int resolution = 4;  // Medium
    long crop = -1;
    bool gzip = false;
    session_voxels_t how;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        const wxString value = has_value ? args[i + 1] : wxString();
        if (args[i].StartsWith("--") && (voxel_option_takes_value(args[i].Mid(2)) || args[i] == "--masked")) {
            const wxString name = args[i].Mid(2);
            const bool takes_value = voxel_option_takes_value(name);
            wxString why;
            if (!parse_voxel_option(name, value, &how, &why))
                return refuse("--" + why, takes_value ? value : wxString());
            if (takes_value)
                ++i;
            continue;
        }
        if (args[i] == "--step" && has_value && args[i + 1].ToLong(&step) && step >= 1 && step <= voxel_max_step) {
            ++i;
        } else if (args[i] == "--spacing" && has_value && args[i + 1].ToCDouble(&spacing_mm) && spacing_mm > 0.0 &&
                   std::isfinite(spacing_mm)) {
            ++i;
        } else if (args[i] == "--nearest" || args[i] == "--linear") {
            linear = args[i] == "--linear";
        } else if (args[i] == "--gzip") {
            gzip = true;
        } else if (args[i] == "--surfaces") {
            surfaces = true;
        } else if (args[i] == "--resolution" && has_value && surface_resolution_option(args[i + 1], &resolution)) {
            ++i;
        } else if (args[i] == "--crop" && has_value && args[i + 1].ToLong(&crop) && crop >= 0 &&
                   crop < object_table::size) {
            surfaces = true;
            ++i;
        } else {
            std::fprintf(stderr, "kestrane-tool export-voxels: bad option '%s'.\n", args[i].utf8_str().data());
            return usage();
        }
    }
    std::vector<wxString> extensions = recording_or_image_extensions();
    for (const char* e : {"nrrd", "mha", "nii", "nii.gz"})
        extensions.push_back(e);
    const wxString output = tool_output_name("export-voxels", args[1], extensions);
    if (output.empty())
        return 2;
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    if (surfaces) {
        const surface_update_t done =
            update_surfaces(surface_settings_from_session(surface_resolution_step(resolution), 0, 0));
        for (int i : done.failed)
            std::fprintf(stderr, "kestrane-tool export-voxels: no surface for object %d.\n", i);
    }
    how.path = output;
    how.step = step;
    how.spacing_mm = spacing_mm;
    how.linear = linear;
    how.crop = crop;
    how.gzip = gzip;
    voxel_layout_t layout;
    wxString why;
    if (!export_session_voxels(how, &layout, &why)) {
        std::fprintf(stderr, "kestrane-tool export-voxels: %s.\n", why.utf8_str().data());
        return 1;
    }
    // Where the volume lies, as the files place it: world millimetres (LPS).
    const vertex3d first = 10.0 * layout.first_voxel, last = 10.0 * layout.last_voxel;
    std::printf("%s: %li slices of %li x %li voxels\n"
                "voxel (0, 0, 0) at (%.4f, %.4f, %.4f) mm, voxel (%li, %li, %li) at (%.4f, %.4f, %.4f) mm\n",
                wxFileName(how.path).GetFullPath().utf8_str().data(), layout.slices, layout.width, layout.height,
                first.x, first.y, first.z, layout.width - 1, layout.height - 1, layout.slices - 1, last.x, last.y,
                last.z);
    return 0;
}

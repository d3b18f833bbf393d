// The session's recording as a regular stack of slices through the plane
// that holds it in the fewest voxels, each slice carrying the outlines where
// the surfaces held cut it: what kestrane-tool export-voxels and a script's
// EXPORT_VOXELS write, byte for byte alike.
#pragma once

#include <optional>

#include <wx/string.h>

#include "reconstruction/voxel_export.h"

struct session_voxels_t {
    // .ks (or no extension) for a recording; .png, .bmp, .jpeg/.jpg, .tif/.tiff
    // for numbered images; .nrrd, .mha, .nii or .nii.gz for one volume file.
    wxString path;
    long step = 1;            // resolution and slice spacing in pixel widths, 1 to voxel_max_step
    double spacing_mm = 0.0;  // a slice spacing of its own, when above 0
    bool linear = true;       // voxels blended from the frames either side (else the nearest)
    long crop = -1;           // keep what lies inside this object's surface; -1 keeps all
    bool gzip = false;        // a .nrrd file's data gzip-encoded
    // Reconstruction: each frame's slab half-thickness (0: 0.6 of the median
    // frame gap), the distance holes are filled within (0: none), zero pixels
    // and pixels outside the clip rectangle as no data, and threads (0: default).
    double slab_mm = 0.0;
    double fill_holes_mm = 0.0;
    bool masked = false;
    std::optional<frame_clip> clip;
    long threads = 0;
};

// One reconstruction option as the tool's flags and a script's words name
// them: "slab" and "fill-holes" (mm above 0), "clip" (X,Y,W,H), "threads"
// (1 to voxel_max_threads), "masked" (no value). False with *why for an
// unknown name or a value out of range.
bool parse_voxel_option(const wxString& name, const wxString& value, session_voxels_t* how, wxString* why);
bool voxel_option_takes_value(const wxString& name);
// The same option as one word, "name=value" or "masked", as scripts and the
// export dialog take them.
bool parse_voxel_option_word(const wxString& word, session_voxels_t* how, wxString* why);
// False with *why when the rectangle reaches outside any frame.
bool clip_inside_frames(const reslice_source& source, const frame_clip& clip, wxString* why);

// False with *why for an unknown output type, an option out of range, a clip
// rectangle beyond a frame, a recording without placed frames, a crop object
// without a surface, or a failed write.
bool export_session_voxels(const session_voxels_t& how, voxel_layout_t* layout, wxString* why);

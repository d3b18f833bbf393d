// Turns the irregular frames into a regular stack of parallel slices: the
// plane of a reslice is swept through the data at a fixed spacing and each
// reslice becomes one slice, written as a new recording (the slices are its
// frames), as numbered images or as one volume file for other programs
// (NRRD, MetaImage, NIfTI). Each voxel is exactly a reslice pixel, so pixels
// no frame covers stay 0.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "common/matrix16d.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_geometry.h"
#include "reconstruction/voxel_reduce.h"
#include "resources/recording_data.h"

enum class voxel_output_t { recording, bmp, png, jpeg, tiff, nrrd, nrrd_gzip, metaimage, nifti, nifti_gzip };

// A single volume file (NRRD, MetaImage or NIfTI) rather than a recording or images.
bool is_volume_file_output(voxel_output_t type);

class slice_volume_t;

inline constexpr int voxel_max_step = 8;
inline constexpr unsigned voxel_max_threads = 64;
inline constexpr unsigned voxel_default_threads = 4;  // more rarely helps: the frames' memory is the limit

// Threads an export uses: as asked (1 to voxel_max_threads), or for 0 the
// processors up to voxel_default_threads.
unsigned voxel_export_threads(unsigned asked);

// One export. The pixel size is the source's (RES_XSCALE).
struct voxel_export_request {
    reslice_settings settings;  // the defining view: plane, size and build settings
    int step = 1;               // k: every k-th reslice pixel of every k-th row, 1 to 8
    // How the k x k pixels of a voxel make its value; colour-flow recordings always skip.
    voxel_step_rule_t step_rule = voxel_step_rule_t::average;
    double fill_holes = 0.0;    // cm: empty voxels take the nearest data this close (0: none)
    unsigned threads = 0;       // slices built at once; 0 for the default. The bytes never depend on it
    double spacing = 0.01;      // d: cm between slices
    wxString path;
    voxel_output_t type = voxel_output_t::recording;
    // A volume file holds these 16-bit values (DICOM slices) where the reslice
    // has data, instead of the 8-bit display values; none for ultrasound.
    const slice_volume_t* stored_values = nullptr;
};

// An object whose surface the export cuts into each slice.
struct voxel_object_t {
    int index = 0;
    bool solid = true;
    rgb_t colour;
    double opacity = 1.0;
    wxString name;
};

// What a recording-type export copies from the recording it came from.
struct voxel_header_t {
    wxString version = "6.02";  // this program's: the volume is a new file
    bool doppler = false;
    long masked = 0;
    wxString isocentre_date;
    std::vector<landmark_t> marks;  // world positions
    // Objects with a surface: an OBJECT line each, and each slice's CONT lines
    // from the source's surface sections.
    std::vector<voxel_object_t> objects;
    // World to the volume's frame: the identity, or the isocentre frame.
    matrix16d world_to_volume;
    bool in_isocentre_frame = false;
    double isocentre[6] = {};  // written when the volume is in world coordinates
};

// The shape of the exported volume.
struct voxel_layout_t {
    bool ok = false;
    long width = 0, height = 0;  // W', H'
    long slices = 0;             // N
    double zmin = 0.0, zmax = 0.0;  // cm along the normal from the defining plane
    // World positions (cm) of voxel (0, 0, 0) and of the far corner (W'-1, H'-1, N-1).
    vertex3d first_voxel, last_voxel;
};

// Output size for a step: floor((n - 1) / k) + 1.
long voxel_output_size(long n, int step);
// W', H' and N for the request, or ok false (with the reason logged) when
// there are no frames, the step, spacing, hole-filling distance or thread
// count is out of range, or N is absurd.
voxel_layout_t plan_voxel_export(const reslice_source& source, const voxel_export_request& request);

// The 28 rows of the resolution choice, with their approximate sizes in Mb
// and the step and spacing each row stands for.
struct voxel_resolution_row_t {
    wxString text;
    double size_mb = 0.0;
    int step = 1;
    double spacing = 0.0;  // cm
};
std::vector<voxel_resolution_row_t> voxel_resolution_rows(double depth, long width, long height, double xscale);

// A recording name without an extension gets ".ks".
wxString voxel_recording_path(const wxString& chosen);
// Slice i of an image export: "scan.png" gives "scan<i>.png"; a name without
// an extension takes the type's.
wxString voxel_slice_path(const wxString& chosen, long slice, voxel_output_t type);

// The whole export; false (logged) on any failure. A recording is written
// through temporary files, so an existing one is replaced only by a complete
// volume; image files already written stay on disk.
bool export_voxels(const reslice_source& source, const voxel_header_t& header, const voxel_export_request& request);

// The header values of the recording in memory, in world coordinates.
voxel_header_t voxel_header_from_session();
// Export of the recording in memory.
bool export_voxels(const voxel_export_request& request);

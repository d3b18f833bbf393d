// The frames a reslice is cut from, as plain data: each image with its
// image-to-world transform, plus how to read its pixels.
#pragma once

#include <optional>
#include <vector>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"
#include "common/vertex.h"
#include "reslice_crop.h"

struct reslice_frame {
    cip_t image;
    // Maps (u * sx, v * sy, 0) in cm to world for pixel (u, v): pose times calibration.
    matrix16d image_to_world;
    long number = -1;  // frame number in the recording; -1 for frames made elsewhere
    long sweep = 0;    // index into reslice_source::sweeps
};

// The region of space one sweep owns when partitioning: the prism that the
// convex polygon (world cm, in a plane across `normal`) sweeps along the normal,
// both ways without end.
struct sweep_partition {
    std::vector<vertex3d> polygon;
    vertex3d normal{0.0, 0.0, 1.0};
};

// How sweeps are shown: RES_USE_PARTITIONING, RES_SWEEP_ADJUSTMENT,
// RES_USE_SINGLE_SWEEP, RES_SWEEP_DISP_NUMBER.
struct sweep_display {
    bool partitioning = false;
    long adjustment = 100;  // partitions scaled about their centres, percent
    bool single_sweep = false;
    long shown = 0;
};

// A rectangle of frame pixels (x, y its first column and row). Scanners put
// text and a black border round the image; outside the rectangle is no data.
struct frame_clip {
    long x = 0, y = 0, width = 0, height = 0;
};

struct reslice_source {
    std::vector<reslice_frame> frames;
    double sx = 0.01, sy = 0.01;   // frame pixel size, cm
    double pixel_size = 0.01;      // reslice pixel size, cm
    bool zero_is_no_data = false;  // masked or RF data
    std::optional<frame_clip> clip;  // the part of every frame that holds data; all of it when not set
    bool bilinear = true;          // interpolate within a frame
    bool doppler = false;          // colour-flow codes: compounded by their own rules
    // One entry per sweep; fewer than two means the recording is one sweep.
    std::vector<sweep_partition> sweeps;
    sweep_display sweep_view;
    // The surfaces a reslice may be cropped to; none when not set.
    surface_sections_fn surface_sections;
};

// The part of one frame the reslice reads: the clip rectangle within the
// image (or all of it), and where that part's pixel (0, 0) lies in the world.
// Empty (width 0) when the clip misses the image.
struct frame_window {
    long x0 = 0, y0 = 0, width = 0, height = 0;
    matrix16d window_to_world;  // as image_to_world, for the window's pixels
    bool empty() const { return width < 1 || height < 1; }
};
frame_window data_window(const reslice_source& source, const reslice_frame& frame);

// Pose (x y z az el roll) times calibration; false for a missing, short or
// non-finite pose, which leaves the frame out.
bool frame_transform(const counted_array_ptr<float>& pose, const matrix16d& calibration, matrix16d* out);

// Appends a frame when its pose is usable and its image is not empty.
bool add_frame(reslice_source* source, const cip_t& image, const counted_array_ptr<float>& pose,
               const matrix16d& calibration);

// The frames held in `bufp`, placed with the calibration and scales of the
// resource table, grouped into the sweeps of RES_SWEEPS with their partitions
// and the sweep display settings; the one place the reslice code reads any of them.
reslice_source source_from_session();
sweep_display sweep_display_from_session();
// The number of sweeps source_from_session would group the frames into (at
// least 1), without building the source: frames past the last one with a
// usable pose and image do not count.
long sweep_count_from_session();
// The probe calibration in force (image plane to sensor).
matrix16d calibration_from_session();

// The frames a reslice is cut from, as plain data: each image with its
// image-to-world transform, plus how to read its pixels.
#pragma once

#include <vector>

#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"

struct reslice_frame {
    cip_t image;
    // Maps (u * sx, v * sy, 0) in cm to world for pixel (u, v): pose times calibration.
    matrix16d image_to_world;
};

struct reslice_source {
    std::vector<reslice_frame> frames;
    double sx = 0.01, sy = 0.01;   // frame pixel size, cm
    double pixel_size = 0.01;      // reslice pixel size, cm
    bool zero_is_no_data = false;  // masked or RF data
    bool bilinear = true;          // interpolate within a frame
    bool doppler = false;          // colour-flow codes: compounded by their own rules
};

// Pose (x y z az el roll) times calibration; false for a missing, short or
// non-finite pose, which leaves the frame out.
bool frame_transform(const counted_array_ptr<float>& pose, const matrix16d& calibration, matrix16d* out);

// Appends a frame when its pose is usable and its image is not empty.
bool add_frame(reslice_source* source, const cip_t& image, const counted_array_ptr<float>& pose,
               const matrix16d& calibration);

// The frames held in `bufp`, placed with the calibration and scales of the
// resource table; the one place the reslice code reads either.
reslice_source source_from_session();
// The probe calibration in force (image plane to sensor).
matrix16d calibration_from_session();

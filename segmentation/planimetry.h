// Object volumes straight from outlines: planimetry generalised to frames in
// any orientation. Each outlined frame gives a cross-section (its centroid in
// space and its area along the frame's normal); the volume is the integral of
// the area vector along the path of the centroids, sweep by sweep.
#pragma once

#include <array>
#include <vector>

#include "common/matrix16d.h"
#include "common/vertex.h"
#include "segmentation/outline_model.h"

// One cross-section in world cm, with the cubics (t^3, t^2, t, 1) of the
// segment from it to the next.
struct area3d_t {
    vertex3d centroid;
    vertex3d area_vector;  // unit normal of the frame times the area in cm^2
    std::array<vertex3d, 4> centroid_cubic{};
    std::array<vertex3d, 4> area_cubic{};
};

// Where each frame of a recording lies: its image-to-world transform (pixel
// (u, v) at (u * sx, v * sy, 0) cm) and its sweep. Frames without a usable
// pose are left out of every measurement.
struct frame_placement {
    matrix16d image_to_world;
    long sweep = 0;
    bool usable = false;
};

struct frame_placements {
    std::vector<frame_placement> frames;  // indexed by frame number
    double sx = 0.01, sy = 0.01;          // cm per pixel
    bool scales_usable() const;
    const frame_placement* at(long frame) const;
};

// The frames held, placed with the session's calibration and scales, each in
// the sweep RES_SWEEPS gives it.
frame_placements placements_from_session();

vertex3d extrapolate_3d_point(const vertex3d& a, const vertex3d& b);
std::array<vertex3d, 4> catmull_rom_3d_curve(const vertex3d& p0, const vertex3d& p1, const vertex3d& p2,
                                             const vertex3d& p3);
// Fills the cubics of every segment of a list of more than two cross-sections.
void interpolate_normal_3d_curves(std::vector<area3d_t>& list);
double calculate_3dparametric_volume(const area3d_t& section);
double calculate_3dlinear_volume(const area3d_t& first, const area3d_t& second);

// The cross-section of a set on a placed frame; false when the frame is not
// usable or the set has no measurable area.
bool cross_section(contour_set& set, const frame_placements& placements, area3d_t* out);

// Millilitres, never negative; 0 with fewer than two usable cross-sections.
// Measures sets whose area is not known.
double planimetry_volume(contour_object& object, const frame_placements& placements);

// The recording's landmarks as a reslice sees them: those lying in the slab
// the reslice image is built from, placed on its pixels.
#pragma once

#include <cstddef>
#include <vector>

#include "reslice_geometry.h"
#include "resources/recording_data.h"

struct reslice_landmark {
    std::size_t index = 0;     // in the landmark list
    vertex3d at;               // reslice x, y (pixels) and distance along the normal (cm)
    long column = 0, row = 0;  // the reslice pixel it falls on
    bool fiducial = false;
};

// How far from the plane a point still shows in the reslice: the frames'
// half thickness plus the slice's, and never under half a pixel.
double reslice_slab_half_depth(const reslice_plane& plane, const reslice_settings& settings);

// The landmarks with a world position (all kinds but 2D, whose position lies
// in a frame) that are within reslice_slab_half_depth of the plane and fall
// on one of its pixels, in list order.
std::vector<reslice_landmark> landmarks_in_reslice(const reslice_plane& plane, const reslice_settings& settings,
                                                   const std::vector<landmark_t>& marks);

// Colouring a surface with the recorded data: at each point the frames are
// sampled along the point's normal, a few pixels in and out, and the samples
// compounded into one grey value, shown through the colour map.
#pragma once

#include <cstdint>
#include <vector>

#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_geometry.h"
#include "surfaces/surface_mesh.h"

struct byte_cmap_t;

struct surface_colouring_t {
    int depth_pixels = 5;  // "Compounding depth (pixels):", each way along the normal
    reslice_compounding_t type = reslice_compounding_t::maximum;  // "&Max", "M&in", "&Avg"
};

// One grey value (1 to 255) per point of the mesh, 0 where no frame holds any
// sample. A sample belongs to the frame whose plane lies nearest it, within
// the frames' slab half thickness, when it falls on the frame's image.
std::vector<std::uint8_t> data_along_normals(const surface_mesh_t& mesh, const reslice_source& frames,
                                             const surface_colouring_t& how);

// Grey values through `map` (grey without one).
std::vector<rgb_t> grey_colours(const std::vector<std::uint8_t>& values, const byte_cmap_t* map);

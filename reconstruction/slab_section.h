// Where one frame's slab meets a reslice plane, in reslice pixel coordinates,
// and which pixels of each reslice row that region covers.
#pragma once

#include <vector>

#include "common/matrix16d.h"
#include "common/vertex.h"
#include "reslice_geometry.h"

struct reslice_span {
    long row = 0, first = 0, last = 0;  // columns first..last inclusive
};

// A frame's pixel grid: pixel (u, v) is centred on (u sx, v sy) of the image
// plane and owns the cell half a pixel around it, so the image rectangle runs
// from -sx/2 to (columns - 1/2) sx: the first and last pixels count alike.
struct frame_grid {
    long columns = 0, rows = 0;
    double sx = 0.01, sy = 0.01;  // cm per pixel
};

// The convex polygon where the slab (the image rectangle, shrunk by 1e-5 cm on
// each side, thickened by +-half_thickness along the frame normal) meets the
// plane at distance `offset` along the reslice normal. Empty when they miss or
// when any point is not finite; a frame lying in the plane gives its whole rectangle.
std::vector<vertex2d> slab_section(const reslice_plane& plane, double offset, const matrix16d& image_to_world,
                                   const frame_grid& grid, double half_thickness);

// The pixels (integer x, y) inside a convex polygon, clipped to the image.
std::vector<reslice_span> row_spans(const std::vector<vertex2d>& polygon, long width, long height);
// The same into spans, reusing its storage.
void row_spans(const std::vector<vertex2d>& polygon, long width, long height, std::vector<reslice_span>& spans);

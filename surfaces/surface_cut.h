// Where a closed surface meets a plane: the outlines it cuts there. Shown on
// frames the surface passes through, used to crop reslices to a surface and
// to give each slice of a voxel export its outlines.
#pragma once

#include <vector>

#include "segmentation/outline_model.h"
#include "surfaces/surface_geometry.h"
#include "surfaces/surface_mesh.h"

// The outlines where `mesh` cuts `plane`, in the plane's pixels. For a closed,
// outward-facing mesh every outline is closed and runs anticlockwise about the
// inside seen from the normal's side (positive area in pixel coordinates);
// chains that cannot close (an open or torn mesh) come back open. Points lying
// on the plane count as above it, so a mesh touching the plane gives no
// zero-area outline.
std::vector<contour> cut_mesh(const surface_mesh_t& mesh, const plane_t& plane);

// The plane of a reslice or slice: pixel (x, y) at origin + x ex + y ey.
plane_t plane_through(const vertex3d& origin, const vertex3d& ex, const vertex3d& ey);

// Where a closed surface meets a plane: the outlines it cuts there. Shown on
// frames the surface passes through, used to crop reslices to a surface and
// to give each slice of a voxel export its outlines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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

// One end of a triangle's cut: on the edge between points[0] and points[1]
// (lower index first), at weights[0] of the first plus weights[1] of the
// second; the weights are in 0..1 and sum to 1.
struct cut_end_t {
    vertex3d position;  // world cm
    std::array<std::uint32_t, 2> points{};
    std::array<double, 2> weights{};
};
struct triangle_cut_t {
    std::size_t triangle = 0;  // index into the mesh's triangles
    std::array<cut_end_t, 2> ends;
};

// Each triangle's piece of the cut by `plane`, unchained, with the points
// each end lies between: for drawing values held per point along the cut.
// The same rule as cut_mesh (points on the plane count as above), so the
// pieces lie on its outlines; pieces of no length are left out.
std::vector<triangle_cut_t> triangle_cuts(const surface_mesh_t& mesh, const plane_t& plane);

// The plane of a reslice or slice: pixel (x, y) at origin + x ex + y ey.
plane_t plane_through(const vertex3d& origin, const vertex3d& ex, const vertex3d& ey);

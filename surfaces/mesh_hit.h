// Where a line segment first meets a triangle mesh: how a click in the 3D
// window finds the surface under the mouse, and where curve points land.
#pragma once

#include <cstddef>

#include "surfaces/surface_mesh.h"

struct mesh_hit_t {
    double t = 0.0;             // along the segment, 0 at its start and 1 at its end
    vertex3d point;             // world cm
    vertex3d normal;            // the triangle's unit normal
    std::size_t triangle = 0;   // index into the mesh's triangles
};

// The hit nearest the segment's start from p to q, either side of a triangle;
// false when the segment misses every triangle. Triangles naming points that
// do not exist, and degenerate ones, are passed over.
bool segment_hit(const surface_mesh_t& mesh, const vertex3d& p, const vertex3d& q, mesh_hit_t* hit);

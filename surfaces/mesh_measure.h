// Measures and tidies a closed triangle mesh: which way it faces, its point
// normals, and the volume it encloses.
#pragma once

#include <vector>

#include "surfaces/surface_mesh.h"

struct enclosed_t {
    double volume = 0.0;  // cm^3 (ml), positive for an outward-facing closed mesh
    vertex3d centre;      // centroid of the enclosed volume
};

// By the divergence theorem: the signed tetrahedra from the origin summed.
enclosed_t enclosed(const surface_mesh_t& mesh);
// Turns every triangle over when the mesh as a whole faces inwards.
void orient_outwards(surface_mesh_t& mesh);
// Turns every triangle round: the mesh then faces the other way.
void flip_triangles(surface_mesh_t& mesh);
// orient_outwards() and recalc_normals() in one pass over the triangles; the
// measure of the outward mesh (its volume never negative).
enclosed_t outward_with_normals(surface_mesh_t& mesh);
// Point normals from the area-weighted normals of the triangles around them.
void recalc_normals(surface_mesh_t& mesh);

// Total triangle area in cm^2.
double surface_area(const surface_mesh_t& mesh);
// One mesh holding every sequence's points and triangles, for saving whole.
surface_mesh_t merged_mesh(const std::vector<const surface_mesh_t*>& meshes);

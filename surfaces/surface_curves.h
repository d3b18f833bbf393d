// Curves drawn on built surfaces: named polylines of surface points, placed
// point by point with the Mark tool, renamed, erased, moved back onto a
// rebuilt surface, and used to split a surface into two patches.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include <wx/string.h>

#include "resources/recording_data.h"
#include "surfaces/surface_mesh.h"

class surface_interp;

// "Curve %i" with the smallest number the object's curves do not use.
wxString default_curve_name(const curve_set& curves, int object);

// Whether `name` may be given to curve `self` (none for a new curve) of
// `object`; otherwise *why holds the refusal.
bool check_curve_name(const curve_set& curves, int object, const wxString& name, std::optional<std::size_t> self,
                      wxString* why);

// Adds p to the object's curve in progress (its last curve, while that is
// open), or starts a new curve with its default name. A point within
// `close_distance` of the first point of a curve of three points or more
// closes the curve instead. Returns the curve's index in the set.
std::size_t add_curve_point(curve_set& curves, int object, const vertex3d& p, double close_distance);

// The object's curve (or any object's, with object -1) passing nearest the
// segment from p to q, within `reach`; none when none comes so near.
std::optional<std::size_t> curve_near_segment(const curve_set& curves, int object, const vertex3d& p,
                                              const vertex3d& q, double reach);

// The nearest point of the surface to p; p itself when the surface has no triangles.
vertex3d nearest_surface_point(const surface_interp& surface, const vertex3d& p);
// Moves every point of the object's curves onto the nearest point of its
// (rebuilt or re-read) surface.
void reattach_curves(curve_set& curves, int object, const surface_interp& surface);

// The two patches a closed curve cuts a mesh into: the curve is carried
// onto the mesh's edges along the shortest paths between the points nearest
// its own, and the triangles on either side gathered. None when the curve is
// open, has fewer than three distinct points on the mesh, or does not part
// the mesh in two.
struct mesh_split_t {
    surface_mesh_t first, second;  // the larger patch first
};
std::optional<mesh_split_t> split_mesh(const surface_mesh_t& mesh, const curve_t& curve);

// Closes every hole of a patch (each loop of edges that only one triangle
// uses) with a fan of triangles about the loop's centre, turned as the patch
// is: a split part becomes a closed surface again.
void close_holes(surface_mesh_t& mesh);

// The refusal of a split that failed.
inline constexpr const char* split_failed_text =
    "Surface splitting was not successful.\n\nThe curve must be closed in order to split the surface.\n"
    "Alternatively, try defining more points between any two marked red,\nor reducing the convexity at any "
    "single point marked red.";

// The curves of the session's surfaces (RES_CURVE) as the 3D window's Mark
// tool edits them: points added, and the curve operations asked for.
#pragma once

#include <cstddef>
#include <vector>

#include "common/vertex.h"

// Adds a point to the object's curve in progress (see add_curve_point) and
// writes the curves; the curve's index.
std::size_t add_session_curve_point(int object, const vertex3d& p, double close_distance);

// "What do you want to do with this curve?": rename, erase, or split the
// surface along it (the smaller patch becomes the separate mesh object,
// RES_WRL_OBJECT). Refusals and failures are told. True when anything changed.
bool curve_operation(std::size_t curve);

// "What do you want to do with this surface?" for the patch a curve split
// off: "Re-assign this surface to" the current object, which takes the patch
// as its surface while the object it came from keeps the rest, each closed
// across the cut. True when done.
bool patch_operation(int current_object);

// Moves the curves of these objects onto their surfaces as they now are, in
// one write of the curves.
void reattach_session_curves(const std::vector<int>& objects);

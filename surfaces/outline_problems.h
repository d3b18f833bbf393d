// Crossings left in outlines after repair. Surface building still uses such
// outlines, but marks where they are so that the user can redraw them.
#pragma once

#include "segmentation/outline_model.h"

// The first point where two non-adjacent segments of a contour cross.
bool first_self_crossing(const contour& c, vertex2d* at);
// The first point where an edge of one contour crosses an edge of the other.
bool first_crossing(const contour& a, const contour& b, vertex2d* at);

// Contours of one set that overlap (their edges cross) have no consistent
// inside: nesting would count the overlap as a hole. Before surfaces are
// built they are replaced by the outlines of their union.
#pragma once

#include <cstddef>

#include "segmentation/outline_model.h"

// Every group of mutually crossing contours among first..last (inclusive) is
// replaced by the outlines of the group's union, traced at a quarter of a
// pixel; contours that cross nothing stay as they are. Returns how many
// groups were joined.
std::size_t make_non_overlapping(contour_set& set, std::size_t first, std::size_t last);

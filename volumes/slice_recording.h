// A stack of slices made the session's recording: frames of 8-bit grey,
// each placed by its own pose, with the identity calibration.
#pragma once

#include <vector>

#include "common/cip.h"
#include "common/counted_array_ptr.h"

// Pixel sizes in mm: across a row (between columns) and down (between rows).
void make_slice_recording(long columns, long rows, double column_spacing_mm, double row_spacing_mm,
                          const std::vector<cip_t>& images, const std::vector<counted_array_ptr<float>>& poses);

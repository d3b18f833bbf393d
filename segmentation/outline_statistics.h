// What the Draw page reports for the current object on the current frame:
// area, perimeter and centre of its outlines there, the object's volume, and
// the mean data value inside. Texts never show 0.000 for something that could
// not be measured, nor inf or NaN: a placeholder stands in.
#pragma once

#include <cstddef>
#include <optional>

#include <wx/string.h>

#include "common/cip.h"
#include "segmentation/planimetry.h"

// How a frame's values read: grey codes, CT values (16-bit samples to
// Hounsfield units, optionally to bone density) or strain.
struct data_meaning {
    enum kind_t { grey, ct, strain } kind = grey;
    double hu_slope = 1.0, hu_offset = 0.0;
    bool bone_density = false;  // a density calibration phantom was named
    double density_scale = 1.0, density_offset = 0.0;
};

// Mean of the frame's values (its samples when `samples`) over the pixels the
// set labels inside; false when the frame has no data or nothing is inside.
bool value_inside_region(contour_set& set, const cip_t& frame, bool samples, double* mean);
// The sum and count behind that mean; false when nothing is inside.
bool sum_inside_region(contour_set& set, const cip_t& frame, bool samples, double* sum, std::size_t* count);

// What a built surface tells the statistics: it gives the object's volume and
// centre in preference to the outlines.
struct surface_summary_t {
    double volume = 0.0;  // ml
    vertex3d centre;      // world cm
};

struct outline_statistics {
    wxString area, perimeter, centre, volume, data;
};

// `frame_image` may be empty (no data line). The object's volume is
// measured again (planimetry) unless it has a surface.
outline_statistics measure_outlines(contour_object& object, long frame, const frame_placements& placements,
                                    const cip_t& frame_image, const data_meaning& meaning,
                                    std::optional<surface_summary_t> surface = std::nullopt);

// The same for object `object` on frame `frame` of the recording held.
outline_statistics measure_outlines_from_session(int object, long frame,
                                                 std::optional<surface_summary_t> surface = std::nullopt);
data_meaning data_meaning_from_session();

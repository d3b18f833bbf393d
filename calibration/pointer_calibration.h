// Pointer (stylus) calibration by pivoting: while the stylus turns about its
// tip, the tip stays put in the world, so the tip's offset in the stylus
// sensor's frame is what maps every pose onto one point.
#pragma once

#include <array>
#include <vector>

#include <wx/string.h>

#include "common/vertex.h"

// A stylus sensor pose: x, y, z (cm), azimuth, elevation, roll (degrees).
using pointer_pose_t = std::array<float, 6>;

struct pivot_result_t {
    bool solved = false;  // converged with an RMS the page accepts as a calibration
    vertex3d tip;         // offset of the tip in the sensor's frame, cm
    int info = 0;         // MINPACK's
    double rms = 0.0;     // cm, over the poses after the first
    wxString message;     // the page's text
};

// The Pointer page's rule: below this RMS a pivot is a calibration.
inline constexpr double pivot_rms_limit_cm = 0.5;

// Solves from four poses on; fewer give an unsolved result without a message.
// Poses that leave the tip undetermined (held still, or turned about one
// axis only) give "No new calibration\nPoints failed to converge".
pivot_result_t solve_pivot(const std::vector<pointer_pose_t>& poses);

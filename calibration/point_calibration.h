// Point calibration: the probe calibration (image to probe sensor, and the
// image scales) from frames in which a tracked stylus tip is imaged. Each
// accepted frame pairs the tip's echo in the image with the tip's known
// position in the world; the calibration is the one that maps every echo
// onto its tip.
#pragma once

#include <array>
#include <vector>

#include <wx/string.h>

#include "common/speed_of_sound.h"
#include "common/vertex.h"


// One accepted observation.
struct point_status_t {
    double u = 0.0, v = 0.0;        // the echo in the image, pixels
    std::array<float, 6> pose{};    // the probe sensor's pose: cm and degrees
    vertex3d tip;                   // the stylus tip in the world, cm
    double angle = 0.0;             // degrees, from the tip detector
};

struct point_solve {
    double sx = 0.0, sy = 0.0;      // cm per pixel (sy as stored: the water's depth factor divided out)
    std::array<double, 6> pose{};   // the calibration: tx, ty, tz (cm), azimuth, elevation, roll (degrees)
    bool solved = false;
    int info = 0;
    double rms = 0.0;               // cm, over all residuals
    std::array<double, 3> axis_rms{};  // cm, per image axis
    wxString message1, message3;    // RES_CAL_MESSAGE_1 and RES_CAL_MESSAGE_3

    // scale > 0 fixes the scales at (scale, scale times the depth factor);
    // 0 estimates them. At least three observations; the water is at `celsius`.
    bool run_point_solve(const std::vector<point_status_t>& observations, double scale, double celsius);
};

// The stylus tip's radius (cm): the echo comes from its surface, not its centre.
inline constexpr double stylus_tip_radius_cm = 0.07;

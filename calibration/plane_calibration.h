// Plane-phantom calibration: the probe's calibration (image to probe sensor)
// from many B-scans of a water bath's flat floor. Every accepted floor line,
// placed through its frame's pose and the calibration, must lie in one common
// plane; three Levenberg-Marquardt stages find the calibration and the plane,
// from many random starts and their mirror images.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <wx/string.h>

#include "common/matrix16d.h"

// One detected floor line with the pose that came with its frame.
struct frame_status_t {
    int decision = 0;                 // 0 nothing yet, 1 accepted by the consensus test, 2 rejected
    float x1 = 0, x2 = 0;             // end points' columns, pixels
    float y1 = 0, y2 = 0;             // end points' buffer rows, pixels
    std::array<float, 6> position{};  // the probe sensor's pose: cm and degrees
};

// The two lines of known length drawn over an image in step 3, which give
// the pixel scales when the video source does not report them.
struct scale_lines_t {
    // x and y of the first line's two ends, then of the second's (pixels; negative while unset).
    std::array<double, 8> ends{-1, -1, -1, -1, -1, -1, -1, -1};
    double length1_cm = 10.0, length2_cm = 10.0;
};

// Scales (cm per pixel) from the two lines; false with the reason for the
// user (the page shows it as an error) when the lines cannot give them.
bool solve_scale_lines(const scale_lines_t& lines, double* sx, double* sy, wxString* error);

// An angle wrapped into [-pi, pi].
double clamp_angle(double radians);

class plane_solve;

// How far each line's two end points lie from a trial's plane once placed
// through the trial's calibration (cm, signed), in the order of the lines.
std::vector<std::array<double, 2>> line_residuals(const std::vector<frame_status_t>& lines, const plane_solve& solve,
                                                  int trial, double celsius);

// One run of the third stage alone from x = (d, alpha, beta, tx, ty, tz,
// azimuth, elevation, roll; cm and radians), as the solve runs it; x receives
// the result, rms the root mean square residual (cm). MINPACK's info.
int plane_stage3(const std::vector<frame_status_t>& lines, double sx, double sy, double celsius, std::vector<double>& x,
                 double* rms);

class plane_solve {
public:
    struct trial_t {
        double a = 0, b = 0, c = 0, d = 0;            // the plane a x + b y + c z + d = 0 (cm)
        double tx = 0, ty = 0, tz = 0;                // the calibration's translation (cm)
        double azimuth = 0, elevation = 0, roll = 0;  // and rotation (degrees)
        double rms = -1.0;                            // cm; -1 for a failed trial
        int info = 0;                                 // MINPACK's

        matrix16d calibration_matrix() const;
    };
    static constexpr int trial_count = 50;

    double sx = 0.0, sy = 0.0;  // the scales used, cm per pixel
    bool solved = false;
    std::array<trial_t, trial_count> trials{};
    int best = -1;
    wxString message1, message3;  // RES_CAL_MESSAGE_1 and RES_CAL_MESSAGE_3

    // Solves for the calibration from the lines, with the water at `celsius`
    // and images `image_width` pixels wide (for the mirrored starts). The
    // random starts come from `seed`.
    bool run_plane_solve(const std::vector<frame_status_t>& lines, double sx, double sy, double celsius,
                         long image_width, std::uint64_t seed);
    // The same, seeded from the clock.
    bool run_plane_solve(const std::vector<frame_status_t>& lines, double sx, double sy, double celsius,
                         long image_width);

    const trial_t* best_trial() const { return solved && best >= 0 ? &trials[std::size_t(best)] : nullptr; }
};

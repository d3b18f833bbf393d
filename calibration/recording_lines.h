// The floor lines of a whole recording: what the Probe calib page gathers
// live, one accepted line at a time, found at once in every posed frame.
#pragma once

#include <vector>

#include "calibration/line_detection.h"
#include "calibration/plane_calibration.h"

struct recording_lines_t {
    std::vector<frame_status_t> accepted;
    std::vector<long> frames;  // the frame each accepted line came from
    long posed = 0;            // frames with a usable pose
};

// Runs the detector over every frame of the session's frame buffer that has
// a finite pose; frames of another size than the detector's give no line.
recording_lines_t detect_recording_lines(const line_detector_t& detector);

// The detection settings from the session's resources (RES_CAL_SIGMA ...).
line_detection_settings_t line_settings_from_session();

// Synthetic poses for recordings made without a tracker: the probe is taken
// to have moved evenly along one axis and/or rotated evenly about one axis
// over the whole recording.
#pragma once

struct manual_motion_t {
    int translation = 0;     // 0 none, 1 along z, 2 along x, 3 along y
    double span_mm = 0.0;    // total travel
    int rotation = 0;        // 0 none, 1 roll about x, 2 elevation about y, 3 azimuth about z
    double angle_deg = 0.0;  // total rotation
    double radius_mm = 0.0;  // distance of the rotation axis from the sensor origin

    bool any() const { return translation != 0 || rotation != 0; }
};

// The pose of frame number frame of frames. A single frame stays at the
// origin. False for modes outside the lists above.
bool manual_pose(const manual_motion_t& motion, long frame, long frames, float (&pose)[6]);

// The motion the manual-position resources describe.
manual_motion_t manual_motion_from_resources();

class dynabuf;
// Gives every frame of a finished recording its manual pose. Without a
// motion to describe, manual positioning is switched off again (the manual
// and position-recording flags are cleared) and false returned.
bool apply_manual_positions(dynabuf& frames, const manual_motion_t& motion);

// The 3D window's camera as plain state, so that scripts can set it without a
// window and the window draws what they set: the direction it looks along,
// which way is up, the point it looks at (the middle of the scene until one
// is given) and the zoom (RES_OUTLINE_ZOOM, kept with the view's settings).
#pragma once

#include <functional>
#include <optional>

#include "common/vertex.h"

struct view3d_camera_t {
    vertex3d forward{0.0, 0.0, -1.0};  // unit, from the eye towards the point looked at
    vertex3d up{0.0, 1.0, 0.0};        // unit, square to forward
    std::optional<vertex3d> target;    // cm; none: the middle of the scene

    // Right-handed screen axes: x to the right, y up, z towards the viewer.
    vertex3d right() const;
    vertex3d back() const { return {-forward.x, -forward.y, -forward.z}; }

    // The camera of the window's first turns: about the world z axis by `yaw`,
    // then about the screen's x axis by `pitch` (degrees), as the presets give them.
    static view3d_camera_t from_turns(double yaw_degrees, double pitch_degrees);

    // Looks along `forward` with `up` (made square to it). False, and nothing
    // changed, when either is zero or not finite or they are parallel.
    bool orient(const vertex3d& forward, const vertex3d& up);
    // Turns about the screen's up axis (rotate), its line of sight (twist) or
    // its x axis (tilt), by degrees; the point looked at stays.
    void rotate(double degrees);
    void twist(double degrees);
    void tilt(double degrees);
};

// The session's camera and who to tell when it changes (the 3D window, when there is one).
view3d_camera_t& session_view3d_camera();
void set_view3d_camera_listener(std::function<void()> listener);
// Tells the listener that the session's camera changed.
void view3d_camera_changed();

// Where a reslice window's plane starts: laid on one frame, along a sweep, or
// in the isocentre frame.
#pragma once

#include <array>

#include "reslice_frames.h"
#include "reslice_geometry.h"

inline constexpr int sweep_reslice_window = 3;
inline constexpr int isocentre_reslice_window = 4;

// Windows 0, 1 and 2 (the main view and the two orthogonal-planes views) put
// their plane through the middle of `frame`: window 0 across the depth axis
// (up towards the right edge, size kept), window 1 across the lateral axis
// (up out of the image, H x H pixels), window 2 across the depth axis (up out
// of the image, W x H pixels). False, and *settings untouched, for any other
// window or an empty frame.
bool default_plane_settings(int window, const reslice_frame& frame, double sx, double sy, reslice_settings* settings);

// Window 3 follows the mean orientation of one sweep's frames (a sweep number
// out of range means the nearest sweep; all frames when there are fewer than
// two sweeps or the sweep has no frames): the normal is
// the unit sum of the frames' image x axes, the up direction the sum of their
// image y axes made square to it. The plane goes through the middle of those
// frames' extent, trunc(1.05 e + 3) pixels across and trunc(1.1 e + 3) up for
// an extent of e pixels. Sums that cancel fall back to the first frame's axes.
// False, and *settings untouched, without frames.
bool sweep_plane_settings(const reslice_source& source, long sweep, reslice_settings* settings);

// The isocentre window lies in the isocentre frame's x-y plane (the pose
// maps world to isocentre coordinates, so its inverse places that plane in
// the world), up along its y axis, centred in that plane on the middle of all
// frames' extent and trunc(1.05 e + 3) pixels each way. A pose that is not
// finite counts as the identity; without frames the plane is centred on the
// isocentre and keeps its size.
void isocentre_plane_settings(const reslice_source& source, const std::array<double, 6>& isocentre_pose,
                              reslice_settings* settings);

// What the default plane of a window depends on besides the frames.
struct default_plane_inputs {
    long current_frame = 0;                 // RES_BUF_CURRENT_FRAME, a recording frame number
    long sweep = 0;                         // RES_SWEEP_DISP_NUMBER
    std::array<double, 6> isocentre{};      // RES_ISOCENTRE_XTRANS .. RES_ISOCENTRE_ROLL
};

// The default plane of any window 0 to 4. Windows 0 to 2 need the current
// frame among the source's frames. False, and *settings untouched, when the
// window cannot be placed.
bool default_plane_settings(int window, const reslice_source& source, const default_plane_inputs& inputs,
                            reslice_settings* settings);

// The inputs as the session's resources hold them.
default_plane_inputs default_plane_inputs_from_session();

// The same from the session's frames and resources; nothing happens when
// RES_BUF_CURRENT_FRAME is not a frame of the recording.
bool default_plane_from_session(int window, reslice_settings* settings);

// A frame thickness that lets neighbouring frames' slabs meet: 0.6 times the
// median distance between the centres of consecutive frames (0 with fewer
// than two frames). Without it only pixels exactly on a frame get data.
double suggested_bscan_half_thickness(const reslice_source& source);

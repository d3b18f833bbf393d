// Where a reslice window's plane starts: laid on one frame.
#pragma once

#include "reslice_frames.h"
#include "reslice_geometry.h"

// Windows 0, 1 and 2 (the main view and the two orthogonal-planes views) put
// their plane through the middle of `frame`: window 0 across the depth axis
// (up towards the right edge, size kept), window 1 across the lateral axis
// (up out of the image, H x H pixels), window 2 across the depth axis (up out
// of the image, W x H pixels). False, and *settings untouched, for any other
// window or an empty frame.
bool default_plane_settings(int window, const reslice_frame& frame, double sx, double sy, reslice_settings* settings);

// A frame thickness that lets neighbouring frames' slabs meet: 0.6 times the
// median distance between the centres of consecutive frames (0 with fewer
// than two frames). Without it only pixels exactly on a frame get data.
double suggested_bscan_half_thickness(const reslice_source& source);

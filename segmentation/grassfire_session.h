// The threshold segmentation of the open recording: its settings from the
// resource table, the pixel classes from the program's colour map, and the
// frames from the frame buffer. The review view calls this on a click and
// simplifies and inserts what comes back.
#pragma once

#include <optional>
#include <vector>

#include "segmentation/grassfire.h"

struct grassfire_setup {
    grassfire_settings settings;
    grassfire_classes classes;
};

// RES_SEGMENT_TYPE, RES_SEGMENT_CONNECTED, RES_SEGMENT_RIDGES, the grey
// window and RES_BUF_DOPPLER, with the classes of `colourmap` (nothing is
// selected without one).
grassfire_setup grassfire_setup_from_session();

// A click at pixel (x, y) of recording frame `frame` (x at or above
// grassfire::no_seed: no seed). With RES_SEGMENT_FRAME (the gap G) below 1
// that frame alone is segmented, else the frames whose number is congruent
// to it modulo G. The sets that hold outlines, each with its recording frame
// number; nothing when the user cancelled.
std::optional<std::vector<contour_set>> segment_click_from_session(long frame, long x, long y, long jump);

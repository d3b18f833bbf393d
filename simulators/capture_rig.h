// Everything live capture needs, built in the program's order (image sources,
// tracker, synchroniser, recorder, simulated images) and published through
// the process-wide pointers vid, pos and lipo while it lives. kestrane-tool
// and the tests record with it; the program builds the same parts at start-up.
#pragma once

#include <memory>

#include "acquisition/igtl_image_source.h"
#include "acquisition/ks_video_capture.h"
#include "acquisition/live_pos.h"
#include "acquisition/live_recorder.h"
#include "acquisition/posinfo.h"
#include "simulators/simulated_capture.h"

class interaction_t;

struct capture_rig_t {
    // The tracker is looked for on RES_SERIAL_PORT as the settings say; clocks default to the master clock.
    explicit capture_rig_t(interaction_t& ui, ks_v4l2_buffer::clocks_t video_clocks = {},
                           posinfo::clock_t tracker_clock = {});
    ~capture_rig_t();
    capture_rig_t(const capture_rig_t&) = delete;
    capture_rig_t& operator=(const capture_rig_t&) = delete;

    std::unique_ptr<image_source_t> simulated;  // outlives the capture that drives it
    std::unique_ptr<image_source_t> network;    // an OpenIGTLink server's images, likewise
    ks_video_capture video;
    posinfo tracker;
    live_pos sync;
    live_recorder recorder;
};

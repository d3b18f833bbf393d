#include "capture_rig.h"

capture_rig_t::capture_rig_t(interaction_t& ui, ks_v4l2_buffer::clocks_t video_clocks, posinfo::clock_t tracker_clock)
    : network(std::make_unique<igtl_image_source_t>(video_clocks.now)), video(video_clocks), tracker(ui, std::move(tracker_clock)), recorder(video_clocks.now)
{
    vid = &video;
    pos = &tracker;
    lipo = &sync;
    sync.set_sweep_control(&recorder);
    simulated = simulated_source_from_settings();  // the phantom takes its poses from lipo
    if (simulated)
        video.add_source(simulated.get());
    video.add_source(network.get(), ks_video_capture::source_slot_t::network);
}

capture_rig_t::~capture_rig_t()
{
    recorder.stop();
    lipo = nullptr;
    pos = nullptr;
    vid = nullptr;
}

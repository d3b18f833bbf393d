// The image-source front end: publishes the sources found, runs the chosen
// one exactly while RES_VIDEO_CAPTURE_EVENT has listeners, and drives it
// from the main loop's idle ticks.
#pragma once

#include <array>
#include <memory>

#include "acquisition/image_source.h"
#include "acquisition/ks_v4l2_buffer.h"
#include "common/functor.h"

// Kinds of image source in RES_VID_CARD_LIST.
enum image_source_kind_t : int {
    IMAGE_SOURCE_NONE = 0,
    IMAGE_SOURCE_V4L2 = 2,
    IMAGE_SOURCE_RF_DIGITISER = 3,
};

// Sources whose frames are RF samples.
inline bool rf_source_kind(int kind)
{
    return kind == IMAGE_SOURCE_RF_DIGITISER || kind == image_source_simulated_rf;
}

class ks_video_capture;
extern ks_video_capture* vid;  // the program's image-source front end, while one exists

class ks_video_capture {
public:
    explicit ks_video_capture(ks_v4l2_buffer::clocks_t clocks = {});
    ~ks_video_capture();
    ks_video_capture(const ks_video_capture&) = delete;
    ks_video_capture& operator=(const ks_video_capture&) = delete;

    void video_cap_changed();
    bool start_acquisition();
    void stop_acquisition();
    void activ_acquisition();
    // Pixel scales of the current source: RF data use RES_RF_SCALE both ways.
    void get_bscan_scale(double& x, double& y) const;

    // Looks for capture devices anew (a card plugged in since start-up) and republishes the list.
    void search_again();

    // Slots of the other image sources, in their order in RES_VID_CARD_LIST.
    enum class source_slot_t { simulated, network };
    // Offers another image source (not owned; it must outlive this object,
    // or be replaced first) after the V4L2 devices in RES_VID_CARD_LIST, in
    // place of the one offered before in its slot; null withdraws it.
    void add_source(image_source_t* source, source_slot_t slot = source_slot_t::simulated);

    bool running() const { return running_; }
    int kind() const { return kind_; }
    ks_v4l2_buffer& v4l2() { return v4l2_; }

private:
    int selected_kind() const;
    ks_v4l2_buffer* backend();
    // The chosen source is one that publishes its own frames.
    bool direct_selected() const;
    void follow_source();  // the chosen source's frame size and data kind
    void publish_list();
    void fit_recording_window();

    struct offered_t {
        image_source_t* source = nullptr;
        std::unique_ptr<ks_v4l2_buffer> backend;  // for a source with a capture device behind it
    };
    // The offered source chosen in RES_VID_CARD; null for a V4L2 device or none.
    offered_t* selected();
    const offered_t* selected() const;

    ks_v4l2_buffer::clocks_t clocks_;
    ks_v4l2_buffer v4l2_;
    std::array<offered_t, 2> offered_;
    int kind_ = IMAGE_SOURCE_NONE;
    bool running_ = false;
    long running_card_ = -1;
    std::unique_ptr<pmf_functor<ks_video_capture>> changed_proc_;
    std::unique_ptr<pmf_functor<ks_video_capture>> idle_proc_;
};

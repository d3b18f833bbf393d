// Frames from an OpenIGTLink server as an image source: the IMAGE messages
// of the server RES_IGTL_SERVER names, cut to the recording window and
// released after the group delay like a capture card's, so the poses around
// each frame have arrived before it is paired. The frame size is the
// server's: with nothing recorded yet, a recording window that does not fit
// in it becomes the whole frame.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "acquisition/image_source.h"
#include "acquisition/igtl_receiver.h"

inline constexpr int image_source_igtl = 15;

class igtl_image_source_t final : public image_source_t {
public:
    explicit igtl_image_source_t(igtl_receiver_t::clock_t clock);
    ~igtl_image_source_t() override;

    vid_card_list_t entry() const override { return {"OpenIGTLink images", image_source_igtl, 0}; }
    void update_resources() override;
    bool start() override;
    void stop() override;
    capture_step_t step(std::uint64_t now) override;

    long frames_dropped() const { return dropped_; }
    long frames_published() const { return published_; }
    // The connection's state and counts, for the image source dialog; empty when not running.
    wxString status_text() const;

private:
    void report_connection();
    void adopt_size(long width, long height);

    igtl_receiver_t::clock_t clock_;
    std::shared_ptr<igtl_receiver_t> receiver_;
    std::deque<igtl_receiver_t::frame_t> pending_;
    long width_ = 0, height_ = 0;  // of the server's frames, once seen
    bool was_connected_ = false;
    wxString last_problem_;
    bool crop_warned_ = false;
    frame_rate_gate_t rate_gate_;
    long dropped_ = 0, published_ = 0;
};

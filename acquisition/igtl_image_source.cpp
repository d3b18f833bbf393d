#include "igtl_image_source.h"

#include <algorithm>
#include <cstring>

#include <wx/log.h>

#include "acquisition/copy_loops.h"
#include "common/dynabuf.h"
#include "common/timestamp.h"
#include "resources/resource_table.h"

igtl_image_source_t::igtl_image_source_t(igtl_receiver_t::clock_t clock) : clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return master_clock ? master_clock->hundred_ns_time() : timestamp::wall_clock_now(); };
}

igtl_image_source_t::~igtl_image_source_t()
{
    stop();
}

void igtl_image_source_t::update_resources()
{
    res->RES_VID_AUTO_CROP->write_no_changeprocs(false);
    if (res->RES_BUF_FRAMES->value() == 0)
        res->RES_BUF_RF->write_no_changeprocs(false);
    if (width_ > 0) {
        res->RES_MAX_VIDEO_WIDTH->write_no_changeprocs(width_);
        res->RES_MAX_VIDEO_HEIGHT->write_no_changeprocs(height_);
    }
    base_res_t::make_pending_writes_happen();
}

bool igtl_image_source_t::start()
{
    wxString host;
    int port = 0;
    if (!parse_igtl_address(res->RES_IGTL_SERVER->value(), &host, &port)) {
        wxLogError("The OpenIGTLink server '%s' is not a host:port address.", res->RES_IGTL_SERVER->value());
        return false;
    }
    receiver_ = igtl_receiver_t::shared(host, port, clock_);
    receiver_->want_images(true);
    pending_.clear();
    was_connected_ = false;
    last_problem_.clear();
    rate_gate_.reset();
    return true;
}

void igtl_image_source_t::stop()
{
    if (!receiver_)
        return;
    receiver_->want_images(false);
    receiver_.reset();
    pending_.clear();
}

wxString igtl_image_source_t::status_text() const
{
    if (!receiver_)
        return {};
    const igtl_receiver_t::status_t s = receiver_->status();
    wxString text = s.connected ? "Connected to " + receiver_->address()
                                : "Not connected to " + receiver_->address() + ": " +
                                      (s.problem.empty() ? wxString("connecting") : s.problem);
    text += wxString::Format("\n%ld frames recorded from it, %ld dropped", published_, dropped_ + long(s.frames_lost));
    if (width_ > 0)
        text += wxString::Format("; frames of %ld x %ld", width_, height_);
    return text;
}

// Said once per change, not on every step.
void igtl_image_source_t::report_connection()
{
    const igtl_receiver_t::status_t s = receiver_->status();
    if (s.connected && !was_connected_)
        wxLogStatus("OpenIGTLink: receiving images from %s.", receiver_->address());
    if (!s.connected && s.problem != last_problem_ && !s.problem.empty())
        wxLogWarning("OpenIGTLink images: %s.", s.problem);
    was_connected_ = s.connected;
    last_problem_ = s.connected ? wxString() : s.problem;
}

// The server's frame size is the device's. With nothing recorded yet, a
// recording window that does not fit in the new size becomes the whole frame
// (one that fits was chosen, or kept, on purpose); frames held keep theirs,
// and capture waits while it does not fit.
void igtl_image_source_t::adopt_size(long width, long height)
{
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    res->RES_MAX_VIDEO_WIDTH->write_no_changeprocs(width);
    res->RES_MAX_VIDEO_HEIGHT->write_no_changeprocs(height);
    const bool fits = crop_window_fits(width, height, res->RES_BUF_WIDTH->value(), res->RES_BUF_HEIGHT->value(),
                                       res->RES_VID_XPOS->value(), res->RES_VID_YPOS->value());
    // While recording the frames held are not yet counted in RES_BUF_FRAMES.
    const bool holding = res->RES_BUF_FRAMES->value() != 0 || (bufp && bufp->frames() > 0);
    if (!holding && !fits) {
        res->RES_VID_XPOS->write_no_changeprocs(0);
        res->RES_VID_YPOS->write_no_changeprocs(0);
        res->RES_BUF_WIDTH->write_no_changeprocs(width);
        res->RES_BUF_HEIGHT->write_no_changeprocs(height);
    }
    base_res_t::make_pending_writes_happen();
    crop_warned_ = false;
}

capture_step_t igtl_image_source_t::step(std::uint64_t now)
{
    if (!receiver_)
        return capture_step_t::idle;
    report_connection();
    for (igtl_receiver_t::frame_t& f : receiver_->take_frames()) {
        if (pending_.size() >= igtl_receiver_t::frame_limit) {
            pending_.pop_front();
            ++dropped_;
        }
        pending_.push_back(std::move(f));
    }
    // The newest frame old enough to release; older ones are dropped, never queued.
    const std::uint64_t released = capture_release_time(now);
    std::size_t ready = 0;
    while (ready < pending_.size() && pending_[ready].time <= released)
        ++ready;
    if (ready == 0)
        return capture_step_t::no_frame;
    dropped_ += static_cast<long>(ready - 1);
    const igtl_receiver_t::frame_t f = std::move(pending_[ready - 1]);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(ready));

    const igtl_image_t& image = f.image;
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return capture_step_t::dropped;
    adopt_size(image.width, image.height);
    const long out_width = static_cast<long>(res->RES_BUF_WIDTH->value());
    const long out_height = static_cast<long>(res->RES_BUF_HEIGHT->value());
    const long x0 = static_cast<long>(res->RES_VID_XPOS->value()), y0 = static_cast<long>(res->RES_VID_YPOS->value());
    if (!crop_window_fits(image.width, image.height, out_width, out_height, x0, y0)) {
        if (!crop_warned_)
            wxLogWarning(
                "The recording window (%li x %li at %li, %li) does not fit in the %li x %li frames the "
                "OpenIGTLink server sends; no frames are captured until it does.",
                out_width, out_height, x0, y0, image.width, image.height);
        crop_warned_ = true;
        return capture_step_t::dropped;
    }
    crop_warned_ = false;
    if (!rate_gate_.admit(f.time)) {
        ++dropped_;
        return capture_step_t::dropped;
    }

    cip_t frame = cip_t::make_8bit(out_width, out_height);
    if (frame.empty())
        return capture_step_t::out_of_memory;
    for (long y = 0; y < out_height; ++y)
        std::memcpy(frame.pixels() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out_width),
                    image.pixels.data() + static_cast<std::size_t>(y0 + y) * static_cast<std::size_t>(image.width) +
                        static_cast<std::size_t>(x0),
                    static_cast<std::size_t>(out_width));
    publish_captured_frame(frame, f.time, static_cast<std::uint64_t>(++published_));
    return capture_step_t::published;
}

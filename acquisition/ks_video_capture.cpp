#include "ks_video_capture.h"

#include <wx/log.h>

#include "resources/resource_table.h"

ks_video_capture::ks_video_capture(ks_v4l2_buffer::clocks_t clocks) : v4l2_(std::move(clocks))
{
    res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(v4l2_.devices()));
    v4l2_.construct_v4l2_buffer();
    kind_ = selected_kind();
    changed_proc_ = std::make_unique<pmf_functor<ks_video_capture>>(this, &ks_video_capture::video_cap_changed);
    idle_proc_ = std::make_unique<pmf_functor<ks_video_capture>>(this, &ks_video_capture::activ_acquisition);
    res->RES_VIDEO_CAPTURE_EVENT->read_worrylist_length(changed_proc_.get());
    res->RES_VID_CARD->add_proc(changed_proc_.get());
    if (kind_ == IMAGE_SOURCE_V4L2)
        v4l2_.update_resources();
    video_cap_changed();  // listeners may already be waiting
}

ks_video_capture::~ks_video_capture()
{
    if (running_)
        stop_acquisition();
    idle_proc_.reset();
    changed_proc_.reset();
}

int ks_video_capture::selected_kind() const
{
    const auto& list = res->RES_VID_CARD_LIST->value();
    const auto card = res->RES_VID_CARD->value();
    if (!list || card < 0 || static_cast<std::size_t>(card) >= list->size())
        return IMAGE_SOURCE_NONE;
    return (*list)[static_cast<std::size_t>(card)].kind;
}

void ks_video_capture::video_cap_changed()
{
    const long listeners = res->RES_VIDEO_CAPTURE_EVENT->read_worrylist_length();
    const long card = static_cast<long>(res->RES_VID_CARD->value());
    if (running_ && (listeners < 1 || card != running_card_))
        stop_acquisition();
    const int kind = selected_kind();
    if (kind != kind_ || card != running_card_) {
        kind_ = kind;
        if (kind_ == IMAGE_SOURCE_V4L2)
            v4l2_.update_resources();
    }
    if (!running_ && listeners > 0)
        start_acquisition();
}

bool ks_video_capture::start_acquisition()
{
    if (running_)
        return true;
    bool started = false;
    switch (kind_) {
    case IMAGE_SOURCE_V4L2:
        started = v4l2_.start_v4l2_buffer();
        break;
    case IMAGE_SOURCE_NONE:
        wxLogDebug("idle event: Trying to run video grabbing when no hardware has been found.");
        break;
    default:
        break;  // sources this program does not drive
    }
    if (!started)
        return false;
    running_ = true;
    running_card_ = static_cast<long>(res->RES_VID_CARD->value());
    res->RES_IDLE_EVENT->read(idle_proc_.get());
    return true;
}

void ks_video_capture::stop_acquisition()
{
    if (!running_)
        return;
    res->RES_IDLE_EVENT->remove_worry(idle_proc_.get());
    if (kind_ == IMAGE_SOURCE_V4L2)
        v4l2_.stop_v4l2_buffer();
    running_ = false;
}

void ks_video_capture::activ_acquisition()
{
    if (kind_ != IMAGE_SOURCE_V4L2)
        return;
    const capture_step_t step = v4l2_.activ_v4l2_buffer();
    if (step == capture_step_t::out_of_memory) {
        res->RES_STOP_IMAGING->write();
        wxLogError("Insufficient memory to proceed !\n\nSave this data set and close it\nbefore attempting to record "
                   "more data.");
    } else if (step == capture_step_t::failed || (step == capture_step_t::idle && running_)) {
        // The device failed and stopped: leave the idle loop until the next start.
        res->RES_IDLE_EVENT->remove_worry(idle_proc_.get());
        running_ = false;
    }
}

void ks_video_capture::get_bscan_scale(double& x, double& y) const
{
    if (res->RES_BUF_RF->value() || kind_ == IMAGE_SOURCE_RF_DIGITISER) {
        x = y = res->RES_RF_SCALE->value();
    } else if (kind_ != IMAGE_SOURCE_V4L2) {
        x = y = 0.0;
    }
}

#include "ks_video_capture.h"

#include <algorithm>
#include <utility>

#include <wx/log.h>

#include "common/timestamp.h"
#include "resources/resource_table.h"

ks_video_capture* vid = nullptr;

ks_video_capture::ks_video_capture(ks_v4l2_buffer::clocks_t clocks) : clocks_(clocks), v4l2_(std::move(clocks))
{
    if (!clocks_.now)
        clocks_.now = [] { return master_clock ? master_clock->hundred_ns_time() : timestamp::wall_clock_now(); };
    publish_list();
    v4l2_.construct_v4l2_buffer();
    kind_ = selected_kind();
    changed_proc_ = std::make_unique<pmf_functor<ks_video_capture>>(this, &ks_video_capture::video_cap_changed);
    idle_proc_ = std::make_unique<pmf_functor<ks_video_capture>>(this, &ks_video_capture::activ_acquisition);
    res->RES_VIDEO_CAPTURE_EVENT->read_worrylist_length(changed_proc_.get());
    res->RES_VID_CARD->add_proc(changed_proc_.get());
    follow_source();
    video_cap_changed();  // listeners may already be waiting
}

void ks_video_capture::search_again()
{
    const bool was_running = running_;
    stop_acquisition();
    v4l2_.rediscover();
    publish_list();
    kind_ = selected_kind();
    if (backend())
        backend()->update_resources();
    else if (direct_selected())
        selected()->source->update_resources();
    if (was_running)
        start_acquisition();
}

void ks_video_capture::publish_list()
{
    auto list = std::make_shared<std::vector<vid_card_list_t>>(v4l2_.devices());
    for (const offered_t& o : offered_)
        if (o.source)
            list->push_back(o.source->entry());
    res->RES_VID_CARD_LIST->write(list);
}

ks_video_capture::offered_t* ks_video_capture::selected()
{
    return const_cast<offered_t*>(std::as_const(*this).selected());
}

const ks_video_capture::offered_t* ks_video_capture::selected() const
{
    for (const offered_t& o : offered_)
        if (o.source && kind_ == o.source->entry().kind)
            return &o;
    return nullptr;
}

void ks_video_capture::add_source(image_source_t* source, source_slot_t slot)
{
    const bool was_running = running_;
    stop_acquisition();
    offered_t& o = offered_[static_cast<std::size_t>(slot)];
    o.source = source;
    o.backend.reset();
    if (v4l2_seam_t* seam = source ? source->seam() : nullptr) {
        o.backend = std::make_unique<ks_v4l2_buffer>(clocks_, seam, source->entry().kind);
        o.backend->construct_v4l2_buffer();
    }
    publish_list();
    kind_ = selected_kind();
    follow_source();
    if (was_running)
        start_acquisition();
}

ks_v4l2_buffer* ks_video_capture::backend()
{
    if (kind_ == IMAGE_SOURCE_V4L2)
        return &v4l2_;
    offered_t* o = selected();
    return o ? o->backend.get() : nullptr;
}

bool ks_video_capture::direct_selected() const
{
    const offered_t* o = selected();
    return o && !o->backend;
}

void ks_video_capture::follow_source()
{
    if (backend()) {
        backend()->update_resources();
        fit_recording_window();
    } else if (direct_selected()) {
        selected()->source->update_resources();
    }
}

// With nothing recorded yet, a window larger than the new source's frame is
// brought inside it: it would otherwise capture nothing at all.
void ks_video_capture::fit_recording_window()
{
    if (res->RES_BUF_FRAMES->value() != 0)
        return;
    const auto max_w = res->RES_MAX_VIDEO_WIDTH->value(), max_h = res->RES_MAX_VIDEO_HEIGHT->value();
    if (res->RES_BUF_WIDTH->value() + res->RES_VID_XPOS->value() <= max_w &&
        res->RES_BUF_HEIGHT->value() + res->RES_VID_YPOS->value() <= max_h)
        return;
    res->RES_VID_XPOS->write_no_changeprocs(0);
    res->RES_VID_YPOS->write_no_changeprocs(0);
    res->RES_BUF_WIDTH->write_no_changeprocs(std::min(res->RES_BUF_WIDTH->value(), max_w));
    res->RES_BUF_HEIGHT->write_no_changeprocs(std::min(res->RES_BUF_HEIGHT->value(), max_h));
    base_res_t::make_pending_writes_happen();
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
        follow_source();
    }
    if (!running_ && listeners > 0)
        start_acquisition();
}

bool ks_video_capture::start_acquisition()
{
    if (running_)
        return true;
    if (kind_ == IMAGE_SOURCE_NONE)
        wxLogDebug("idle event: Trying to run video grabbing when no hardware has been found.");
    // Other kinds are sources this program does not drive.
    if (direct_selected() ? !selected()->source->start() : (!backend() || !backend()->start_v4l2_buffer()))
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
    if (direct_selected())
        selected()->source->stop();
    else if (backend())
        backend()->stop_v4l2_buffer();
    running_ = false;
}

void ks_video_capture::activ_acquisition()
{
    ks_v4l2_buffer* source = backend();
    if (!source && !direct_selected())
        return;
    if (source && source != &v4l2_)
        selected()->source->pump(clocks_.now());
    const capture_step_t step = source ? source->activ_v4l2_buffer() : selected()->source->step(clocks_.now());
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
    if (res->RES_BUF_RF->value() || rf_source_kind(kind_)) {
        x = y = res->RES_RF_SCALE->value();
    } else if (kind_ != IMAGE_SOURCE_V4L2 && !selected()) {
        x = y = 0.0;
    }
}

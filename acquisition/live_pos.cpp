#include "live_pos.h"

#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

live_pos* lipo = nullptr;

namespace {

constexpr std::uint64_t ticks_per_ms = 10000;
constexpr std::uint64_t stillness_ticks = 10010000;  // 1.001 s held still
constexpr double still_radius2 = 0.04;               // corners within 0.2 cm count as still
constexpr long smallest_group_delay = 50;            // ms
constexpr long v4l2_source = 2;                      // vid_card_list_t kind of a V4L2 device

double distance2(const vertex3d& a, const vertex3d& b)
{
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

live_pos::live_pos(std::unique_ptr<gate_signal_t> signals) : signals_(std::move(signals))
{
    if (!signals_)
        signals_ = std::make_unique<console_bell_t>();
    notify_proc_ = std::make_unique<pmf_functor<live_pos>>(this, &live_pos::notify_live_pos);
    video_proc_ = std::make_unique<pmf_functor<live_pos>>(this, &live_pos::vid_image_event);
    position_proc_ = std::make_unique<pmf_functor<live_pos>>(this, &live_pos::position_event);
    pointer_proc_ = std::make_unique<pmf_functor<live_pos>>(this, &live_pos::pointer_event);

    base_functor* f = notify_proc_.get();
    for (base_res_t* r : std::initializer_list<base_res_t*>{
             res->RES_VID_BUFFERS, res->RES_VID_CARD, res->RES_VID_CARD_LIST, res->RES_VID_GROUP_DELAY,
             res->RES_VID_RATE, res->RES_VID_MOVE_THRESH, res->RES_BUF_WIDTH, res->RES_BUF_HEIGHT, res->RES_XSCALE,
             res->RES_YSCALE, res->RES_XTRANS, res->RES_YTRANS, res->RES_ZTRANS, res->RES_AZIMUTH,
             res->RES_ELEVATION, res->RES_ROLL})
        r->add_proc(f);
    res->RES_LIVE_POS_CAPTURE_EVENT->read_worrylist_length(f);
    notify_live_pos();
}

live_pos::~live_pos()
{
    // Leaving the device events first lets the devices stop while this object is whole.
    video_proc_.reset();
    position_proc_.reset();
    pointer_proc_.reset();
    notify_proc_.reset();
}

void live_pos::notify_live_pos()
{
    read_settings();
    update_subscriptions();
}

void live_pos::read_settings()
{
    const auto& cards = res->RES_VID_CARD_LIST->value();
    const long card = res->RES_VID_CARD->value();
    const bool v4l2 = cards && card >= 0 && card < static_cast<long>(cards->size()) &&
                      (*cards)[static_cast<std::size_t>(card)].kind == v4l2_source;
    // Two driver buffers are always in use; the rest hold frames while they wait.
    // With three or fewer that leaves no room at all, yet a frame must still
    // wait for its samples.
    largest_delay_ = v4l2 ? std::max(((res->RES_VID_BUFFERS->value() - 2) * 1000) / 30, smallest_group_delay) : 1000;
    if (res->RES_VID_GROUP_DELAY->value() > largest_delay_)
        res->RES_VID_GROUP_DELAY->write(largest_delay_);

    mode_ = res->RES_VID_RATE->value();
    const double t = res->RES_VID_MOVE_THRESH->value();
    move2_ = t * t;
    jump2_ = 100.0 * t * t;
    width_ = res->RES_BUF_WIDTH->value();
    height_ = res->RES_BUF_HEIGHT->value();
    xscale_ = res->RES_XSCALE->value();
    yscale_ = res->RES_YSCALE->value();
    mcal_.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                  res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
}

void live_pos::update_subscriptions()
{
    const bool wanted = res->RES_LIVE_POS_CAPTURE_EVENT->read_worrylist_length() > 0;
    if (wanted == subscribed_)
        return;
    // Set first: starting or stopping a device may change settings and bring us back here.
    subscribed_ = wanted;
    if (wanted) {
        res->RES_VIDEO_CAPTURE_EVENT->read(video_proc_.get());
        res->RES_POSITION_CAPTURE_EVENT->read(position_proc_.get());
        res->RES_POINTER_CAPTURE_EVENT->read(pointer_proc_.get());
    } else {
        res->RES_VIDEO_CAPTURE_EVENT->remove_worry(video_proc_.get());
        res->RES_POSITION_CAPTURE_EVENT->remove_worry(position_proc_.get());
        res->RES_POINTER_CAPTURE_EVENT->remove_worry(pointer_proc_.get());
    }
}

void live_pos::position_event()
{
    if (const auto& sample = res->RES_POSITION_CAPTURE_EVENT->value())
        probe_.insert_circ_buf(sample.get());
}

void live_pos::pointer_event()
{
    if (const auto& sample = res->RES_POINTER_CAPTURE_EVENT->value())
        pointer_.insert_circ_buf(sample.get());
}

void live_pos::vid_image_event()
{
    live_stat_t result;
    if (image_event(res->RES_VIDEO_CAPTURE_EVENT->value(), &result))
        res->RES_LIVE_POS_CAPTURE_EVENT->write(std::make_shared<live_stat_t>(std::move(result)));
}

void live_pos::update_statistics(std::int64_t lag, bool matched)
{
    if (lag == cbuf_t::no_lag) {
        matches_ = failed_ = 0;
        smoothed_lag_ms_ = 0.0;
        return;
    }
    ++matches_;
    if (!matched)
        ++failed_;
    const std::int64_t lag_ms = lag / static_cast<std::int64_t>(ticks_per_ms);
    smoothed_lag_ms_ = 0.95 * smoothed_lag_ms_ + 0.05 * static_cast<double>(lag_ms);
    if (static_cast<double>(failed_) / static_cast<double>(matches_) > 0.01 || std::fabs(smoothed_lag_ms_) > 80.0) {
        matches_ = failed_ = 0;
        const long delay = res->RES_VID_GROUP_DELAY->value();
        const long adapted = std::min(largest_delay_, std::max(delay + static_cast<long>(smoothed_lag_ms_ + 0.5),
                                                               smallest_group_delay));
        if (adapted != delay)
            res->RES_VID_GROUP_DELAY->write(adapted);
    }
}

// The probe pose of a frame: from the tracker samples, or from a motorised
// stage's coordinates, or from a swept probe's motor position.
bool live_pos::place_probe(const vid_stat_t& frame, live_stat_t* result)
{
    std::int64_t lag = cbuf_t::no_lag;
    pos_state_t state = POS_MISSING;
    bool matched = probe_.circ_buf_match_pos(frame.time, result->probe_pose, &lag, &state);
    bool placed = true;
    if (res->RES_ZABER_RUNNING->value()) {
        result->probe_pose = counted_array_ptr<float>(6);
        result->probe_pose[0] = frame.stage_x;
        result->probe_pose[1] = frame.stage_y;
        result->probe_pose[2] = -frame.stage_z;
        matched = true;
        state = POS_VALID;
    } else if (res->RES_FLAPPING->value()) {
        if (res->RES_POSITION_SOURCE->value() == SENSOR_NONE) {
            result->probe_pose = counted_array_ptr<float>(6);
            matched = true;
            state = POS_VALID;
        }
        if (matched && state != POS_MISSING) {
            placed = sweep_model_ && sweep_model_(frame.sweep_angle, result->probe_pose.get());
            if (!sweep_model_ && !model_missing_reported_) {
                model_missing_reported_ = true;
                wxLogWarning("Frames of the swept probe cannot be placed: its motor model is not available.");
            }
        }
    }
    update_statistics(lag, matched);
    return placed && matched && state != POS_MISSING && !result->probe_pose.empty();
}

live_pos::corners_t live_pos::corners(const float* pose) const
{
    matrix16d mpose;
    mpose.forward(pose);
    const matrix16d m = mpose * mcal_;
    // Pixel (u, v) lies at (u xscale, v yscale) in the image plane.
    const double right = static_cast<double>(std::max(width_ - 1, 0L)) * xscale_;
    const double bottom = static_cast<double>(std::max(height_ - 1, 0L)) * yscale_;
    return {m * vertex3d{0.0, 0.0, 0.0}, m * vertex3d{right, 0.0, 0.0}, m * vertex3d{0.0, bottom, 0.0},
            m * vertex3d{right, bottom, 0.0}};
}

bool live_pos::image_event(const std::shared_ptr<vid_stat_t>& frame, live_stat_t* result)
{
    if (!frame || !result)
        return false;
    *result = live_stat_t{};
    result->frame = frame;
    const std::uint64_t t = frame->time;

    pos_state_t pointer_state = POS_MISSING;
    if (!pointer_.circ_buf_match_pos(t, result->pointer_pose, nullptr, &pointer_state)) {
        result->pointer_pose.reset();
        pointer_state = POS_MISSING;
    }
    result->pointer_state = pointer_state;

    // A running gantry stands still while a frame is grabbed (its moves block
    // this thread), so its last published position is the frame's.
    if (res->RES_ZABER_RUNNING->value()) {
        if (stage_gate_ && !stage_gate_(t))
            return false;
        frame->stage_x = static_cast<float>(res->RES_ZABER_POS_X->value());
        frame->stage_y = static_cast<float>(res->RES_ZABER_POS_Y->value());
        frame->stage_z = static_cast<float>(res->RES_ZABER_POS_Z->value());
    }
    if (sweep_angle_source_ && res->RES_FLAPPING->value())
        frame->sweep_angle = sweep_angle_source_(t);
    const bool recording = res->RES_RECORDING_NOW->value();
    if (!place_probe(*frame, result)) {
        if (recording && res->RES_FLAPPING->value())
            volume_complete_ = false;
        return false;
    }
    if (!recording)
        volume_complete_ = true;
    result->volume_complete = volume_complete_ ? 1 : 0;

    if (!recording) {
        gate_open_ = still_reached_ = waiting_ = false;
    } else if (bufp && bufp->frames() == 0) {
        waiting_ = true;
    } else if (mode_ != RATE_MULTIPLE_GATED) {
        waiting_ = false;
    }
    if (mode_ != RATE_GATED && mode_ != RATE_MULTIPLE_GATED) {
        gate_open_ = true;
        result->gate_open = 1;
        return true;
    }
    const bool publish = gate(t, corners(result->probe_pose.get()), recording);
    result->gate_open = gate_open_ ? 1 : 0;
    return publish;
}

// Gated modes: stillness opens and closes the gate, movement of at least the
// threshold lets a frame through, and a jump throws the current sweep away.
bool live_pos::gate(std::uint64_t t, const corners_t& c, bool recording)
{
    const bool multiple = mode_ == RATE_MULTIPLE_GATED;
    if (still_since_ == 0) {
        still_since_ = t;
        gate_open_ = still_reached_ = false;
    }
    bool still = true;
    for (int i = 0; i < 4; ++i)
        still = still && distance2(c[i], still_ref_[i]) < still_radius2;
    if (still) {
        if (static_cast<std::int64_t>(t - still_since_) >= static_cast<std::int64_t>(stillness_ticks)) {
            if (gate_open_) {
                signals_->sound(GATE_SIGNAL_CLOSED);
                gate_open_ = false;
                if (multiple) {
                    waiting_ = false;
                    if (sweeps_ && sweeps_->sweep_open())
                        sweeps_->finish_sweep();
                }
            } else if (waiting_) {
                signals_->sound(GATE_SIGNAL_STILL);
                still_reached_ = true;
            }
            still_since_ = t;
        }
    } else {
        if (!gate_open_ && still_reached_)
            gate_open_ = true;
        still_ref_ = c;
        still_since_ = t;
        still_reached_ = false;
    }

    bool moved = false, jumped = false;
    for (int i = 0; i < 4; ++i) {
        const double d2 = distance2(c[i], last_[i]);
        moved = moved || d2 >= move2_;
        jumped = jumped || d2 > jump2_;
    }
    if (!moved)
        return false;
    if (jumped) {
        if (gate_open_) {
            signals_->sound(GATE_SIGNAL_JUMP);
            gate_open_ = false;
            still_since_ = t;
            if (sweeps_ && recording)
                sweeps_->clear_sweep();
        } else if (multiple && recording) {
            waiting_ = true;
        }
    }
    last_ = c;
    return true;
}

// The live synchroniser: keeps the recent probe and pointer samples, gives
// each released video frame the probe pose at the frame's own time stamp,
// adapts the video group delay so that the samples around a frame have
// arrived before it is released, gates frames by probe movement in the gated
// modes, and publishes the result with RES_LIVE_POS_CAPTURE_EVENT. It listens
// to the devices only while that event has listeners, so they run exactly
// while something is live or recording.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "acquisition/cbuf.h"
#include "acquisition/gate_signal.h"
#include "common/functor.h"
#include "common/live_stat.h"
#include "common/matrix16d.h"

// RES_VID_RATE values that are modes; positive values are frame-rate ceilings.
enum video_rate_mode_t : long {
    RATE_FULL_SPEED = 0,
    RATE_GATED = -1,
    RATE_SINGLE_SHOT = -3,
    RATE_MULTIPLE_GATED = -4,
    RATE_BUFFERED = -5,
};

// What gating needs of the recording; the recorder provides it.
class sweep_control_t {
public:
    virtual bool sweep_open() const = 0;  // frames were recorded after the last sweep boundary
    virtual void finish_sweep() = 0;
    virtual void clear_sweep() = 0;       // the record page's clear action

protected:
    ~sweep_control_t() = default;
};

class live_pos;
extern live_pos* lipo;  // the program's synchroniser, while one exists

class live_pos {
public:
    // Turns a swept probe's base pose into the pose of a frame at a motor
    // position; false when it cannot.
    using sweep_model_t = std::function<bool(float sweep_angle, float* pose)>;
    // While a gantry runs: whether a frame stamped t may be posed from the
    // stage (false while the stage moved or has still to step).
    using stage_gate_t = std::function<bool(std::uint64_t t)>;
    // The swept probe's motor position at a frame's time stamp, for frames whose
    // source does not fill it in (video; RF capture sets it itself).
    using sweep_angle_source_t = std::function<float(std::uint64_t time)>;

    // Reads its settings and registers on them; signals default to the console bell.
    explicit live_pos(std::unique_ptr<gate_signal_t> signals = nullptr);
    ~live_pos();
    live_pos(const live_pos&) = delete;
    live_pos& operator=(const live_pos&) = delete;

    void notify_live_pos();
    void position_event();
    void pointer_event();
    void vid_image_event();
    // Pairs one frame; true when it is to be published (result filled, gate flag included).
    bool image_event(const std::shared_ptr<vid_stat_t>& frame, live_stat_t* result);

    void set_sweep_control(sweep_control_t* control) { sweeps_ = control; }
    void set_sweep_model(sweep_model_t model) { sweep_model_ = std::move(model); }
    void set_stage_gate(stage_gate_t gate) { stage_gate_ = std::move(gate); }
    void set_sweep_angle_source(sweep_angle_source_t source) { sweep_angle_source_ = std::move(source); }

    bool subscribed() const { return subscribed_; }
    long largest_group_delay() const { return largest_delay_; }
    bool gate_open() const { return gate_open_; }
    const cbuf_t& probe_buffer() const { return probe_; }
    const cbuf_t& pointer_buffer() const { return pointer_; }

private:
    using corners_t = std::array<vertex3d, 4>;
    void read_settings();
    void update_subscriptions();
    void update_statistics(std::int64_t lag, bool matched);
    bool place_probe(const vid_stat_t& frame, live_stat_t* result);
    corners_t corners(const float* pose) const;
    bool gate(std::uint64_t t, const corners_t& c, bool recording);

    cbuf_t probe_, pointer_;
    std::unique_ptr<gate_signal_t> signals_;
    sweep_control_t* sweeps_ = nullptr;
    sweep_model_t sweep_model_;
    stage_gate_t stage_gate_;
    sweep_angle_source_t sweep_angle_source_;
    bool model_missing_reported_ = false;

    // Settings.
    matrix16d mcal_;
    double xscale_ = 0.01, yscale_ = 0.01;
    long width_ = 0, height_ = 0;
    long mode_ = RATE_FULL_SPEED;
    double move2_ = 0.0, jump2_ = 0.0;  // t² and (10 t)² of the gating threshold t
    long largest_delay_ = 1000;

    // Gating.
    bool gate_open_ = false, still_reached_ = false, waiting_ = false;
    std::uint64_t still_since_ = 0;  // 0: not set
    corners_t last_{}, still_ref_{};
    bool volume_complete_ = true;

    // Match statistics.
    long matches_ = 0, failed_ = 0;
    double smoothed_lag_ms_ = 0.0;

    bool subscribed_ = false;
    std::unique_ptr<pmf_functor<live_pos>> notify_proc_, video_proc_, position_proc_, pointer_proc_;
};

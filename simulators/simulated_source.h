// The simulated image source, for users without a capture card and for the
// tests: it replays a recording's frames looped at their recorded intervals,
// or renders B-scans of the demo phantom (or of a water bath's floor) at the
// tracker's pose of each
// moment, and offers them through an in-memory capture device.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "acquisition/image_source.h"
#include "common/cip.h"
#include "demo/phantom.h"
#include "demo/sweep.h"
#include "demo/water_bath.h"
#include "simulators/fake_v4l2_device.h"

// What the source shows: a frame for any moment, and when the next one is due.
class simulated_frames_t {
public:
    virtual ~simulated_frames_t() = default;
    virtual long width() const = 0;
    virtual long height() const = 0;
    // Time (ticks after the source started) of the first frame due after `elapsed`.
    virtual std::uint64_t next_due(std::uint64_t elapsed) const = 0;
    // The frame for that moment; empty when there is none to show.
    virtual cip_t frame_at(std::uint64_t elapsed, std::uint64_t now) = 0;
    // Frames hold colour-flow codes rather than plain grey.
    virtual bool doppler() const { return false; }
    // A frame that could not be made yet may still come: the pose of its
    // moment may not have arrived. `waited` ticks have passed since it was due.
    virtual bool worth_waiting(std::uint64_t) const { return false; }
};

// Frames of a recording, looped: frame i at its recorded time after the
// first; a loop lasts the recording plus one mean frame interval.
class recording_replay_t final : public simulated_frames_t {
public:
    recording_replay_t(std::vector<cip_t> frames, std::vector<std::uint64_t> times, bool doppler = false);
    long width() const override;
    long height() const override;
    std::uint64_t next_due(std::uint64_t elapsed) const override;
    cip_t frame_at(std::uint64_t elapsed, std::uint64_t now) override;
    bool doppler() const override { return doppler_; }

private:
    std::vector<cip_t> frames_;
    bool doppler_;
    std::vector<std::uint64_t> offsets_;  // of each frame after the first, strictly increasing
    std::uint64_t loop_ = 1;
};

// B-scans of a phantom at 25 frames a second, each at the probe pose the
// tracker gives for its time (x y z cm, azimuth elevation roll degrees).
class phantom_bscans_t final : public simulated_frames_t {
public:
    using pose_at_t = std::function<bool(std::uint64_t time, float pose[6])>;
    // Brings the calibration and scales up to date before each frame; the size stays.
    using refresh_t = std::function<void(probe_setup&)>;
    phantom_bscans_t(phantom body, probe_setup probe, pose_at_t pose_at, bool labels = false, refresh_t refresh = {});
    long width() const override { return probe_.width; }
    long height() const override { return probe_.height; }
    std::uint64_t next_due(std::uint64_t elapsed) const override;
    cip_t frame_at(std::uint64_t elapsed, std::uint64_t now) override;
    // Tracker samples arrive a little after their moment; frames wait for them
    // as long as the capture would still release them.
    bool worth_waiting(std::uint64_t waited) const override { return waited < 2000000; }

private:
    phantom body_;
    probe_setup probe_;
    pose_at_t pose_at_;
    bool labels_;
    refresh_t refresh_;
};

// B-scans of the calibration demo's water bath (demo/water_bath.h) at 25
// frames a second, each at the probe pose `pose_at` gives for its moment:
// the probe as make-calib-demo's bath of the same seed and temperature has it.
class floor_bscans_t final : public simulated_frames_t {
public:
    using pose_at_t = phantom_bscans_t::pose_at_t;
    floor_bscans_t(water_bath_t bath, pose_at_t pose_at);
    long width() const override { return bath_.probe.width; }
    long height() const override { return bath_.probe.height; }
    std::uint64_t next_due(std::uint64_t elapsed) const override;
    cip_t frame_at(std::uint64_t elapsed, std::uint64_t now) override;
    bool worth_waiting(std::uint64_t waited) const override { return waited < 2000000; }

private:
    water_bath_t bath_;
    pose_at_t pose_at_;
};

class simulated_image_source_t final : public image_source_t {
public:
    explicit simulated_image_source_t(std::unique_ptr<simulated_frames_t> frames);

    vid_card_list_t entry() const override { return {"Simulated images", image_source_simulated, 0}; }
    v4l2_seam_t* seam() override { return &device_; }
    // Delivers the latest frame due by now; frames it fell behind on are
    // dropped, never queued, so a slow renderer cannot fall further behind.
    void pump(std::uint64_t now) override;

    fake_v4l2_device_t& device() { return device_; }
    long frames_dropped() const { return dropped_; }

private:
    std::unique_ptr<simulated_frames_t> frames_;
    fake_v4l2_device_t device_;
    bool started_ = false;
    std::uint64_t start_ = 0, next_ = 0;  // master ticks; next_ after start_
    long dropped_ = 0;
};

// A frame as the luma and chroma a capture card would deliver for it, so
// that capturing it gives its codes back: plain grey as the luma, or with
// colour flow each class as luma and chroma (a 2 x 2 block takes the chroma
// of its top-left pixel).
void paint_coded_frame(const cip_t& frame, bool doppler, const yuv420_layout_t& layout, std::uint8_t* out);

// Recording without a window: what the record page's handlers do with the
// frames the synchroniser accepts. Frames go into the frame buffer bufp with
// their pose and time; sweep boundaries are kept and published as RES_SWEEPS;
// the video-rate modes decide what stays. Before each frame the memory the
// recording may use is checked, so running out stops the recording through
// RES_STOP_IMAGING instead of ending the program with the recording lost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <wx/string.h>

#include "acquisition/live_pos.h"
#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/functor.h"
#include "common/recording_observer.h"

// Bytes the frames of a recording may occupy: half the physical memory, and
// no more than the memory available now (plus what is already held) less a
// reserve for the rest of the program.
std::uint64_t frame_memory_budget(std::uint64_t held_bytes);

// Sweep boundaries (the last frame of each finished sweep) as the recording
// keeps them: the first frame of each sweep, 0 first. Boundaries at or past
// the last frame start no sweep.
std::vector<long> sweep_first_frames(const std::vector<long>& boundaries, long frames);

class live_recorder final : public sweep_control_t {
public:
    using clock_t = std::function<std::uint64_t()>;  // 100 ns ticks

    explicit live_recorder(clock_t clock = {});
    ~live_recorder();
    live_recorder(const live_recorder&) = delete;
    live_recorder& operator=(const live_recorder&) = delete;

    // Record switched on: false, with the reason logged, when there is no
    // image source, or no source of positions while positions are recorded.
    bool start();
    // Why the last start() was refused, for the status bar; empty after a start.
    const wxString& refusal() const { return refusal_; }
    // Record switched off (also after a single shot and when memory runs out).
    void stop();
    bool recording() const { return recording_; }
    std::uint64_t start_time() const { return start_time_; }

    void record_activity();             // a paired frame arrived
    void record_image_only_activity();  // a frame arrived while recording without positions

    bool sweep_open() const override;
    void finish_sweep() override;        // a boundary after the last frame
    void clear_sweep() override { clear_record(); }
    void clear_record();                 // the clear action

    const std::vector<long>& sweep_boundaries() const { return boundaries_; }
    // 0: frame_memory_budget() when recording starts.
    void set_memory_budget(std::uint64_t bytes) { budget_override_ = bytes; }
    std::uint64_t memory_budget() const { return budget_; }
    // Not owned; null for none. Told only of recordings with positions.
    void set_observer(recording_observer_t* o) { observer_ = o; }

private:
    void append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time);
    void after_append();
    bool frame_fits(const cip_t& image);
    void out_of_memory();
    void keep_first(long count);
    void drop_oldest();
    void adopt_sweeps();
    void publish_sweeps();
    std::uint64_t held_bytes() const;

    void sweep_ended();

    clock_t clock_;
    recording_observer_t* observer_ = nullptr;
    wxString refusal_;
    bool recording_ = false, with_positions_ = false, size_reported_ = false;
    std::uint64_t start_time_ = 0;
    std::vector<long> boundaries_;
    std::uint64_t budget_ = 0, budget_override_ = 0, held_ = 0;
    std::unique_ptr<pmf_functor<live_recorder>> record_proc_, image_only_proc_, stop_proc_;
};

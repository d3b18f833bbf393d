// Temporal calibration: the delay between the position stream and the image
// stream, from the probe held still and then moved up and down over the
// water bath's floor. The floor's line in the images and the probe's path
// in space trace the same movement; the lag that lines them up best is the
// part of the tracker's latency not yet corrected.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include <wx/string.h>

#include "common/vertex.h"

class temporal_calibration_t {
public:
    static constexpr std::uint64_t ticks_per_ms = 10000;  // time stamps are 100 ns ticks

    // Room for the whole run at the highest rates: several seconds of 240 Hz
    // positions and of frames.
    explicit temporal_calibration_t(std::size_t capacity = 4096) : capacity_(capacity) {}

    // Starts from state 0 with empty buffers; `applied_latency_ms` is the
    // latency the position stream already carries (RES_TEMP_CALIB), which the
    // result adds to what it measures.
    void start(long applied_latency_ms);
    void stop();
    bool running() const { return running_; }

    // A position sample (cm, 100 ns ticks), as each arrives.
    void add_position(const vertex3d& p, std::uint64_t time);
    // A frame: the line's mean row when it held a usable line, else nothing.
    void add_frame(std::optional<double> line_row, std::uint64_t time);

    int state() const { return state_; }
    const wxString& message() const { return message_; }

    struct result_t {
        bool accepted = false;  // confident enough to be written to RES_TEMP_CALIB
        long offset_ms = 0;     // the new latency: applied plus measured
        double lag_ms = 0.0;    // what this run measured
        int confidence = 0;     // percent
    };
    // Once the run has ended (state 6) with an offset.
    const std::optional<result_t>& result() const { return result_; }

    struct position_sample_t {
        vertex3d p;
        std::uint64_t time = 0;
    };
    struct line_sample_t {
        double value = 0.0;
        std::uint64_t time = 0;
    };
    // The offset computation on its own: lag (100 ns ticks) and score details;
    // nothing when there are too few samples to say.
    struct lag_t {
        double lag_ticks = 0.0;
        int contributions = 0;
        double line_range = 0.0;  // pixels
        double worst = 0.0;       // largest normalised difference at the best lag
    };
    static std::optional<lag_t> measure_lag(const std::deque<position_sample_t>& positions,
                                            const std::deque<line_sample_t>& lines, std::uint64_t steady_start,
                                            std::uint64_t move_start, std::uint64_t move_end);

private:
    void enter(int state, const wxString& message);
    void finish();

    std::size_t capacity_;
    std::deque<position_sample_t> positions_;
    std::deque<line_sample_t> lines_;
    bool running_ = false;
    bool line_available_ = false;
    int state_ = 0;
    wxString message_;
    long applied_ms_ = 0;
    std::optional<vertex3d> previous_;
    std::uint64_t previous_time_ = 0, steady_start_ = 0, move_start_ = 0, move_end_ = 0;
    std::optional<result_t> result_;
};

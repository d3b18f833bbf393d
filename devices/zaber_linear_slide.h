// One Zaber linear slide on a shared serial line. Positions are kept in
// microsteps: the target as a double, so that relative steps never
// accumulate rounding, and the last position the slide reported.
#pragma once

#include <cstdint>

#include "acquisition/serial.h"

// Waits, in 100 ns ticks; parameters so that tests can run fast.
struct zaber_timing_t {
    std::uint64_t reply_timeout = 5'000'000;       // 0.5 s for one reply
    std::uint64_t movement_timeout = 100'000'000;  // 10 s for one movement
    std::uint64_t byte_gap = 500'000;              // 50 ms of silence inside a reply: a byte was lost
    std::uint64_t poll_interval = 50'000;          // 5 ms between status queries
};

class zaberLinearSlide {
public:
    static constexpr int min_resolution = 1;
    static constexpr int max_resolution = 256;

    zaberLinearSlide(std::int16_t device, serial_t& port, const zaber_timing_t& timing = {})
        : device_(device), port_(port), timing_(timing)
    {
    }
    zaberLinearSlide(const zaberLinearSlide&) = delete;
    zaberLinearSlide& operator=(const zaberLinearSlide&) = delete;

    bool initialise();
    bool isIdle();
    bool waitForMovement();

    // Each returns the last reported position in cm.
    double home();
    double moveToPosition(double cm);
    double step(double cm);
    double stop();

    // One command and, when reply is given, its answer's data. Replies are
    // matched by device and command; others are discarded.
    bool sendCmd(int command, double data, std::int32_t* reply = nullptr);

    bool ok() const { return ok_; }
    std::int16_t device() const { return device_; }
    double microsteps_per_cm() const { return microsteps_per_cm_; }
    double target() const { return target_; }  // microsteps
    std::int64_t last_position() const { return last_position_; }
    double position_cm() const { return static_cast<double>(last_position_) / microsteps_per_cm_; }

private:
    enum class read_result_t { matched, refused, failed };
    read_result_t read_reply(int command, std::uint64_t timeout, std::int32_t* data);
    bool exchange(int command, double data, std::uint64_t timeout, std::int32_t* reply);
    bool query_idle(std::uint64_t timeout, bool* idle);
    // Starts a movement and waits for it to end by status: Home and Move
    // answer only when the motion ends, often long after a reply time-out.
    bool run_movement(int command, double data);
    bool read_position();
    // After a refused, failed or timed-out movement the target is where the
    // stage could not go: the next relative step would add that distance again.
    void rebase_target();
    double finish(bool moved);

    std::int16_t device_;
    serial_t& port_;
    zaber_timing_t timing_;
    bool ok_ = false;
    double microsteps_per_cm_ = 1.0;
    double target_ = 0.0;
    std::int64_t last_position_ = 0;
    std::int64_t expected_end_ = 0;  // where the movement under way ends
    int pending_motion_ = 0;         // the movement command whose completion or refusal may still arrive
    bool motion_refused_ = false;    // an error reply to pending_motion_ arrived
};

// The motor of a mechanically swept ("flapping") probe: a stepper that rocks
// the transducer from side to side, driven over a 28800 bps serial line. It
// initialises and centres the motor, moves it to either end or by one frame
// step, prepares timed sweeps that start on a trigger, and works out from a
// frame's time stamp where the transducer was while the frame was acquired.
// One instance (flapprobe) serves the probe motor dialog and live recording;
// everything runs on the caller's thread and every command waits for its reply.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "acquisition/serial.h"
#include "devices/flapping_model.h"

// Waits, in 100 ns ticks; parameters so that tests can run fast.
struct flap_timing_t {
    std::uint64_t reply_timeout = 5'000'000;   // 0.5 s for one reply
    std::uint64_t motor_timeout = 20'000'000;  // 2 s for the motor to stop
    std::uint64_t reset_wait = 50'000'000;     // 5 s after a controller reset
    std::uint64_t index_search = 10'000'000;   // 1 s per direction of the index search
    std::uint64_t halt_settle = 1'000'000;     // 0.1 s after a halt
    std::uint64_t poll_interval = 200'000;     // 20 ms between status queries and progress updates
};

class flapping {
public:
    // Moves that can be primed at once; k beyond is refused.
    static constexpr long max_moves = 4096;
    // time_to_angle's marks for frames outside the sweeps in volume mode.
    static constexpr long outside_sweep = 10000;
    static constexpr long outside_last_sweep = 20000;

    explicit flapping(const flap_timing_t& timing = {});
    ~flapping();
    flapping(const flapping&) = delete;
    flapping& operator=(const flapping&) = delete;

    // One command and its reply (kept in last_reply()); false when it was not
    // written. A stamp index of a primed move stores the write time as its trigger.
    bool send_cmd(const char* cmd, std::size_t length, std::size_t* reply_length, long stamp_index = -1);
    bool send_cmd(std::string_view cmd, long stamp_index = -1);
    bool is_port_responsive();
    bool is_motor_running();
    void wait_for_motor();

    // Opens RES_FLAP_PORT, resets (with progress when show_progress), sets the
    // controller up and finds the index mark; sets RES_FLAPPING on success.
    bool find_centre(bool show_progress);

    void to_left();
    void to_right();
    void to_centre();
    void step_left();
    void step_right();

    // Prepares sweep k (0 empties the list first) at rate frames a second:
    // moves to its start and arms the move to the other end. False when
    // nothing was prepared.
    bool prime_go_left(double rate, long k);
    bool prime_go_right(double rate, long k);
    // Starts primed move k; its trigger time is the write time of "GX".
    bool start_primed_move(long k);
    bool speed_okay(double rate) const;
    long add_frames(double rate) const;

    // The motor position (counts) while the frame stamped t (100 ns ticks)
    // was acquired, and half the distance covered meanwhile (signed: negative
    // while moving towards −R). In volume mode a frame beyond a sweep's
    // RES_FLAP_STEPS gives 10000, or 20000 in the last volume. Before any sweep
    // was triggered, or after a manual move (which ends the timed sweeps), it
    // is where the motor rests (the target, or a primed sweep's start).
    long time_to_angle(std::uint64_t t, long* half_width);
    // The pose of a frame at motor position angle for one element (−1: the
    // frame as a whole); pose holds the unswept probe's pose on entry. See
    // flap::swept_pose; false for marks and positions beyond the sweep.
    bool angle_to_pos(double angle, float* pose, long element) const;
    // Where the motor axis lies for the settings in force (crop and scales).
    flap::sweep_geometry_t geometry() const;
    long get_step() const { return static_cast<long>(target_); }

    // The probe's scan lines for the element tilt (from its definition).
    void set_element_geometry(const flap::element_geometry_t& g) { elements_ = g; }
    // A pose from a sweep angle, for live_pos::set_sweep_model.
    std::function<bool(float, float*)> sweep_model();
    // A frame's sweep angle from its time stamp, for live_pos::set_sweep_angle_source.
    std::function<float(std::uint64_t)> angle_source();

    bool initialised() const { return open_; }
    bool moving() const { return moving_; }
    bool at_left() const { return at_left_; }
    bool at_right() const { return at_right_; }
    bool at_centre() const { return at_centre_; }
    double target() const { return target_; }
    double speed_setting() const { return speed_; }
    double frame_rate() const { return rate_; }
    std::size_t moves() const { return starts_.size(); }
    std::uint64_t trigger_time(long k) const;
    const std::vector<unsigned char>& last_reply() const { return reply_; }

private:
    // True when the driver may move; a manual move ends the timed sweeps.
    bool manual_move_allowed();
    bool command(std::string_view text, long stamp_index = -1);
    bool command_value(const char* name, long value);
    void set_speed(double v);
    bool prime(double rate, long k, bool go_left);
    void step(int direction);
    // Waits for a time (or while the motor runs), pulsing the progress when shown; false when cancelled.
    bool pause(std::uint64_t ticks, bool show_progress, const wxString& message, bool while_running = false);
    void fail_initialisation(const wxString& message);
    double end() const;
    double rest_position() const;

    flap_timing_t timing_;
    serial_t port_;
    std::vector<unsigned char> reply_;
    double target_ = 0.0;
    double speed_ = 0.0;  // the speed setting last sent; 0 until one is
    std::vector<double> starts_, speeds_;
    std::vector<std::uint64_t> triggers_;
    std::vector<std::int32_t> frames_;
    double rate_ = 0.0;
    bool moving_ = false, open_ = false, at_left_ = false, at_right_ = false, at_centre_ = false;
    flap::element_geometry_t elements_;
};

// The program's motor driver while one exists (made at start-up).
extern flapping* flapprobe;

// The probe motor dialog's rule for its move buttons: controller kind 1
// (RES_FLAP_TYPE) moves (whole-way moves then wait for the motor), kind 0
// does nothing, any other kind logs a message. True when the motor was moved.
enum class flap_move_t { left, right, centre, step_left, step_right };
bool flap_move(flapping& motor, flap_move_t move);

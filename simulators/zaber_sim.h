// Zaber linear slides, daisy-chained on one line at 9600 bps 8N1, as a host
// sees them: six-byte binary messages both ways. Movements take real time at
// the set speed; Home and Move reply only when the motion ends, with the
// final position; a move beyond the travel is refused with error 255 (data
// 20 or 21). Status (54) is 0 when idle, else the command being run.
//
// Faults, each on every n-th command (0: never): an error reply instead of
// the answer, the answer sent as from another device, an unsolicited
// "move tracking" reply (command 10) before the answer, the answer with a
// byte lost. A stuck axis starts its movements and never ends them.
#pragma once

#include <array>
#include <cmath>
#include <string>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

class zaber_sim_t : public device_sim_t {
public:
    static constexpr int max_slides = 3;

    explicit zaber_sim_t(zaber_sim_options_t options);

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    void advance(double now, std::vector<std::vector<unsigned char>>& out) override;
    double next_event() const override;
    long device_speed() const override { return 9600; }
    wxString name() const override { return "Zaber linear slides"; }

    // For tests: where device d (1-based) is, in microsteps, and whether it moves.
    double position(int device, double now) const;
    bool moving(int device) const { return slide(device).moving; }
    double microsteps_per_mm() const { return microsteps_per_mm_; }
    long commands_seen() const { return commands_; }
    void set_options(const zaber_sim_options_t& o) { options_ = o; }

private:
    struct slide_t {
        double position = 0.0;  // microsteps, when not moving
        bool moving = false;
        int command = 0;  // the movement being run
        double from = 0.0, to = 0.0, start = 0.0, end = 0.0;
    };
    const slide_t& slide(int device) const { return slides_[static_cast<std::size_t>(device - 1)]; }
    slide_t& slide(int device) { return slides_[static_cast<std::size_t>(device - 1)]; }
    bool stuck(int device) const { return device == options_.stuck_device; }

    void run(int device, int command, std::int32_t data, double now, std::vector<std::vector<unsigned char>>& out);
    void start_move(int device, int command, double to, double now);
    // with_faults: an answer to a command, which the faults apply to.
    void reply(int device, int command, std::int32_t data, std::vector<std::vector<unsigned char>>& out,
               bool with_faults = true);
    // Prints the positions when they changed, and while moving at most every 0.1 s.
    void report(double now, bool changed = false);

    zaber_sim_options_t options_;
    double microsteps_per_mm_;
    double max_position_;
    std::array<slide_t, max_slides> slides_{};
    std::vector<unsigned char> partial_;
    double last_byte_ = 0.0;
    long commands_ = 0;
    double last_report_ = -1.0;
    std::string last_report_text_;
};

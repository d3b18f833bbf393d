// The controller of a swept probe's stepper motor as a host sees it: 28800 bps
// 8N1, framed commands (STX '0' command ':' checksum ETX), each answered with
// one framed reply. A frame whose checksum is wrong is answered "E1", a
// command it does not know "E2"; every other command "K", except the status
// command (empty: "S" and a digit whose bit 0 says running), "IS?" ("IS=" and
// six digits, the last with bit 2 set once the index mark was found, bit 0
// while running).
//
// The motion is integrated in small time steps: a speed v (PF) moves 8·v
// counts a second; above the start speed (PO) the motor ramps at 120000 speed
// units a second, at or below it starts and stops at once. GA goes to a
// position, GI- and GI+ look for the index mark (which then becomes position
// 0), H halts at once, GW holds the next command until GX, CR resets the
// settings. Its true position over time is kept for tests.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

class swept_motor_sim_t : public device_sim_t {
public:
    explicit swept_motor_sim_t(swept_motor_sim_options_t options);

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    void advance(double now, std::vector<std::vector<unsigned char>>& out) override;
    double next_event() const override;
    long device_speed() const override { return 28800; }
    wxString name() const override { return "swept-probe motor controller"; }

    // For tests. Positions in counts from the index mark's count 0 as the host sees them.
    void run_to(double now);                // integrates the motion up to now
    double position_at(double time) const;  // from the history (the latest position past its end)
    double position() const { return physical_ - origin_; }
    bool moving() const { return mode_ != mode_t::idle; }
    bool centred() const { return centred_; }
    double speed() const { return pf_; }
    std::optional<double> trigger_time() const { return trigger_; }  // when the last GX came
    const std::vector<std::string>& commands() const { return commands_; }
    const std::vector<unsigned char>& heard() const { return heard_; }
    void clear_heard()
    {
        heard_.clear();
        commands_.clear();
    }
    void set_options(const swept_motor_sim_options_t& o) { options_ = o; }

private:
    enum class mode_t { idle, to_target, seeking };

    void run(const std::string& command, double now, std::vector<std::vector<unsigned char>>& out);
    void start_move(double target, double now);
    void integrate_step(double dt);
    void reply(const std::string& text, std::vector<std::vector<unsigned char>>& out);
    void record(double time);
    void report(double now, bool changed);
    char digit(int value) const;

    swept_motor_sim_options_t options_;
    std::vector<unsigned char> partial_;
    std::vector<unsigned char> heard_;
    std::vector<std::string> commands_;
    long replies_ = 0;

    // Settings.
    double po_ = 800.0, pf_ = 800.0;
    // Motion: physical position (counts from the mark), counter origin, signed velocity (counts/s).
    double physical_ = 0.0, origin_ = 0.0, velocity_ = 0.0;
    mode_t mode_ = mode_t::idle;
    double target_ = 0.0;  // physical
    int seek_direction_ = 0;
    bool centred_ = false;
    bool hold_next_ = false;
    std::optional<std::string> held_;
    std::optional<double> trigger_;
    double time_ = 0.0;                              // integrated up to
    std::deque<std::pair<double, double>> history_;  // (time, position as the host sees it)
    double last_report_ = -1.0;
    std::string last_report_text_;
};

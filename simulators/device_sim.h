// A simulated serial device: a protocol state machine fed with the bytes the
// host writes. It never touches the port itself; pty_link_t carries bytes
// both ways and tells it how the host has set the line.
#pragma once

#include <cstdint>
#include <deque>
#include <limits>
#include <span>
#include <vector>

#include <wx/string.h>

#include "simulators/pose_trajectory.h"

// The line as the host configured it, read back through the pty master.
struct sim_line_t {
    long speed = 0;           // bits per second; 0 when unknown
    bool eight_n_one = true;  // 8 data bits, no parity, 1 stop bit
    bool flow_control = false;
};

// One pose as the device measured it (cm, degrees), before its own units
// and quantisation were applied; unit counts sensors from 0.
struct sim_sent_pose_t {
    double time = 0.0;
    int unit = 0;
    sim_pose_t pose;
};

class device_sim_t {
public:
    virtual ~device_sim_t() = default;

    // Bytes the host wrote, at time now (seconds since the link started).
    // Replies go to out; each element of out is sent as one reply (faults
    // such as dropping or splitting apply to whole replies).
    virtual void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                         std::vector<std::vector<unsigned char>>& out) = 0;

    // Time has passed: what the device sends of itself (a movement that
    // ended, say) goes to out. next_event is when that is next due, in
    // seconds since the link started.
    virtual void advance(double /*now*/, std::vector<std::vector<unsigned char>>& /*out*/) {}
    virtual double next_event() const { return std::numeric_limits<double>::infinity(); }

    // The line speed the device currently talks at.
    virtual long device_speed() const = 0;
    // Whether bytes sent with the line set otherwise still reach the device
    // (a break, say, which any speed carries).
    virtual bool hears_mismatched(const sim_line_t&) const { return false; }
    virtual wxString name() const = 0;

    // The poses sent to the host, oldest first; bounded so that a long run
    // does not grow without end. Read it through pty_link_t::with_sim.
    const std::deque<sim_sent_pose_t>& sent_poses() const { return sent_; }

protected:
    void log_sent(double time, int unit, const sim_pose_t& pose)
    {
        sent_.push_back({time, unit, pose});
        if (sent_.size() > max_sent)
            sent_.pop_front();
    }

private:
    static constexpr std::size_t max_sent = 4096;
    std::deque<sim_sent_pose_t> sent_;
};

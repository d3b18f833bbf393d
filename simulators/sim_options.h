// What a simulated tracker measures and how it is set up; shared by every
// tracker simulator and by make_device_sim.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <string>

#include "simulators/pose_trajectory.h"

// The Zaber slides' build and faults (see zaber_sim.h).
struct zaber_sim_options_t {
    int slides = 3;            // devices 1 to slides
    int resolution = 64;       // microsteps per full step
    double travel_mm = 100.0;  // positions 0 to travel
    double speed_mm_s = 20.0;  // every movement, homing included
    int error_every = 0;
    int wrong_device_every = 0;
    int unsolicited_every = 0;
    int lose_byte_every = 0;
    int stuck_device = 0;  // 0: none
    // Called with a line of positions whenever they change (at most ten
    // times a second while moving).
    std::function<void(const std::string&)> report;
};

// The swept-probe motor's build and faults (see swept_motor_sim.h).
struct swept_motor_sim_options_t {
    double index_offset = 300.0;  // counts from the index mark to where the motor stands at power-up
    double travel = 3500.0;       // mechanical stops at ± this many counts from the mark
    double step = 0.0001;         // seconds per integration step of the motion
    bool no_index = false;        // the index search never finds the mark
    bool never_stops = false;     // status always says running
    bool bad_status = false;      // status digits are not hex digits
    int lose_byte_every = 0;      // every n-th reply loses a byte (0: never)
    // Called with a line whenever the position changes (at most ten times a second while moving).
    std::function<void(const std::string&)> report;
};

struct sim_options_t {
    pose_trajectory_t trajectory = default_sweep;
    long speed = 38400;           // the line speed the device talks at
    bool tool_missing = false;    // the sensor is unplugged or unseen: pose requests go unanswered
    bool out_of_volume = false;   // the sensor is far beyond the tracker's range
    int sensors = 0;              // Ascension: sensors fitted (0: one, or four on a trakSTAR)
    std::uint32_t powered = ~0u;  // Ascension: bit n set when sensor n is powered
    int full_scale_inches = 36;   // Ascension position range: 36 or 72
    zaber_sim_options_t zaber;    // the zaber kind
    swept_motor_sim_options_t swept_motor;  // the swept-motor kind
};

// Where sensor n is at a moment. The others sit 5 cm apart along y so that
// a host that mixes them up is caught; out of volume moves all far along x.
inline sim_pose_t sim_sensor_pose(const sim_options_t& o, double seconds, int sensor)
{
    sim_pose_t p = o.trajectory ? o.trajectory(seconds) : default_sweep(seconds);
    for (float& v : p.v)
        if (!std::isfinite(v))
            v = 0.0f;
    p.v[1] += 5.0f * static_cast<float>(sensor);
    if (o.out_of_volume)
        p.v[0] += 250.0f;
    return p;
}

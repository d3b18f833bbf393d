// A gantry on a simulated chain of Zaber slides over a pty, with fast
// movements and short time-outs so that failures cost little time.
#pragma once

#include <cmath>
#include <memory>

#include "devices/zaber_gantry.h"
#include "support/session_fixture.h"
#include "simulators/pty_link.h"
#include "simulators/zaber_sim.h"

inline zaber_timing_t fast_timing()
{
    zaber_timing_t t;
    t.reply_timeout = 3'000'000;      // 0.3 s
    t.movement_timeout = 15'000'000;  // 1.5 s
    t.byte_gap = 300'000;             // 30 ms
    t.poll_interval = 20'000;         // 2 ms
    return t;
}

class ZaberRig : public SessionTest {
protected:
    std::unique_ptr<pty_link_t> link;
    std::unique_ptr<zaberGantry> gantry;

    // travel 100 mm at 400 mm/s: a full-length move takes a quarter second.
    static zaber_sim_options_t fast_slides()
    {
        zaber_sim_options_t o;
        o.speed_mm_s = 400.0;
        return o;
    }

    void start_link(const zaber_sim_options_t& o = fast_slides(), const zaber_timing_t& t = fast_timing())
    {
        link = std::make_unique<pty_link_t>(std::make_unique<zaber_sim_t>(o));
        ASSERT_TRUE(link->ok());
        link->start();
        res->RES_ZABER_PORT->write(wxString(link->port_path()));
        gantry = std::make_unique<zaberGantry>(t);
    }
    void set_options(const zaber_sim_options_t& o)
    {
        link->with_sim([&](device_sim_t& s) { static_cast<zaber_sim_t&>(s).set_options(o); });
    }
    // Where the simulated slide of device d really is, in microsteps.
    double sim_position(int d)
    {
        const double now = seconds_since_start();
        return link->with_sim([&](device_sim_t& s) { return static_cast<zaber_sim_t&>(s).position(d, now); });
    }
    long sim_commands()
    {
        return link->with_sim([](device_sim_t& s) { return static_cast<zaber_sim_t&>(s).commands_seen(); });
    }
    double seconds_since_start() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count() -
               link->started_at();
    }
    // The position the gantry reports for axis i, in microsteps of the simulator.
    double reported_microsteps(int i) const
    {
        return gantry->positions()[static_cast<std::size_t>(i)] * gantry->slide(i).microsteps_per_cm();
    }
};

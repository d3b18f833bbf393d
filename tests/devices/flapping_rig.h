// A swept-probe motor driver on a simulated controller over a pty, with short
// waits so that a failure costs little time, and the simulator's truth.
#pragma once

#include <chrono>
#include <memory>

#include "devices/flapping.h"
#include "simulators/pty_link.h"
#include "simulators/swept_motor_sim.h"
#include "support/session_fixture.h"

inline flap_timing_t fast_flap_timing()
{
    flap_timing_t t;
    t.reply_timeout = 2'000'000;  // 0.2 s
    t.motor_timeout = 8'000'000;  // 0.8 s: the longest move here, 3200 counts at speed 800, takes 0.5 s
    t.reset_wait = 300'000;       // 30 ms
    t.index_search = 1'500'000;   // 0.15 s: the mark lies 300 counts away, 47 ms at speed 800
    t.halt_settle = 100'000;      // 10 ms
    t.poll_interval = 20'000;     // 2 ms
    return t;
}

class FlapRig : public SessionTest {
protected:
    std::unique_ptr<pty_link_t> link;
    std::unique_ptr<flapping> motor;

    void start_link(const swept_motor_sim_options_t& o = {}, const flap_timing_t& t = fast_flap_timing(),
                    const sim_faults_t& faults = {})
    {
        link = std::make_unique<pty_link_t>(std::make_unique<swept_motor_sim_t>(o), faults);
        ASSERT_TRUE(link->ok());
        link->start();
        res->RES_FLAP_PORT->write(wxString(link->port_path()));
        motor = std::make_unique<flapping>(t);
    }
    void start_centred(const swept_motor_sim_options_t& o = {})
    {
        start_link(o);
        ASSERT_TRUE(motor->find_centre(false));
        clear_heard();
    }
    template <typename F>
    auto sim(F&& f)
    {
        return link->with_sim([&](device_sim_t& s) { return f(static_cast<swept_motor_sim_t&>(s)); });
    }
    std::vector<std::string> commands()
    {
        return sim([](swept_motor_sim_t& s) { return s.commands(); });
    }
    void clear_heard()
    {
        sim([](swept_motor_sim_t& s) { s.clear_heard(); });
    }
    double sim_now() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count() -
               link->started_at();
    }
    // Where the motor truly is now, once the simulator has caught up.
    double sim_position()
    {
        const double now = sim_now();
        return sim([&](swept_motor_sim_t& s) {
            s.run_to(now);
            return s.position();
        });
    }
};

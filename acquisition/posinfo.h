// The position source: finds which tracker is on the serial port, polls it
// from the main loop with one request outstanding, and publishes each pose
// with its time stamp through the capture events. Everything runs on the
// main thread; only detection, diagnostics and stopping block.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <wx/string.h>

#include "acquisition/serial.h"
#include "acquisition/tracker_driver.h"
#include "common/functor.h"
#include "common/pos_stat.h"

class interaction_t;

// The alert-line text after detection.
wxString detection_outcome_text(sensor_t found, pos_detect_t sought, int tool, int pointer);

class posinfo;
extern posinfo* pos;  // the program's position source, while one exists

class posinfo {
public:
    using clock_t = std::function<std::uint64_t()>;  // 100 ns ticks

    // Reads the position resources, detects the tracker and registers on the
    // resources that drive it. clock defaults to the master clock.
    explicit posinfo(interaction_t& ui, clock_t clock = {});
    ~posinfo();
    posinfo(const posinfo&) = delete;
    posinfo& operator=(const posinfo&) = delete;

    sensor_t pos_init(long speed, const wxString& port, pos_detect_t detect, int tool, int pointer);
    void change_posinfo();
    void pos_caprun_changed();
    bool start_posinfo();
    bool stop_posinfo();
    void activ_posinfo();
    wxString pos_status();
    // The image of the last pos_status, when the tracker gives one.
    wxImage pos_status_image() const;

    bool running() const { return running_; }
    sensor_t sensor() const { return driver_ ? driver_->kind() : SENSOR_NONE; }
    const pos_stat_t& probe_sample() const { return probe_; }
    const pos_stat_t& pointer_sample() const { return pointer_; }
    std::int64_t latency() const { return latency_; }  // ticks, either sign

private:
    std::uint64_t now() const { return clock_(); }
    void refresh_latency();
    void publish();
    bool ask_for_position();
    void deliver(const tracker_reply_t& reply);
    void deliver_timed(const tracker_reply_t& reply, std::uint64_t answered);
    std::uint64_t less_latency(std::uint64_t t) const;
    void watchdog();
    void show_alert(const wxString& text, alert_t colour);

    interaction_t& ui_;
    clock_t clock_;
    serial_t line_;
    std::unique_ptr<tracker_driver_t> driver_;
    int pointer_tool_ = 0;

    bool running_ = false;
    pos_stat_t probe_, pointer_;
    static constexpr long max_latency_ms = 60000;
    std::int64_t latency_ = 0;
    std::uint64_t request_time_ = 0;   // latency-corrected time of the outstanding request
    std::uint64_t request_sent_ = 0;   // when it was written, for the watchdog
    std::uint64_t last_action_ = 0;
    std::uint64_t last_pointer_event_ = 0;
    bool watchdog_fired_ = false;

    std::unique_ptr<pmf_functor<posinfo>> change_proc_;
    std::unique_ptr<pmf_functor<posinfo>> caprun_proc_;
    std::unique_ptr<pmf_functor<posinfo>> idle_proc_;
};

// Poses from an OpenIGTLink server as a tracker: the TRANSFORM messages of
// one name (RES_IGTL_PROBE, "ProbeToReference" by default) from the server
// RES_IGTL_SERVER names. The server sends them when it likes, so there is
// nothing to ask for: each reply is the next pose received, stamped with the
// server's own time for it.
#pragma once

#include <deque>
#include <memory>

#include "acquisition/igtl_receiver.h"
#include "acquisition/tracker_driver.h"

class igtl_tracker_driver_t final : public tracker_driver_t {
public:
    explicit igtl_tracker_driver_t(igtl_receiver_t::clock_t clock);

    sensor_t kind() const override { return SENSOR_OPENIGTLINK; }
    // Connects to config.server (found: the first attempt succeeded; a server
    // not yet tracking is still the one chosen); the serial line is not used.
    bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) override;
    bool ask(serial_t&) override { return true; }
    tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) override;
    wxString status_report(serial_t& line, interaction_t& ui) override;
    sensor_volume_t volume() const override { return {}; }
    std::uint64_t watchdog_ticks() const override { return 20000000; }  // 2 s without a pose
    std::uint64_t poll_gap_ticks() const override { return 0; }
    bool has_more() const override { return !received_.empty(); }
    std::optional<alert_line_t> take_alert() override;

private:
    igtl_receiver_t::clock_t clock_;
    std::shared_ptr<igtl_receiver_t> receiver_;
    std::deque<igtl_receiver_t::pose_t> received_;
    std::string device_;
    bool was_connected_ = true;
    std::optional<alert_line_t> alert_;
};

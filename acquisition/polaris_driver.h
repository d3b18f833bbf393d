// The Polaris optical tracker: reset and initialisation dialogue, tool
// definitions for passive tools, volume selection and speed change at
// detection; one "TX" (newer command set) or "GX" (older) request per pose.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/polaris_protocol.h"
#include "acquisition/tracker_driver.h"

namespace polaris_dialogue {
class progress_scope;
}

// Waits during detection, in 100 ns ticks. The tracker can take seconds to
// come back from a reset; tests against a simulator shorten them.
struct polaris_timing_t {
    std::uint64_t drain = 30000000;     // pending replies before the reset
    std::uint64_t reset = 70000000;     // the tracker's answer to a reset
    std::uint64_t init = 30000000;      // INIT
    std::uint64_t command = 100000000;  // every other command
};

class polaris_driver_t final : public tracker_driver_t {
public:
    explicit polaris_driver_t(const polaris_timing_t& timing = {}) : timing_(timing) {}

    sensor_t kind() const override { return SENSOR_POLARIS; }
    bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) override;
    bool ask(serial_t& line) override;
    tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) override;
    // Stops tracking for the status queries and starts it again; trackers
    // with parameter commands also give their infrared camera images.
    wxString status_report(serial_t& line, interaction_t& ui) override;
    wxImage status_image() const override { return status_image_; }
    void shut_down(serial_t& line) override;
    sensor_volume_t volume() const override { return volume_; }
    bool has_pointer() const override { return ports_[pointer_slot] >= 0; }
    std::uint64_t watchdog_ticks() const override { return 10000000; }  // 1 s
    std::optional<alert_line_t> take_alert() override;
    std::optional<alert_line_t> alert_now() const override;

    // What detection found.
    bool newer_command_set() const { return newer_; }
    bool has_parameters() const { return params_; }
    int alert_state() const { return alert_; }  // -1 until the first reply
    // Port indices of probe, reference and pointer (-1 when unused).
    const std::array<int, 3>& ports() const { return ports_; }

    // Tool warnings are shown once per program run; this starts a new run.
    static void forget_warnings();

private:
    static constexpr std::size_t probe_slot = 0, reference_slot = 1, pointer_slot = 2;

    bool initialise(serial_t& line, const tracker_config_t& config, interaction_t& ui);
    bool handle_init_failure(serial_t& line, interaction_t& ui);
    bool load_tool_definitions(serial_t& line, const tracker_config_t& config);
    bool find_handles(serial_t& line);
    bool enable_tools(serial_t& line, interaction_t& ui);
    bool select_volume(serial_t& line);
    std::string port_id(int port) const;
    void set_alert(int state);
    void refresh_alert();
    tracker_reply_t interpret(std::string_view reply, serial_t& line, const tracker_wanted_t& wanted);
    tracker_reply_t unusable_reply(const tracker_wanted_t& wanted) const;
    wxString tool_report(serial_t& line);
    wxImage grab_ir_frames(serial_t& line, polaris_dialogue::progress_scope& progress);

    polaris_timing_t timing_;
    bool newer_ = false;
    bool params_ = false;
    std::array<int, 3> ports_{-1, -1, -1};
    std::array<int, polaris_port_count> handles_{-1, -1, -1, -1, -1, -1};  // by port index
    std::string option_ = "0001";  // reply option of the last GX request
    int alert_ = -1;
    std::optional<alert_line_t> pending_alert_;
    sensor_volume_t volume_;
    bool warned_this_probe_ = false;
    wxImage status_image_;
};

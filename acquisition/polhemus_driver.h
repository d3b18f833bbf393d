// The Polhemus trackers: Fastrak, and Liberty/Patriot. Both are put into
// binary output in centimetres at detection and answer "P" with one
// fixed-length record per request.
#pragma once

#include "acquisition/tracker_driver.h"

class fastrak_driver_t final : public tracker_driver_t {
public:
    sensor_t kind() const override { return SENSOR_FASTRAK; }
    bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) override;
    bool ask(serial_t& line) override;
    tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) override;
    wxString status_report(serial_t& line, interaction_t& ui) override;
    sensor_volume_t volume() const override { return volume_; }

    // The report lines for a 55-byte status record.
    static wxString describe_status(const std::string& record);

private:
    sensor_volume_t volume_;
};

class liberty_driver_t final : public tracker_driver_t {
public:
    sensor_t kind() const override { return SENSOR_LIBERTY; }
    bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) override;
    bool ask(serial_t& line) override;
    tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) override;
    wxString status_report(serial_t& line, interaction_t& ui) override;
    sensor_volume_t volume() const override { return volume_; }

    // The report lines, given the identification answer and the settings in force.
    static wxString describe_status(const std::string& identification, bool binary, bool metric, bool continuous);

private:
    sensor_volume_t volume_;
};

// The Ascension family (Flock of Birds, MiniBird, LaserBird, trakSTAR): one
// binary protocol. A single unit is one bird; a multi-sensor unit runs its
// sensors as a group and answers each request with a record per sensor.
#pragma once

#include <string>

#include "acquisition/tracker_driver.h"

// Which sensors a tool selection needs; -1 when unused.
struct ascension_sensors_t {
    int probe = -1, reference = -1, pointer = -1;
    bool valid = false;  // false for a code outside the tool table
    int count() const;   // highest sensor used + 1
};
ascension_sensors_t ascension_sensors_for(int tool, int pointer);

// Does a model string answer the kind of tracker sought?
bool ascension_model_matches(const std::string& model, pos_detect_t sought);

class ascension_driver_t final : public tracker_driver_t {
public:
    sensor_t kind() const override { return SENSOR_ASCENSION; }
    bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) override;
    bool ask(serial_t& line) override;
    tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) override;
    wxString status_report(serial_t& line, interaction_t& ui) override;
    sensor_volume_t volume() const override { return volume_; }
    bool has_pointer() const override { return sensors_.pointer >= 0; }

    float full_scale() const { return full_scale_; }
    std::size_t record_length() const { return record_length_; }

    // The report lines for a bird status word, error codes and sensor status bytes.
    static wxString describe_status(unsigned status_word, int latest_error, int previous_error, float full_scale,
                                    const std::string& sensor_status);

private:
    bool configure_group(serial_t& line, const tracker_config_t& config);

    sensor_volume_t volume_;
    ascension_sensors_t sensors_;
    float full_scale_ = 36.0f;  // inches
    std::size_t record_length_ = 12;
    bool multi_sensor_ = false;
};

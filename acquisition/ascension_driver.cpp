#include "acquisition/ascension_driver.h"

#include <algorithm>
#include <array>

#include <wx/log.h>

#include "acquisition/line_dialogue.h"
#include "acquisition/tracker_records.h"
#include "common/matrix16d.h"

namespace {

constexpr int max_sensors = 10;

std::string examine(serial_t& line, unsigned char parameter)
{
    const char command[2] = {'O', static_cast<char>(parameter)};
    return ask_text(line, std::string_view(command, 2));
}

const char* error_text(int code)
{
    static const std::array<const char*, 36> texts = {
        "",
        " System RAM failure.\n",
        " Non-volatile storage write failure.\n",
        " PCB configuration data corrupt.\n",
        " Transmitter calibration data corrupt or not connected.\n",
        " Sensor calibration data corrupt or not connected.\n",
        " Invalid RS232 command.\n",
        " Not a bus master.\n",
        " No birds accessible in device list.\n",
        " Bird is not initialized.\n",
        " Intra-bird bus receive error.\n",
        " RS232 serial port receive error.\n",
        " Host bus receive error.\n",
        " No bus command response.\n",
        " Invalid bus host command.\n",
        " Bus run time error.\n",
        " Invalid CPU speed.\n",
        " No bus data.\n",
        " Illegal baud rate.\n",
        " Slave acknowledge error.\n",
        " Cooling fan failure.\n",
        " Operating voltage failure.\n",
        " ROM code checksum failure.\n",
        " CPU stack overflow.\n",
        " CPU illegal instruction.\n",
        " CPU divide error.\n",
        " CPU trap.\n",
        " CPU watchdog.\n",
        " CRT synchronisation failure.\n",
        " Transmitter not accessible.\n",
        " Extended range transmitter not attached.\n",
        " CPU time overflow.\n",
        " Sensor saturated.\n",
        " Slave configuration error.\n",
        " Watchdog timer expired.\n",
        " Over temperature.\n",
    };
    return code > 0 && code < static_cast<int>(texts.size()) ? texts[static_cast<std::size_t>(code)] : nullptr;
}

wxString error_line(const char* label, int code)
{
    if (code == 0)
        return wxString::Format(" %s none.\n", label);
    if (const char* text = error_text(code))
        return wxString(" ") + label + text;
    return wxString::Format(" %s unkown (error code is %i)\n", label, code);
}

}  // namespace

int ascension_sensors_t::count() const
{
    return std::max({probe, reference, pointer}) + 1;
}

ascension_sensors_t ascension_sensors_for(int tool, int pointer)
{
    // Tool a relative to tool b, for codes 4-9.
    static const int relative[6][2] = {{0, 1}, {0, 2}, {1, 0}, {1, 2}, {2, 0}, {2, 1}};
    ascension_sensors_t s;
    if (tool == 0)
        s.probe = 0;
    else if (tool >= 1 && tool <= 3)
        s.probe = tool - 1;
    else if (tool >= 4 && tool <= 9) {
        s.probe = relative[tool - 4][0];
        s.reference = relative[tool - 4][1];
    } else if (tool >= 10 && tool <= 16)
        s.probe = tool - 7;
    else
        return s;

    if (pointer >= 1 && pointer <= 3)
        s.pointer = pointer - 1;
    else if (pointer >= 10 && pointer <= 16)
        s.pointer = pointer - 7;
    else if (pointer != 0)
        return s;
    s.valid = true;
    return s;
}

bool ascension_model_matches(const std::string& model, pos_detect_t sought)
{
    if (model.size() < 3)
        return false;
    if (model.compare(0, 2, "6D") != 0 && model.compare(0, 2, "La") != 0 && model.compare(0, 2, " L") != 0)
        return false;
    switch (sought) {
    case POS_DETECT_LASER: return model[0] == 'L' || model[1] == 'L';
    case POS_DETECT_FLOCK: return model[2] == 'E' || model[2] == 'F';
    case POS_DETECT_MINI: return model[2] == 'M';
    case POS_DETECT_STAR: return model[2] == 'B';
    case POS_DETECT_AUTO: return true;
    default: return false;
    }
}

bool ascension_driver_t::probe(serial_t& line, const tracker_config_t& config, interaction_t&)
{
    line.set_record_length(ascension_unit_length, 0);
    const std::string model = examine(line, 0x0F);
    if (!ascension_model_matches(model, config.detect))
        return false;

    if (model.starts_with("6DERC"))
        full_scale_ = 144.0f;
    else {
        const std::string scale = examine(line, 0x03);
        full_scale_ = !scale.empty() && scale[0] == 1 ? 72.0f : 36.0f;
    }

    sensors_ = ascension_sensors_for(config.tool, config.pointer);
    if (!sensors_.valid) {
        wxLogError("Unknown tool selection %d (pointer %d) for the Ascension tracker.", config.tool, config.pointer);
        return false;
    }
    multi_sensor_ = model.starts_with("6DB");
    if (multi_sensor_) {
        if (!configure_group(line, config))
            return false;
    } else {
        // A stand-alone unit has one bird: refuse a selection that needs more
        // rather than read past its 12-byte record.
        if (sensors_.count() > 1) {
            wxLogError("This Ascension tracker has a single sensor; the selected tools need %d.", sensors_.count());
            return false;
        }
        record_length_ = ascension_unit_length;
        if (!send_text(line, "Y"))
            return false;
    }
    volume_ = {};
    volume_.kind = 2;
    volume_.range = 60.0;
    return true;
}

bool ascension_driver_t::configure_group(serial_t& line, const tracker_config_t&)
{
    const std::string status = examine(line, '$');
    const auto usable = [&](int sensor) {
        if (sensor < 0)
            return true;
        if (static_cast<std::size_t>(sensor) >= status.size())
            return false;
        return (static_cast<unsigned char>(status[static_cast<std::size_t>(sensor)]) & 0xC0) != 0;
    };
    if (!usable(sensors_.probe) || !usable(sensors_.reference) || !usable(sensors_.pointer)) {
        wxLogError("The Ascension trakSTAR was found, however the requested sensors are not powered on.");
        return false;
    }
    const int n = sensors_.count();
    const char units[3] = {'P', '2', static_cast<char>(n)};
    if (!send_text(line, std::string_view(units, 3)))
        return false;
    record_length_ = ascension_group_stride * static_cast<std::size_t>(n);
    line.set_record_length(record_length_, 0);
    bool ok = send_text(line, "Y");
    for (int unit = 2; ok && unit <= n; ++unit) {
        const char addressed[2] = {static_cast<char>(0xF0 + unit), 'Y'};
        ok = send_text(line, std::string_view(addressed, 2));
    }
    const char group[3] = {'P', '#', 0x01};
    return ok && send_text(line, std::string_view(group, 3)) && send_text(line, "F");
}

bool ascension_driver_t::ask(serial_t& line)
{
    line.set_record_length(record_length_, 0);
    return send_text(line, "B");
}

tracker_reply_t ascension_driver_t::read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted)
{
    if (line.pread(wait, reply_timeout) == 0)
        return {};
    tracker_reply_t r;
    r.received = true;
    const record_view record = line.record();
    if (!ascension_record_ok(record, record_length_)) {
        line.set_record_length(record_length_, 0);
        wxLogDebug("Wrong data length - %i instead of %i", static_cast<int>(record.size()),
                   static_cast<int>(record_length_));
        return r;
    }
    if (wanted.probe && sensors_.probe >= 0 &&
        decode_ascension_bird(record, static_cast<std::size_t>(sensors_.probe), full_scale_, r.probe_pose)) {
        float reference[6];
        r.probe = true;
        if (sensors_.reference >= 0) {
            if (!decode_ascension_bird(record, static_cast<std::size_t>(sensors_.reference), full_scale_, reference))
                r.probe = false;
            else {
                matrix16d ref;
                ref.inverse(reference);
                matrix16d probe;
                probe.forward(r.probe_pose);
                double v[6];
                (ref * probe).decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
                for (int i = 0; i < 6; ++i)
                    r.probe_pose[i] = static_cast<float>(v[i]);
            }
        }
    }
    if (wanted.pointer && sensors_.pointer >= 0)
        r.pointer = decode_ascension_bird(record, static_cast<std::size_t>(sensors_.pointer), full_scale_,
                                          r.pointer_pose);
    return r;
}

wxString ascension_driver_t::describe_status(unsigned word, int latest_error, int previous_error, float full_scale,
                                             const std::string& sensor_status)
{
    static const char* outputs[] = {
        nullptr,
        " Position outputs selected.\n",
        " Angle outputs selected.\n",
        " Matrix outputs selected.\n",
        " Position/angle outputs selected.\n",
        " Position/matrix outputs selected.\n",
        " Special Factory outputs selected.\n",
        " Quaternion outputs selected.\n",
        " Position/quaternion outputs selected.\n",
    };
    const unsigned mode = (word >> 1) & 0x0F;
    if (mode == 0 || mode > 8)
        return "Unexpected Flock status record.\n";
    wxString s = "Tracker status:\n";
    s += outputs[mode];
    s += wxString::Format(" The tracker is in %s mode.\n", (word & 0x0001) ? "stream" : "point");
    s += wxString::Format(" Flow is %s.\n", (word & 0x0040) ? "stopped (XOFF)" : "on (XON)");
    s += wxString::Format(" Sync mode is%s.\n", (word & 0x0800) ? " host sync" : (word & 0x0200) ? " CRT sync" : " off");
    s += wxString::Format(" %s address mode.\n", (word & 0x0400) ? "Expanded" : "Normal");
    s += wxString::Format(" This is a %s tracker.\n", (word & 0x8000) ? "master" : "slave");
    s += wxString::Format(" The tracker is %s.\n", (word & 0x0020) ? "asleep" : (word & 0x1000) ? "running" : "not running");
    s += wxString::Format(" Tracker has %s.\n", (word & 0x2000) ? "detected an error" : "no errors");
    s += wxString::Format(" Maximum position is %.0f inches.\n", full_scale);
    s += error_line("Latest error:", latest_error);
    s += error_line("Previous error:", previous_error);
    for (std::size_t i = 0; i < sensor_status.size() && i < max_sensors; ++i) {
        const auto bits = static_cast<unsigned char>(sensor_status[i]);
        const int n = static_cast<int>(i) + 1;
        if (bits & 0x80)
            s += wxString::Format(" Sensor %i found.\n", n);
        if (bits & 0x40)
            s += wxString::Format(" Sensor %i is powered on.\n", n);
        if (bits & 0x20)
            s += wxString::Format(" Sensor %i is running.\n", n);
    }
    return s;
}

wxString ascension_driver_t::status_report(serial_t& line, interaction_t&)
{
    wxString s = "Bird or Star detected.\n\n";
    line.set_record_length(serial_t::buffer_size, 0);
    const std::string status = examine(line, 0x00);
    const std::string errors = examine(line, 0x0A);  // latest and previous error codes
    const std::string sensors = multi_sensor_ ? examine(line, '$') : std::string();
    line.set_record_length(record_length_, 0);
    if (status.size() != 2 || errors.size() != 2)
        return s + "Unexpected Flock status record.\n";
    const unsigned word = static_cast<unsigned char>(status[0]) | static_cast<unsigned char>(status[1]) << 8;
    return s + describe_status(word, static_cast<unsigned char>(errors[0]), static_cast<unsigned char>(errors[1]),
                               full_scale_, sensors);
}

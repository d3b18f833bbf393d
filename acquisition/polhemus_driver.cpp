#include "acquisition/polhemus_driver.h"

#include <wx/log.h>

#include "acquisition/line_dialogue.h"
#include "acquisition/tracker_records.h"
#include "common/hex_digit.h"

namespace {

constexpr std::size_t fastrak_status_length = 55;

// Every probe starts from an empty buffer and takes what arrives until the
// line falls silent.
void read_until_silent(serial_t& line)
{
    line.set_record_length(serial_t::buffer_size, 0);
}

using record_decoder_t = bool (*)(record_view, float (&)[6]);

// One fixed-length binary record per request: a pose, or a record dropped
// with the line re-armed for the next one.
tracker_reply_t read_pose_record(serial_t& line, bool wait, std::size_t length, record_decoder_t decode)
{
    if (line.pread(wait, reply_timeout) == 0)
        return {};
    tracker_reply_t r;
    r.received = true;
    if (decode(line.record(), r.probe_pose))
        r.probe = true;
    else
        line.set_record_length(length, 0);
    return r;
}

bool is_polhemus_identification(const std::string& id)
{
    for (const char* name : {"Polhemus Patriot", "Polhemus PATRIOT", "Polhemus Liberty", "Polhemus LIBERTY"})
        if (id.find(name) != std::string::npos)
            return true;
    return false;
}

}  // namespace

// ---------------------------------------------------------------- Fastrak

bool fastrak_driver_t::probe(serial_t& line, const tracker_config_t&, interaction_t&)
{
    read_until_silent(line);
    ask_text(line, "c");  // stop continuous output; whatever was streaming is drained
    const std::string status = ask_text(line, "S");
    if (status.size() != fastrak_status_length || status[0] != '2' || status[2] != 'S')
        return false;
    if (!send_text(line, "fu"))  // binary output, centimetres
        return false;
    volume_ = {};
    volume_.kind = 1;
    const bool short_range = status[1] == '9';
    volume_.range = short_range ? 20.0 : 76.0;
    volume_.flag = short_range ? 1.0 : 0.0;
    return true;
}

bool fastrak_driver_t::ask(serial_t& line)
{
    line.set_record_length(fastrak_record_length, 0);
    return send_text(line, "P");
}

tracker_reply_t fastrak_driver_t::read_reply(serial_t& line, bool wait, const tracker_wanted_t&)
{
    return read_pose_record(line, wait, fastrak_record_length, decode_fastrak_record);
}

wxString fastrak_driver_t::describe_status(const std::string& record)
{
    int flags = 0;
    bool ok = record.size() == fastrak_status_length && record[0] == '2' && record[2] == 'S' &&
              record[1] >= '0' && record[1] <= '9';
    for (int i = 3; ok && i < 6; ++i) {
        const int v = hex_digit_value(record[i]);
        ok = v >= 0;
        flags = flags * 16 + v;
    }
    if (!ok)
        return "Unexpected Fastrak status record.\n";
    wxString s = "Fastrak status:\n";
    s += wxString::Format(" Station number %d\n", record[1] - '0');
    s += wxString::Format(" %s format.\n", (flags & 0x01) ? "Binary" : "Ascii");
    s += wxString::Format(" Units in %s\n", (flags & 0x02) ? "centimetres" : "inches");
    s += wxString::Format(" Compensation %s\n", (flags & 0x04) ? "on" : "off");
    s += wxString::Format(" %s transmit mode.\n", (flags & 0x08) ? "Continuous" : "Non-continuous");
    return s;
}

wxString fastrak_driver_t::status_report(serial_t& line, interaction_t&)
{
    read_until_silent(line);
    return wxString("Polhemus Fastrak detected.\n\n") + describe_status(ask_text(line, "S"));
}

// ---------------------------------------------------------- Liberty/Patriot

bool liberty_driver_t::probe(serial_t& line, const tracker_config_t&, interaction_t&)
{
    read_until_silent(line);
    ask_text(line, "\r");
    ask_text(line, "F0\r");  // ASCII output, so the identification is readable
    const std::string id = ask_text(line, "\x16\r");
    if (!is_polhemus_identification(id))
        return false;
    if (!send_text(line, "F1\r") || !send_text(line, "U1\r"))  // binary output, centimetres
        return false;
    volume_ = {};
    volume_.kind = 4;
    volume_.range = 90.0;
    return true;
}

bool liberty_driver_t::ask(serial_t& line)
{
    line.set_record_length(liberty_record_length, 0);
    return send_text(line, "P");
}

tracker_reply_t liberty_driver_t::read_reply(serial_t& line, bool wait, const tracker_wanted_t&)
{
    return read_pose_record(line, wait, liberty_record_length, decode_liberty_record);
}

wxString liberty_driver_t::describe_status(const std::string& identification, bool binary, bool metric,
                                           bool continuous)
{
    if (!is_polhemus_identification(identification))
        return "Unexpected Liberty/Patriot status record.\n";
    wxString s = "Liberty/Patriot status:\n";
    s += wxString::Format(" %s format\n", binary ? "Binary" : "Ascii");
    s += wxString::Format(" Units in %s\n", metric ? "centimetres" : "inches");
    s += wxString::Format(" %s transmit mode\n", continuous ? "Continuous" : "Non-continuous");
    return s;
}

wxString liberty_driver_t::status_report(serial_t& line, interaction_t&)
{
    // Setting queries could change the tracker's state, so the report names the
    // settings detection made, once the tracker has identified itself again.
    read_until_silent(line);
    ask_text(line, "F0\r");
    const std::string id = ask_text(line, "\x16\r");
    send_text(line, "F1\r");
    return wxString("Polhemus Liberty/Patriot detected.\n\n") + describe_status(id, true, true, false);
}

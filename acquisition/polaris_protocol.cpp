#include "acquisition/polaris_protocol.h"

#include <cmath>
#include <cstdio>

#include "common/hex_digit.h"

namespace {

constexpr std::array<const char*, polaris_error_count> make_error_table()
{
    std::array<const char*, polaris_error_count> t{};
    for (auto& s : t)
        s = "";
    t[0x01] = "Invalid command";
    t[0x02] = "Command too long";
    t[0x03] = "Command too short";
    t[0x04] = "Invalid CRC calculated for command";
    t[0x05] = "Time-out on command execution";
    t[0x06] = "Unable to set up new communication parameters";
    t[0x07] = "Incorrect number of command parameters";
    t[0x08] = "Invalid port handle selected";
    t[0x09] = "Invalid tracking priority selected";
    t[0x0A] = "Invalid LED selected";
    t[0x0B] = "Invalid LED state selected";
    t[0x0C] = "Command is invalid while in the current mode";
    t[0x0D] = "No tool plugged into selected port";
    t[0x0E] = "Selected port not initialized";
    t[0x0F] = "Selected port not enabled";
    t[0x10] = "System not initialized";
    t[0x11] = "Failure to stop tracking";
    t[0x12] = "Failure to start tracking";
    t[0x13] = "Failure to initialize tool in port";
    t[0x14] = "Invalid Position Sensor characterization parameters";
    t[0x15] = "Failure to initialize the POLARIS";
    t[0x16] = "Failure to start diagnostic mode";
    t[0x17] = "Failure to stop diagnostic mode";
    t[0x18] = "Failure to determine environmental infrared";
    t[0x19] = "Failure to read firmware version information";
    t[0x1A] = "Internal POLARIS error";
    t[0x1B] = "Failure to initialize for environmental infrared diagnostics";
    t[0x1C] = "Failure to set marker firing signature";
    t[0x1D] = "Failure to search for SROM IDs";
    t[0x1E] = "Failure to read SROM data";
    t[0x1F] = "Failure to write SROM data";
    t[0x20] = "Failure to select SROM";
    t[0x21] = "Failure to perform tool current test";
    t[0x22] = "Enabled tools not supported by selected volume parameters";
    t[0x23] = "Command parameter out of range";
    t[0x24] = "Unable to select volume";
    t[0x25] = "Failure to determine supported features list";
    t[0x28] = "Too many tools enabled";
    t[0x29] = "Too many port handles requested";
    t[0x2A] = "No memory available for dynamic allocation";
    t[0x2B] = "Requested port handle not allocated";
    t[0x2C] = "Requested port handle has become unoccupied";
    t[0x2D] = "All port handles have been allocated";
    t[0x2E] = "Incompatible firmware versions";
    t[0x2F] = "Invalid port description";
    t[0x30] = "Requested port already assigned a port handle";
    t[0x31] = "Invalid input or output state";
    t[0x32] = "Invalid operation for the device on this port handle";
    t[0x33] = "Feature not available";
    t[0x34] = "User parameter does not exist";
    t[0x35] = "Invalid value type";
    t[0x36] = "User parameter value out of range";
    t[0x37] = "User parameter array index out of range";
    t[0x38] = "User parameter size incorrect";
    t[0x39] = "Permission denied";
    t[0x3B] = "File not found";
    t[0x3C] = "Error writing to file";
    t[0x40] = "Tool definition file error";
    t[0x41] = "Tool characteristics not supported";
    t[0xA2] = "Device not present";
    t[0xF1] = "Too much environmental infrared";
    t[0xF4] = "Failure to erase Flash EEPROM";
    t[0xF5] = "Failure to write Flash EEPROM";
    t[0xF6] = "Failure to read Flash EEPROM";
    return t;
}

struct alert_entry_t {
    const char* text;
    alert_t colour;
};

constexpr alert_entry_t alert_table[polaris_alert_count] = {
    {"Polaris system communication sync error", ALERT_ERROR},
    {"Too much external infra red", ALERT_ERROR},
    {"Polaris communication crc error", ALERT_ERROR},
    {"Polaris system processing exception", ALERT_ERROR},
    {"Kestrane can't interpret GX format ", ALERT_ERROR},
    {"Polaris outside optimal temperature range", ALERT_WARNING},
    {"Polaris issued an alert", ALERT_ERROR},
    {"Polaris port is not enabled", ALERT_ERROR},
    {"Polaris tool cannot be seen by sensor", ALERT_ERROR},
    {"Polaris tool out of volume", ALERT_WARNING},
    {"Polaris tool partially out of volume", ALERT_WARNING},
    {"Polaris tool OK", ALERT_NORMAL},
};

struct new_alert_entry_t {
    std::uint32_t mask;
    const char* text;
    bool add_restart_advice;
};

// Searched in order; the first matching entry names the alert.
constexpr new_alert_entry_t new_alert_table[] = {
    {0x4, "Polaris input voltage is outside operating range.\nThere may be a problem with the power supply.", true},
    {0x2000038, "There has been a Polaris hardware failure.", true},
    {0x1C0, "Polaris temperature is outside functional range.", true},
    {1u << 20, "Polaris battery is low or not connected.", true},
    {1u << 21,
     "Polaris seems to have been bumped.\nThis may invalidate the isocentre calibration.\n\n"
     "Check the position of the Polaris and re-calibrate\nthe room isocentre before re-starting acquisition.",
     false},
    {1u << 22, "There has been a Polaris cable fault.", true},
};

// Replies are echoed into logs; control bytes would garble them.
wxString printable(std::string_view text)
{
    wxString out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F)
            out += c;
        else
            out += wxString::Format("\\x%02X", u);
    }
    return out;
}

char tool_letter(int port)
{
    return polaris_port[port % 3];
}

const char* port_kind(int port)
{
    return port < 3 ? " (active)" : " (passive)";
}

bool valid_port(int port)
{
    return port >= 0 && port < polaris_port_count;
}

}  // namespace

const std::array<const char*, polaris_error_count> polaris_error_table = make_error_table();

std::uint16_t polaris_crc16(std::string_view text)
{
    std::uint16_t crc = 0;
    for (const char c : text) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001) : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

polaris_reply_check_t polaris_check_reply(std::span<const unsigned char> record, std::string_view* body)
{
    if (record.empty() || record.back() != '\r')
        return polaris_reply_check_t::unterminated;
    const std::string_view text(reinterpret_cast<const char*>(record.data()), record.size() - 1);
    *body = text;
    if (text.size() < 4)
        return polaris_reply_check_t::bad_crc;
    const std::string_view payload = text.substr(0, text.size() - 4);
    const auto crc = read_polaris_hex(text, text.size() - 4, 4);
    *body = payload;
    if (!crc || *crc != polaris_crc16(payload))
        return polaris_reply_check_t::bad_crc;
    return polaris_reply_check_t::ok;
}

std::string polaris_frame_reply(std::string_view body)
{
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04X", static_cast<unsigned>(polaris_crc16(body)));
    std::string out(body);
    out += crc;
    out += '\r';
    return out;
}

wxString polaris_error_message(std::string_view reply, std::string_view command)
{
    const wxString cmd = printable(command);
    if (reply.substr(0, 5) != "ERROR")
        return "Comm error: " + cmd + " returned " + printable(reply);
    const auto code = read_polaris_hex(reply, 5, 2);
    wxString text = "Polaris error: " + cmd + " returned " + printable(reply.substr(0, 7));
    if (!code || *code == 0 || *code >= polaris_error_table.size())
        return text + " (Error out of range)";
    return text + " (" + polaris_error_table[*code] + ")";
}

alert_line_t polaris_alert_line(int state, std::string_view gx_option)
{
    if (state < 0 || state >= polaris_alert_count)
        return {" ", ALERT_NORMAL};
    alert_line_t a{alert_table[state].text, alert_table[state].colour};
    if (state == 4)
        a.text += printable(gx_option.substr(0, 4));
    return a;
}

wxString polaris_new_alert_message(std::uint32_t alerts)
{
    for (const auto& e : new_alert_table)
        if (alerts & e.mask)
            return wxString(e.text) + (e.add_restart_advice ? polaris_restart_advice : "");
    return {};
}

polaris_init_alert_t polaris_init_alert(std::uint32_t alerts)
{
    if (alerts & 0x1)
        return {"There has been a Polaris fatal parameter fault.\nPlease contact NDI for advice.", false};
    if (alerts & 0x2)
        return {"There has been a Polaris sensor parameter fault.\nPlease contact NDI for advice.", false};
    if (alerts & (1u << 23))
        return {"The Polaris firmware is incompatible.\nPlease update the firmware.", false};
    if (alerts & (1u << 24))
        return {"There has been a non-fatal Polaris parameter fault.\nRestoring all user parameters to default "
                "settings and saving.\nWill then attempt to re-initialise the Polaris.",
                true};
    return {"Polaris initialisation was not successful, but the Alert parameter was not understood.\n"
            "Please contact NDI for advice.",
            false};
}

std::optional<std::uint32_t> parse_polaris_new_alerts(std::string_view reply)
{
    constexpr std::string_view key = "Info.Status.New Alerts=";
    if (reply.substr(0, key.size()) != key)
        return std::nullopt;
    std::string_view digits = reply.substr(key.size());
    while (!digits.empty() && (digits.back() == '\n' || digits.back() == '\r'))
        digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 10)
        return std::nullopt;
    std::uint64_t v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<std::uint32_t>(v);
}

std::optional<float> read_polaris_signed(std::string_view field)
{
    if (field.size() < 2 || (field[0] != '+' && field[0] != '-'))
        return std::nullopt;
    float v = 0.0f;
    for (const char c : field.substr(1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10.0f + static_cast<float>(c - '0');
    }
    return field[0] == '-' ? -v : v;
}

std::optional<unsigned long> read_polaris_hex(std::string_view text, std::size_t at, std::size_t n)
{
    if (n == 0 || n > 8 || at > text.size() || text.size() - at < n)
        return std::nullopt;
    unsigned long v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = hex_digit_value(text[at + i]);
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<unsigned long>(d);
    }
    return v;
}

bool parse_polaris_vol_number(std::string_view text, double& value)
{
    if (text.size() < 7)
        return false;
    const auto v = read_polaris_signed(text.substr(0, 7));
    if (!v)
        return false;
    value = static_cast<double>(*v / 100.0f);
    return true;
}

void polaris_quaternion_angles(float q0, float qx, float qy, float qz, float (&angles)[3])
{
    constexpr float to_degrees = 57.29578f;
    const double a0 = q0, ax = qx, ay = qy, az = qz;
    const double r00 = a0 * a0 + ax * ax - ay * ay - az * az;
    const double r10 = 2.0 * (ax * ay + a0 * az);
    const double azimuth = std::atan2(r10, r00);
    const double ca = std::cos(azimuth), sa = std::sin(azimuth);
    const double elevation = std::atan2(2.0 * (a0 * ay - ax * az), ca * r00 + sa * r10);
    const double roll = std::atan2(2.0 * ca * (a0 * ax - ay * az) + 2.0 * sa * (a0 * ay + ax * az),
                                   ca * (a0 * a0 - ax * ax + ay * ay - az * az) + 2.0 * sa * (a0 * az - ax * ay));
    angles[0] = static_cast<float>(azimuth * to_degrees);
    angles[1] = static_cast<float>(elevation * to_degrees);
    angles[2] = static_cast<float>(roll * to_degrees);
}

bool decode_polaris_transform(std::string_view entry, float (&pose)[6])
{
    if (entry.size() < 45)
        return false;
    float q[4];
    for (int i = 0; i < 4; ++i) {
        const auto v = read_polaris_signed(entry.substr(static_cast<std::size_t>(6 * i), 6));
        if (!v)
            return false;
        q[i] = *v / 10000.0f;
    }
    float t[3];
    for (int i = 0; i < 3; ++i) {
        const auto v = read_polaris_signed(entry.substr(24 + static_cast<std::size_t>(7 * i), 7));
        if (!v)
            return false;
        t[i] = *v / 100.0f / 10.0f;  // hundredths of a mm to cm
    }
    float angles[3];
    polaris_quaternion_angles(q[0], q[1], q[2], q[3], angles);
    const float out[6] = {t[0], t[1], t[2], angles[0], angles[1], angles[2]};
    for (const float v : out)
        if (!std::isfinite(v))
            return false;
    std::copy(std::begin(out), std::end(out), pose);
    return true;
}

std::optional<polaris_tool_ports_t> polaris_tool_ports(int tool)
{
    switch (tool) {
    case 0:  // no choice made: the first active port, as with the other trackers
    case 1: return polaris_tool_ports_t{0, -1};
    case 2: return polaris_tool_ports_t{1, -1};
    case 3: return polaris_tool_ports_t{2, -1};
    case 4: return polaris_tool_ports_t{0, 1};
    case 5: return polaris_tool_ports_t{0, 2};
    case 6: return polaris_tool_ports_t{1, 0};
    case 7: return polaris_tool_ports_t{1, 2};
    case 8: return polaris_tool_ports_t{2, 0};
    case 9: return polaris_tool_ports_t{2, 1};
    case 10: return polaris_tool_ports_t{3, -1};  // tools 4-6 are the passive ports
    case 11: return polaris_tool_ports_t{4, -1};
    case 12: return polaris_tool_ports_t{5, -1};
    default: return std::nullopt;  // the tracker has no tools 7-10
    }
}

std::optional<int> polaris_pointer_port(int pointer)
{
    if (pointer == 0)
        return -1;
    if (pointer >= 1 && pointer <= 3)
        return pointer - 1;
    if (pointer >= 10 && pointer <= 12)
        return pointer - 7;
    return std::nullopt;
}

void append_polaris_tool_string(wxString& text, int probe_port, int reference_port, int pointer_port)
{
    if (valid_port(probe_port))
        text += wxString::Format("port %c", tool_letter(probe_port)) + port_kind(probe_port);
    if (valid_port(reference_port))
        text += wxString::Format(" wrt port %c", tool_letter(reference_port)) + port_kind(reference_port);
    if (valid_port(pointer_port))
        text += wxString::Format(", pointer on port %c", tool_letter(pointer_port)) + port_kind(pointer_port);
}

int polaris_speed_code(long speed)
{
    switch (speed) {
    case 9600: return 0;
    case 14400: return 1;
    case 19200: return 2;
    case 38400: return 3;
    case 57600: return 4;
    case 115200: return 5;
    case 921600: return 6;
    case 1228739: return 7;
    default: return -1;
    }
}

bool polaris_speed_accepted(int code, bool has_parameters)
{
    if (has_parameters)
        return code >= 0 && code <= 7 && code != 2;
    return code >= 0 && code <= 5;
}

wxString polaris_speed_refusal(long speed, bool has_parameters)
{
    if (has_parameters)
        return wxString::Format("The selected serial speed (%i bps) is not compatable with this Polaris system.\n"
                                "Please try again with a speed in the range %i bps to %i bps,\n"
                                "but NOT a speed of 19200 bps.",
                                static_cast<int>(speed), 9600, 1228739);
    return wxString::Format("The selected serial speed (%i bps) is not compatable with this Polaris system.\n"
                            "Please try again with a speed in the range %i bps to %i bps.",
                            static_cast<int>(speed), 9600, 115200);
}

polaris_volume_choice_t parse_polaris_volumes(std::string_view reply)
{
    constexpr std::size_t min_record = 72;
    polaris_volume_choice_t choice;
    if (reply.empty() || hex_digit_value(reply[0]) < 0)
        return choice;
    const int count = hex_digit_value(reply[0]);
    std::size_t pos = 1;
    for (int n = 1; n <= count && pos < reply.size(); ++n) {
        std::size_t end = reply.find('\n', pos);
        if (end == std::string_view::npos)
            end = reply.size();
        const std::string_view record = reply.substr(pos, end - pos);
        pos = end + 1;
        if (record.size() < min_record)
            continue;
        const char shape = record[0];
        const int values = shape == '0' ? 4 : shape == '4' ? 1 : (shape == '5' || shape == '7') ? 10 : 0;
        if (values > 0) {
            sensor_volume_t v;
            v.kind = 3;
            bool ok = true;
            for (int i = 0; i < values && ok; ++i)
                ok = parse_polaris_vol_number(record.substr(1 + 7 * static_cast<std::size_t>(i), 7),
                                              v.shape[static_cast<std::size_t>(i)]);
            if (ok) {
                v.shape_count = values;
                choice.volume = v;
            }
        }
        if (shape == '0') {
            choice.selected = n;
        } else if (shape == '4') {
            choice.selected = n;
            break;
        } else if (shape == '5') {
            break;
        }
    }
    return choice;
}

namespace {

// The port status low byte is the two hex characters starting 11 characters
// before the next entry: the port status ends 9 characters earlier than that,
// followed by the frame number and a line feed.
void read_entry(std::string_view reply, std::size_t pos, std::size_t length, std::size_t status_back,
                polaris_entry_t& e)
{
    e.located = true;
    e.offset = pos;
    const char c = reply[pos];
    e.kind = c == 'M' ? 'M' : c == 'D' ? 'D' : 'T';
    if (e.kind != 'D' && status_back > 0 && status_back <= length) {
        e.status_offset = pos + length - status_back;
        const auto s = read_polaris_hex(reply, e.status_offset, 2);
        e.port_status = s ? static_cast<int>(*s) : -1;
    }
    if (e.kind == 'T')
        e.pose_ok = decode_polaris_transform(reply.substr(pos, length), e.pose);
}

}  // namespace

polaris_frame_t decode_polaris_tx(std::string_view reply, const std::array<int, 3>& handles)
{
    polaris_frame_t f;
    const auto count = read_polaris_hex(reply, 0, 2);
    if (!count)
        return f;
    std::size_t pos = 2;
    for (unsigned long i = 0; i < *count; ++i) {
        const auto handle = read_polaris_hex(reply, pos, 2);
        if (!handle || pos + 2 >= reply.size())
            return f;
        pos += 2;
        const char c = reply[pos];
        const std::size_t length = c == 'M' ? 24 : c == 'D' ? 9 : 68;
        if (reply.size() - pos < length)
            return f;
        for (std::size_t k = 0; k < handles.size(); ++k)
            if (handles[k] >= 0 && static_cast<unsigned long>(handles[k]) == *handle && !f.entries[k].located)
                read_entry(reply, pos, length, c == 'D' ? 0 : 11, f.entries[k]);
        pos += length;
    }
    const auto status = read_polaris_hex(reply, pos, 4);
    if (!status)
        return f;
    f.system_status = static_cast<int>(*status);
    f.complete = true;
    return f;
}

polaris_frame_t decode_polaris_gx(std::string_view reply, unsigned option, const std::array<int, 3>& ports)
{
    // A block: entries for three ports, then the fixed part of three port
    // status bytes and the system status byte, each two hex digits, and a
    // line feed. The passive ports' block follows the fixed part.
    constexpr std::size_t fixed_length = 9;
    polaris_frame_t f;
    if (!(option & 0x0001) || (option & ~0x8001u))
        return f;
    const int blocks = (option & 0x8000) ? 2 : 1;
    std::size_t pos = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int p = 0; p < 3; ++p) {
            if (pos >= reply.size())
                return f;
            const char c = reply[pos];
            const std::size_t length = c == 'M' ? 8 : c == 'D' ? 9 : 52;
            if (reply.size() - pos < length)
                return f;
            for (std::size_t k = 0; k < ports.size(); ++k)
                if (ports[k] == 3 * b + p && !f.entries[k].located)
                    read_entry(reply, pos, length, 0, f.entries[k]);
            pos += length;
        }
        if (reply.size() - pos < fixed_length)
            return f;
        for (std::size_t k = 0; k < ports.size(); ++k)
            if (ports[k] >= 3 * b && ports[k] < 3 * b + 3 && f.entries[k].located) {
                auto& e = f.entries[k];
                e.status_offset = pos + 2 * static_cast<std::size_t>(ports[k] - 3 * b);
                const auto s = read_polaris_hex(reply, e.status_offset, 2);
                e.port_status = s ? static_cast<int>(*s) : -1;
            }
        if (b == 0) {
            // The word ending the fixed part carries the system status in its low byte.
            const auto status = read_polaris_hex(reply, pos + fixed_length - 5, 4);
            if (!status)
                return f;
            f.system_status = static_cast<int>(*status);
        }
        pos += fixed_length;
    }
    f.complete = true;
    return f;
}

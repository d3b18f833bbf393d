// The Polaris part of the "Position sensor status" report.
#include "acquisition/polaris_driver.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <wx/log.h>

#include "acquisition/polaris_dialogue.h"

using namespace polaris_dialogue;

namespace {

wxString describe_processors(const reply_text_t& a)
{
    static const char* const control[] = {"EPROM code checksum error", "System EPROM checksum error",
                                          "Processor RAM failure", "Processor internal failure"};
    static const char* const sensors[] = {"Left sensor ROM checksum error", "Left sensor synchronisation failure",
                                          "Right sensor ROM checksum error", "Right sensor synchronisation failure"};
    static const char* const interface[] = {"Interface ROM checksum error", "Interface RAM failure",
                                            "Interface internal failure", "Interface EEPROM failure"};
    const char* const* names[] = {control, sensors, interface};
    const char* const processors[] = {"Control", "Sensor", "Interface"};
    if (!a.clean() || a.text.size() < 6 || a.text.starts_with("ERROR"))
        return "Polaris processor status could not be read.\n";
    wxString lines;
    for (std::size_t p = 0; p < 3; ++p) {
        const auto bits = read_polaris_hex(a.text, 2 * p, 2);
        if (!bits)
            return "Polaris processor status could not be read.\n";
        for (unsigned b = 0; b < 8; ++b)
            if (*bits & (1u << b))
                lines += b < 4 ? wxString::Format(" %s.\n", names[p][b])
                               : wxString::Format(" %s processor failure (bit %u).\n", processors[p], b);
    }
    return lines.empty() ? wxString("Polaris processor status OK.\n") : "Polaris processor status:\n" + lines;
}

wxString describe_features(const reply_text_t& a)
{
    const auto bits = a.clean() ? read_polaris_hex(a.text, 0, 8) : std::nullopt;
    if (!bits || a.text.size() != 8)
        return "\nPolaris supported features list could not be read.\n";
    static const char* const features[] = {"Active tool ports", "Passive tool ports", "Multiple camera parameters",
                                           "Tool-in-port current sensing", "Active wireless tool ports"};
    wxString s = "\nPolaris supported features list:\n";
    for (unsigned i = 0; i < 5; ++i)
        s += wxString::Format(" %s %savailable.\n", features[i], (*bits & (1u << i)) ? "" : "not ");
    return s;
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    std::string out;
    for (const char c : s)
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    return out;
}

// One tool's information: tool type (8), manufacturer (12), revision (3),
// serial number (8), port status (2 hex), marker current failures (8 hex),
// cable test (2 hex), part number (20).
wxString describe_tool(std::string_view info, char letter)
{
    if (info.starts_with("UNOCCUPIED"))
        return wxString::Format(" No tool plugged into Port %c.\n", letter);
    wxString s = wxString::Format(" Status for Port %c:\n", letter);
    const auto main_type = read_polaris_hex(info, 0, 2);
    const auto switches = read_polaris_hex(info, 2, 1);
    const auto leds = read_polaris_hex(info, 3, 1);
    const auto sub_type = read_polaris_hex(info, 6, 2);
    const auto status = read_polaris_hex(info, 31, 2);
    const auto markers = read_polaris_hex(info, 33, 8);
    const auto cable = read_polaris_hex(info, 41, 2);
    if (!main_type || !switches || !leds || !sub_type || !status || !markers || !cable || info.size() < 63)
        return s + "  Tool information could not be read.\n";
    s += wxString::Format("  Tool type %li.%li, with %li switch(es) and %li LED(s).\n", static_cast<long>(*main_type),
                          static_cast<long>(*sub_type), static_cast<long>(*switches), static_cast<long>(*leds));
    s += "  Manufacturer ID: " + trimmed(info.substr(8, 12)) + "\n";
    s += "  Revision: " + trimmed(info.substr(20, 3)) + "\n";
    s += "  Serial number: " + trimmed(info.substr(23, 8)) + "\n";
    s += "  Part number: " + trimmed(info.substr(43, 20)) + "\n";
    s += (*status & 0x31) == 0x31 ? "  Tool plugged in, initialized and enabled.\n"
                                  : "  Tool not plugged in, not initialized or disabled.\n";
    for (int m = 0; m < 20; ++m)
        if (*markers & (1ul << m))
            s += wxString::Format("  Marker %i failed electrical current testing.\n", m + 1);
    if ((*markers & 0xFFFFFul) == 0)
        s += "  All markers passed electrical current testing.\n";
    if (*cable & 0x01)
        s += "  Break in cable/burnt out marker.\n";
    else if (*cable & 0x02)
        s += "  Short circuit in marker/cable.\n";
    else
        s += "  Marker/cable testing OK.\n";
    return s;
}

// Detection flag, then per sensor a hex count of sources (left, then right),
// each source two 7-character coordinates.
wxString describe_infrared(const reply_text_t& a)
{
    wxString s = "\nPolaris infrared diagnostics:\n";
    if (!a.clean() || a.text.empty() || (a.text[0] != '0' && a.text[0] != '1'))
        return s + " Infrared check could not be read.\n";
    if (a.text[0] == '0')
        return s + " No external infrared sources detected.\n";
    std::size_t pos = 1;
    for (const char* side : {"left", "right"}) {
        const auto n = read_polaris_hex(a.text, pos, 1);
        if (!n)
            return s + " External infrared sources detected.\n";
        s += wxString::Format(" %i external infrared source(s) seen by the %s sensor.\n", static_cast<int>(*n), side);
        pos += 1 + 14 * *n;
    }
    return s;
}

// Infrared images, taken in diagnostic mode. "VSNAP" captures one frame of
// both sensors, of the kind the Cmd.VSnap flags select (neither: the
// tracking frame). "VGET rrrrsscc" returns cc rows of sensor ss (00 left,
// 01 right), the first being sensor row rrrr and the next every Stride-th
// row; a row holds the columns Start X to End X, every Stride-th, as two hex
// digits per pixel (Color Depth 8), and ends with LF. Sample Option 2 makes
// each pixel the brightest of its Stride x Stride block, so that markers
// survive the subsampling. The thresholds are in the same pixel units.
constexpr int ir_max_side = 4096;
constexpr long ir_max_pixels = 16L * 1024 * 1024;
constexpr int ir_columns = 160;        // the sensor is subsampled to at most this many columns
constexpr std::size_t ir_reply = 4096; // characters per VGET reply, a few seconds at the slowest speed
constexpr int ir_shutter_time = 100;
constexpr int ir_colour_depth = 8;
constexpr int ir_sample_brightest = 2;

// Tiles from top to bottom, and the order they are taken in: each change
// of the Cmd.VSnap flags clears one before setting the other.
enum ir_frame_t { ir_tracking, ir_illuminated, ir_background };
constexpr std::array<ir_frame_t, 3> ir_grab_order{ir_illuminated, ir_background, ir_tracking};

// The value of a "name=<decimal>" answer to GET.
std::optional<long> parameter_value(const reply_text_t& a, std::string_view name)
{
    if (!a.clean() || a.text.size() <= name.size() + 1 || !a.text.starts_with(name) || a.text[name.size()] != '=')
        return std::nullopt;
    std::string_view digits = std::string_view(a.text).substr(name.size() + 1);
    while (!digits.empty() && digits.back() == '\n')
        digits.remove_suffix(1);
    if (digits.empty() || digits.size() > 9)
        return std::nullopt;
    long v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Long malformed answers are cut short before they go to the log.
void report_ir_error(const reply_text_t& a, std::string_view command)
{
    reply_text_t shown = a;
    if (shown.text.size() > 40)
        shown.text = shown.text.substr(0, 40) + "...";
    report_error(shown, command);
}

// Grey below the background level, green above it, red above the detection level.
void paint_ir(unsigned char* rgb, unsigned long v, long trigger, long background)
{
    const auto grey = static_cast<unsigned char>(std::min(v, 255ul));
    if (static_cast<long>(v) > trigger)
        std::memcpy(rgb, "\xFF\x00\x00", 3);
    else if (static_cast<long>(v) > background)
        std::memcpy(rgb, "\x00\xFF\x00", 3);
    else
        std::memset(rgb, grey, 3);
}

}  // namespace

wxImage polaris_driver_t::grab_ir_frames(serial_t& line, progress_scope& progress)
{
    if (!progress.pulse("Currently retrieving images from Polaris"))
        return {};
    long values[4] = {};
    const char* const names[] = {"Cmd.VGet.Threshold.Trigger", "Cmd.VGet.Threshold.Background",
                                 "Cmd.VGet.Sensor.Width", "Cmd.VGet.Sensor.Height"};
    for (int i = 0; i < 4; ++i) {
        const std::string command = std::string("GET ") + names[i] + "\r";
        const reply_text_t a = transact(line, command, timing_.command);
        const auto v = parameter_value(a, names[i]);
        if (!v) {
            report_ir_error(a, command);
            return {};
        }
        values[i] = *v;
    }
    const auto [trigger, background, width, height] = values;
    if (width < 1 || height < 1 || width > ir_max_side || height > ir_max_side || width * height > ir_max_pixels) {
        wxLogError("Polaris reported an infrared sensor of %li x %li pixels; its images are not read.", width, height);
        return {};
    }
    const int stride = static_cast<int>((width + ir_columns - 1) / ir_columns);
    const int columns = static_cast<int>((width + stride - 1) / stride);
    const int rows = static_cast<int>((height + stride - 1) / stride);
    const int rows_per_reply = static_cast<int>(std::clamp<std::size_t>(ir_reply / (2 * columns + 1), 1, 255));

    const std::string settings[] = {
        wxString::Format("SET Cmd.VGet.Threshold.Shutter Time=%i\r", ir_shutter_time).ToStdString(),
        wxString::Format("SET Cmd.VGet.Start X=%i\r", 0).ToStdString(),
        wxString::Format("SET Cmd.VGet.End X=%li\r", width - 1).ToStdString(),
        wxString::Format("SET Cmd.VGet.Stride=%i\r", stride).ToStdString(),
        wxString::Format("SET Cmd.VGet.Color Depth=%i\r", ir_colour_depth).ToStdString(),
        wxString::Format("SET Cmd.VGet.Sample Option=%i\r", ir_sample_brightest).ToStdString()};
    for (const std::string& c : settings)
        if (!expect_okay(line, c, timing_.command))
            return {};

    // Left camera left, right camera right; frame kinds from top to bottom.
    wxImage image(2 * columns, 3 * rows);
    unsigned char* const data = image.GetData();
    const std::size_t image_width = 2 * static_cast<std::size_t>(columns);
    for (const ir_frame_t frame : ir_grab_order) {
        const std::string flags[] = {
            wxString::Format("SET Cmd.VSnap.Illuminated Frame=%i\r", frame == ir_illuminated ? 1 : 0).ToStdString(),
            wxString::Format("SET Cmd.VSnap.Background Frame=%i\r", frame == ir_background ? 1 : 0).ToStdString()};
        for (const std::string& c : flags)
            if (!expect_okay(line, c, timing_.command))
                return {};
        if (!expect_okay(line, "VSNAP \r", timing_.command))
            return {};
        for (int sensor = 0; sensor < 2; ++sensor) {
            for (int row = 0; row < rows; row += rows_per_reply) {
                if (!progress.pulse())
                    return {};
                const int count = std::min(rows_per_reply, rows - row);
                const std::string command =
                    wxString::Format("VGET %04x%02x%02x\r", static_cast<unsigned>(row * stride),
                                     static_cast<unsigned>(sensor), static_cast<unsigned>(count))
                        .ToStdString();
                const reply_text_t a = transact(line, command, timing_.command);
                const std::size_t row_chars = 2 * static_cast<std::size_t>(columns) + 1;
                bool ok = a.clean() && a.text.size() == row_chars * static_cast<std::size_t>(count);
                for (int r = 0; ok && r < count; ++r) {
                    const std::size_t at = row_chars * static_cast<std::size_t>(r);
                    ok = a.text[at + row_chars - 1] == '\n';
                    const std::size_t y = static_cast<std::size_t>(frame) * static_cast<std::size_t>(rows) +
                                          static_cast<std::size_t>(row + r);
                    unsigned char* out =
                        data + 3 * (y * image_width + static_cast<std::size_t>(sensor) * static_cast<std::size_t>(columns));
                    for (int x = 0; ok && x < columns; ++x, out += 3) {
                        const auto v = read_polaris_hex(a.text, at + 2 * static_cast<std::size_t>(x), 2);
                        ok = v.has_value();
                        if (ok)
                            paint_ir(out, *v, trigger, background);
                    }
                }
                if (!ok) {
                    report_ir_error(a, command);
                    line.set_record_length(polaris_record, '\r');  // whatever else came of it
                    return {};
                }
            }
        }
    }
    return image;
}

wxString polaris_driver_t::tool_report(serial_t& line)
{
    wxString s = "\nPolaris tool information:\n";
    if (!newer_) {
        const reply_text_t a = transact(line, "PSTAT 800F\r", timing_.command);
        if (!a.clean() || a.text.starts_with("ERROR")) {
            report_error(a, "PSTAT");
            return s + " Tool information could not be read.\n";
        }
        std::string_view rest = a.text;
        for (int port = 0; port < polaris_port_count && !rest.empty(); ++port) {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            s += describe_tool(rest.substr(0, end), port_letter(port));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        return s;
    }
    const reply_text_t list = transact(line, "PHSR \r", timing_.command);
    const auto count = list.clean() ? read_polaris_hex(list.text, 0, 2) : std::nullopt;
    if (!count) {
        report_error(list, "PHSR");
        return s + " Tool information could not be read.\n";
    }
    for (unsigned long i = 0; i < *count; ++i) {
        const auto handle = read_polaris_hex(list.text, 2 + 5 * i, 2);
        if (!handle)
            break;
        const reply_text_t info = transact(
            line, wxString::Format("PHINF %02X002F\r", static_cast<unsigned>(*handle)).ToStdString(), timing_.command);
        if (!info.clean() || info.text.starts_with("ERROR")) {
            report_error(info, "PHINF");
            continue;
        }
        // The port location closes the reply; passive tools are known by their handle.
        char letter = '?';
        const auto it = std::find(handles_.begin(), handles_.end(), static_cast<int>(*handle));
        if (it != handles_.end())
            letter = port_letter(static_cast<int>(it - handles_.begin()));
        else if (info.text.size() >= 14) {
            const auto number = read_polaris_hex(info.text, info.text.size() - 4, 2);
            if (number && *number >= 1 && *number <= 3)
                letter = port_letter(static_cast<int>(*number) - 1);
        }
        s += describe_tool(info.text, letter);
    }
    return s;
}

wxString polaris_driver_t::status_report(serial_t& line, interaction_t& ui)
{
    progress_scope progress(ui, "Reading Polaris status");
    wxString s = "Polaris detected";
    if (ports_[probe_slot] >= 0)
        s += wxString::Format(" (positions on port %c)", port_letter(ports_[probe_slot]));
    if (ports_[reference_slot] >= 0)
        s += wxString::Format(", (reference on port %c)", port_letter(ports_[reference_slot]));
    if (ports_[pointer_slot] >= 0)
        s += wxString::Format(", (pointer on port %c)", port_letter(ports_[pointer_slot]));
    s += ".\n\n";

    line.set_record_length(polaris_record, '\r');
    expect_okay(line, "TSTOP \r", timing_.command);
    s += describe_processors(transact(line, "SSTAT 0007\r", timing_.command));
    s += describe_features(transact(line, "SFLIST 00\r", timing_.command));
    progress.pulse();
    s += tool_report(line);
    progress.pulse();
    if (expect_okay(line, "IRINIT \r", timing_.command))
        s += describe_infrared(transact(line, "IRCHK 0003\r", timing_.command));
    // Only trackers with parameter commands give their camera images.
    status_image_ = wxImage();
    if (params_ && expect_okay(line, "DSTART \r", timing_.command)) {
        status_image_ = grab_ir_frames(line, progress);
        expect_okay(line, "DSTOP \r", timing_.command);
    }
    if (status_image_.IsOk())
        s += "\nPolaris infrared diagnostics (see images):\n"
             "  Left - left camera, right - right camera\n"
             "  Top - tracking, middle - illuminated, bottom - background\n"
             "  Green - above background level, red - above detection level\n";
    expect_okay(line, "TSTART \r", timing_.command);
    return s;
}

void polaris_driver_t::shut_down(serial_t& line)
{
    static constexpr char stop[] = "TSTOP \r";
    line.pwrite(stop, sizeof stop - 1);
}

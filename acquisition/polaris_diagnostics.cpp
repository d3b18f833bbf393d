// The Polaris part of the "Position sensor status" report.
#include "acquisition/polaris_driver.h"

#include <algorithm>

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

}  // namespace


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
    expect_okay(line, "TSTART \r", timing_.command);
    return s;
}

void polaris_driver_t::shut_down(serial_t& line)
{
    static constexpr char stop[] = "TSTOP \r";
    line.pwrite(stop, sizeof stop - 1);
}

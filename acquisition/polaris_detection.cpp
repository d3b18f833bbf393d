// Finding and initialising the Polaris: reset, command set, speed, tool
// definitions, handles, tool enabling and the measurement volume.
#include "acquisition/polaris_driver.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include <wx/file.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "acquisition/polaris_dialogue.h"

using namespace polaris_dialogue;

namespace {

constexpr std::size_t rom_piece = 64;
constexpr wxFileOffset max_rom_size = 0x10000;      // the write address has four hex digits

// Warnings that come back every time the tracker is probed are shown once per program run.
std::atomic<bool> warnings_shown{false};

const char* const warning_caption = "Polaris warning";
std::string hex_bytes(const unsigned char* p, std::size_t n)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 0xF];
    }
    return s;
}

bool read_rom(const wxString& path, std::vector<unsigned char>& data)
{
    wxFile f;
    if (!wxFileName::FileExists(path) || !f.Open(path, wxFile::read)) {
        wxLogError("Couldn't open Polaris tool definition file %s", path);
        return false;
    }
    const wxFileOffset size = f.Length();
    if (size <= 0 || size > max_rom_size) {
        wxLogError("Polaris tool definition file %s has an unusable size.", path);
        return false;
    }
    data.resize(static_cast<std::size_t>(size));
    if (f.Read(data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
        wxLogError("Couldn't read Polaris tool definition file %s", path);
        return false;
    }
    return true;
}

// The file goes over in 64-byte pieces; the tracker wants whole pieces, so the last one is zero-padded.
bool upload_rom(serial_t& line, const std::string& target, const std::vector<unsigned char>& data,
                std::uint64_t timeout)
{
    for (std::size_t addr = 0; addr < data.size(); addr += rom_piece) {
        unsigned char piece[rom_piece] = {};
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(addr), std::min(rom_piece, data.size() - addr), piece);
        const std::string cmd = "PVWR " + target + wxString::Format("%04X", static_cast<unsigned>(addr)).ToStdString() +
                                hex_bytes(piece, rom_piece) + "\r";
        if (!expect_okay(line, cmd, timeout))
            return false;
    }
    return true;
}

std::optional<int> handle_of(const reply_text_t& a)
{
    if (!a.clean() || a.text.size() != 2)
        return std::nullopt;
    const auto h = read_polaris_hex(a.text, 0, 2);
    return h ? std::optional<int>(static_cast<int>(*h)) : std::nullopt;
}
}  // namespace

void polaris_driver_t::forget_warnings()
{
    warnings_shown = false;
}


bool polaris_driver_t::probe(serial_t& line, const tracker_config_t& config, interaction_t& ui)
{
    newer_ = params_ = false;
    ports_ = {-1, -1, -1};
    handles_.fill(-1);
    alert_ = -1;
    pending_alert_.reset();
    volume_ = {};
    warned_this_probe_ = false;

    if (!line.set_params(9600, 8, 0, 0, 0))
        return false;
    line.set_record_length(polaris_record, '\r');
    // A tracker left tracking by an earlier run may still be answering.
    int drained = 0;
    while (drained < 8 && line.pread(true, timing_.drain) > 0)
        ++drained;

    // A zero byte at 300 bps looks like a break to the tracker, which resets to 9600 bps.
    if (!line.set_params(300, 8, 0, 0, 0))
        return false;
    const unsigned char zero = 0;
    line.pwrite(&zero, 1);
    line.pread(true, timing_.reset);
    if (!line.set_params(9600, 8, 0, 0, 0))
        return false;
    line.set_record_length(polaris_record, '\r');

    const bool found = initialise(line, config, ui);
    if (warned_this_probe_)
        warnings_shown = true;
    if (!found) {
        ports_ = {-1, -1, -1};  // a half-made selection must not be read from
        return false;
    }
    volume_.kind = 3;
    if (!newer_)
        option_ = std::any_of(ports_.begin(), ports_.end(), [](int p) { return p >= 3; }) ? "8001" : "0001";
    else
        option_ = "0801";
    wxString tools;
    append_polaris_tool_string(tools, ports_[probe_slot], ports_[reference_slot], ports_[pointer_slot]);
    wxLogDebug("Polaris (%s command set) tracking %s", newer_ ? "newer" : "older", tools);
    return true;
}

bool polaris_driver_t::initialise(serial_t& line, const tracker_config_t& config, interaction_t& ui)
{
    progress_scope progress(ui, "Initialising Polaris - please wait");

    const reply_text_t init = transact(line, "INIT \r", timing_.init);
    bool init_failed = false;
    if (init.is("OKAY")) {
    } else if (init.is("ERROR2E") || init.is("ERROR15")) {
        init_failed = true;
    } else if (init.clean() && init.text.starts_with("ERROR")) {
        report_error(init, "INIT");
        return false;
    } else {
        wxLogDebug("No Polaris on this line.");
        return false;
    }

    progress.pulse();
    const reply_text_t tx = transact(line, "TX \r", timing_.command);
    if (tx.is("ERROR01")) {
        newer_ = false;
    } else if (tx.is("ERROR0C")) {
        newer_ = true;
    } else {
        report_error(tx, "TX");
        return false;
    }
    params_ = !transact(line, "GET \r", timing_.command).is("ERROR01");

    const int code = polaris_speed_code(config.speed);
    if (!polaris_speed_accepted(code, params_)) {
        ui.inform(warning_caption, polaris_speed_refusal(config.speed, params_));
        return false;
    }

    if (init_failed && !handle_init_failure(line, ui))
        return false;

    const auto tools = polaris_tool_ports(config.tool);
    const auto pointer = polaris_pointer_port(config.pointer);
    if (!tools || !pointer) {
        wxLogError("The Polaris has no port for the selected tool (%d) or pointer (%d).", config.tool,
                   config.pointer);
        return false;
    }
    ports_ = {tools->probe, tools->reference, *pointer};

    progress.pulse();
    if (!load_tool_definitions(line, config))
        return false;
    if (newer_) {
        if (!find_handles(line))
            return false;
    } else {
        for (const char* port : {"PVCLR 1\r", "PVCLR 2\r", "PVCLR 3\r"})
            if (!expect_okay(line, port, timing_.command))
                return false;
    }
    progress.pulse();
    if (!enable_tools(line, ui) || !select_volume(line))
        return false;
    if (!expect_okay(line, "TSTART \r", timing_.command))
        return false;
    // The tracker answers at the old speed and then switches; the host follows.
    return expect_okay(line, wxString::Format("COMM %d0000\r", code).ToStdString(), timing_.command);
}

bool polaris_driver_t::handle_init_failure(serial_t& line, interaction_t& ui)
{
    if (!params_) {
        ui.inform(warning_caption, "Polaris initialisation was not successful.\nPlease contact NDI for advice.");
        return false;
    }
    const reply_text_t a = transact(line, "GET Info.Status.New Alerts\r", timing_.command);
    const auto alerts = a.clean() ? parse_polaris_new_alerts(a.text) : std::nullopt;
    const polaris_init_alert_t what = polaris_init_alert(alerts.value_or(0));
    ui.inform(warning_caption, what.message);
    if (!what.restore_defaults)
        return false;
    return expect_okay(line, "DFLT *\r", timing_.command) && expect_okay(line, "SAVE \r", timing_.command) &&
           expect_okay(line, "INIT \r", timing_.init);
}

bool polaris_driver_t::load_tool_definitions(serial_t& line, const tracker_config_t& config)
{
    std::array<bool, polaris_port_count> done{};
    for (const int port : ports_) {
        if (port < 0 || done[static_cast<std::size_t>(port)])
            continue;
        done[static_cast<std::size_t>(port)] = true;
        const char letter = port_letter(port);
        const wxString path = config.exec_dir + wxFILE_SEP_PATH + "polaris" + letter + ".rom";
        const bool passive = port >= 3;
        // Wired tools carry their own definition; a file for one replaces it.
        if (!passive && (!newer_ || !wxFileName::FileExists(path)))
            continue;
        std::vector<unsigned char> rom;
        if (!read_rom(path, rom))
            return false;
        std::string target(1, letter);
        if (newer_) {
            std::optional<int> handle;
            if (passive) {
                const reply_text_t a = transact(line, "PHRQ *********1****\r", timing_.command);
                handle = handle_of(a);
                if (!handle)
                    report_error(a, "PHRQ");
            } else {
                for (const char* kind : {"00", "10"}) {
                    const std::string cmd = std::string("PHRQ *********") + kind + letter + "**\r";
                    const reply_text_t a = transact(line, cmd, timing_.command);
                    if ((handle = handle_of(a)))
                        break;
                    report_error(a, "PHRQ");
                }
            }
            if (!handle)
                return false;
            handles_[static_cast<std::size_t>(port)] = *handle;
            target = port_id(port);
        }
        if (!upload_rom(line, target, rom, timing_.command))
            return false;
    }
    return true;
}

bool polaris_driver_t::find_handles(serial_t& line)
{
    const reply_text_t list = transact(line, "PHSR \r", timing_.command);
    const auto count = list.clean() ? read_polaris_hex(list.text, 0, 2) : std::nullopt;
    if (!count) {
        report_error(list, "PHSR");
        return false;
    }
    // Each handle is listed with three hex digits of handle status.
    for (unsigned long i = 0; i < *count; ++i) {
        const auto handle = read_polaris_hex(list.text, 2 + 5 * i, 2);
        if (!handle)
            break;
        if (std::find(handles_.begin(), handles_.end(), static_cast<int>(*handle)) != handles_.end())
            continue;
        const reply_text_t info = transact(
            line, wxString::Format("PHINF %02X0020\r", static_cast<unsigned>(*handle)).ToStdString(), timing_.command);
        // Port location: device (8), system type, tool type, port number (2), channel (2).
        const auto number = info.clean() && info.text.size() >= 14 ? read_polaris_hex(info.text, 10, 2) : std::nullopt;
        if (number && *number >= 1 && *number <= 3 && handles_[*number - 1] < 0)
            handles_[*number - 1] = static_cast<int>(*handle);
    }
    for (const int port : ports_)
        if (port >= 0 && handles_[static_cast<std::size_t>(port)] < 0) {
            wxLogError("No tool plugged into Polaris port %c.", port_letter(port));
            return false;
        }
    return true;
}

bool polaris_driver_t::enable_tools(serial_t& line, interaction_t& ui)
{
    const bool show = !warnings_shown;
    auto warn = [&](const wxString& text) {
        if (show) {
            ui.inform(warning_caption, text);
            warned_this_probe_ = true;
        }
    };
    std::array<bool, polaris_port_count> done{};
    for (std::size_t slot = 0; slot < ports_.size(); ++slot) {
        const int port = ports_[slot];
        if (port < 0 || done[static_cast<std::size_t>(port)])
            continue;
        done[static_cast<std::size_t>(port)] = true;
        const char letter = port_letter(port);
        const std::string id = port_id(port);

        const std::string pinit = "PINIT " + id + "\r";
        const reply_text_t init = transact(line, pinit, timing_.command);
        if (init.is("WARNING"))
            warn(wxString::Format("Polaris system issued a warning on initialising port %c.\n"
                                  "This tool can be used, but may have a burnt out marker.",
                                  letter));
        else if (!init.is("OKAY")) {
            report_error(init, pinit);
            return false;
        }

        // The reference tool is expected to stay still.
        const std::string pena = "PENA " + id + (port == ports_[reference_slot] ? "S" : "D") + "\r";
        const reply_text_t enable = transact(line, pena, timing_.command);
        const wxString head = wxString::Format("Polaris system issued a warning on enabling port %c.\n", letter);
        if (enable.is("WARNING"))
            warn(head + "This tool can be used, but does not meet unique geometry requirements.");
        else if (enable.is("WARNING02"))
            warn(head + "This tool can be used, but conflicts with another unique geometry tool.");
        else if (enable.is("WARNING03"))
            warn(head + "This tool can be used, but does not meet unique geometry requirements\n"
                        "and conflicts with another unique geometry tool.");
        else if (!enable.is("OKAY")) {
            report_error(enable, pena);
            return false;
        }
    }
    return true;
}

bool polaris_driver_t::select_volume(serial_t& line)
{
    const reply_text_t list = transact(line, "SFLIST 03\r", timing_.command);
    if (!list.clean() || list.text.starts_with("ERROR")) {
        report_error(list, "SFLIST");
        return false;
    }
    const polaris_volume_choice_t choice = parse_polaris_volumes(list.text);
    volume_ = choice.volume;
    if (choice.selected == 0)
        return true;
    const wxString cmd = newer_ ? wxString::Format("SET Param.Tracking.Selected Volume=%i\r", choice.selected)
                                : wxString::Format("VSEL %i\r", choice.selected);
    return expect_okay(line, cmd.ToStdString(), timing_.command);
}

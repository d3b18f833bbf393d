// Polling the Polaris: one TX or GX request per pose, and the reading of
// its replies into poses, tool states and the alert line.
#include "acquisition/polaris_driver.h"

#include <algorithm>

#include <wx/log.h>

#include "acquisition/line_dialogue.h"
#include "acquisition/polaris_dialogue.h"
#include "common/matrix16d.h"

using namespace polaris_dialogue;

std::string polaris_driver_t::port_id(int port) const
{
    if (newer_)
        return wxString::Format("%02X", static_cast<unsigned>(handles_[static_cast<std::size_t>(port)])).ToStdString();
    return std::string(1, port_letter(port));
}


bool polaris_driver_t::ask(serial_t& line)
{
    line.set_record_length(polaris_record, '\r');
    const std::string request = newer_ ? "TX 0801\r" : "GX " + option_ + "\r";
    return line.pwrite(request.data(), request.size());
}

void polaris_driver_t::set_alert(int state)
{
    if (state == alert_)
        return;
    alert_ = state;
    refresh_alert();
}

void polaris_driver_t::refresh_alert()
{
    if (alert_ >= 0)
        pending_alert_ = polaris_alert_line(alert_, option_);
}

std::optional<alert_line_t> polaris_driver_t::alert_now() const
{
    if (alert_ < 0)
        return std::nullopt;
    return polaris_alert_line(alert_, option_);
}

std::optional<alert_line_t> polaris_driver_t::take_alert()
{
    std::optional<alert_line_t> a;
    a.swap(pending_alert_);
    return a;
}

tracker_reply_t polaris_driver_t::unusable_reply(const tracker_wanted_t& wanted) const
{
    tracker_reply_t r;
    r.received = true;
    r.probe = wanted.probe && ports_[probe_slot] >= 0;
    r.pointer = wanted.pointer && ports_[pointer_slot] >= 0;
    r.probe_state = r.pointer_state = POS_MISSING;
    return r;
}

tracker_reply_t polaris_driver_t::read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted)
{
    const std::size_t n = line.pread(wait, reply_timeout);
    if (n == 0)
        return {};
    const auto record = line.record();
    std::string_view body;
    const polaris_reply_check_t check = polaris_check_reply(record, &body);
    if (record[0] == 'E') {
        const std::string_view text =
            check == polaris_reply_check_t::unterminated
                ? std::string_view(reinterpret_cast<const char*>(record.data()), record.size())
                : body;
        wxLogError("%s", polaris_error_message(text, newer_ ? "TX" : "GX"));
        line.set_record_length(polaris_record, '\r');
        refresh_alert();
        return {};
    }
    if (check == polaris_reply_check_t::unterminated) {
        wxLogError("There has been a Polaris communication timeout.\n\nThere is probably too much going on! Consider "
                   "either slowing down video acquisition\nor slowing down the display update rate (in the record "
                   "task page).\nThen re-start the acquisition.");
        return {};
    }
    if (check == polaris_reply_check_t::bad_crc) {
        set_alert(2);
        return unusable_reply(wanted);
    }
    return interpret(body, line, wanted);
}

tracker_reply_t polaris_driver_t::interpret(std::string_view reply, serial_t& line, const tracker_wanted_t& wanted)
{
    std::array<int, 3> keys = ports_;
    if (newer_)
        for (auto& k : keys)
            k = k >= 0 ? handles_[static_cast<std::size_t>(k)] : -1;
    unsigned option = 0;
    if (!newer_)
        option = static_cast<unsigned>(read_polaris_hex(option_, 0, 4).value_or(0));
    const polaris_frame_t frame = newer_ ? decode_polaris_tx(reply, keys) : decode_polaris_gx(reply, option, keys);

    bool layout_ok = frame.complete;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        const polaris_entry_t& e = frame.entries[k];
        if (keys[k] < 0)
            continue;
        if (!e.located || (e.kind == 'T' && !e.pose_ok) || (e.kind != 'D' && e.port_status < 0))
            layout_ok = false;
        else if (e.kind == 'D') {
            set_alert(7);
            wxLogError("%s", wxString("One of the polaris ports is disabled.") + polaris_restart_advice);
            return {};
        }
    }
    if (!layout_ok) {
        set_alert(4);
        return unusable_reply(wanted);
    }

    const int system = frame.system_status;
    if (system & 0x01) {
        set_alert(0);
        wxLogError("%s", wxString("There has been a Polaris communication sync error.") + polaris_restart_advice);
        return {};
    }
    if (system & 0x0E) {
        set_alert((system & 0x02) ? 1 : (system & 0x08) ? 3 : 2);
        return unusable_reply(wanted);
    }

    tracker_reply_t r;
    r.received = true;
    int alert = alert_;
    bool temperature = false;
    if (params_) {
        if (system & 0x0100) {
            const std::string ask = "GET Info.Status.New Alerts\r";
            const reply_text_t a = transact(line, ask, timing_.command);
            const auto alerts = a.clean() ? parse_polaris_new_alerts(a.text) : std::nullopt;
            if (!alerts)
                report_error(a, ask);
            else if (const wxString message = polaris_new_alert_message(*alerts); !message.empty())
                wxLogError("%s", message);
            set_alert(6);
            return {};
        }
        if (system & 0x0200) {
            temperature = true;
            alert = 5;
            r.probe_state = r.pointer_state = POS_WARNED;
        }
    }

    const polaris_entry_t& probe = frame.entries[probe_slot];
    const polaris_entry_t& reference = frame.entries[reference_slot];
    const polaris_entry_t& pointer = frame.entries[pointer_slot];
    const bool has_probe = ports_[probe_slot] >= 0, has_ref = ports_[reference_slot] >= 0;
    const bool has_pointer = ports_[pointer_slot] >= 0;

    if ((has_probe && probe.kind == 'M') || (has_ref && reference.kind == 'M')) {
        r.probe_state = POS_MISSING;
        alert = 8;  // a missing probe outranks warnings raised by earlier replies
    }
    if (has_pointer && pointer.kind == 'M')
        r.pointer_state = POS_MISSING;
    // With both tools missing there is nothing to tell; a lone missing tool
    // is still delivered, as a sample without a pose.
    if (has_probe && has_pointer && r.probe_state == POS_MISSING && r.pointer_state == POS_MISSING) {
        set_alert(alert);
        return r;
    }

    for (std::size_t k = 0; k < keys.size(); ++k) {
        const int status = frame.entries[k].port_status;
        if (keys[k] >= 0 && (status & 0x31) != 0x31) {
            set_alert(alert);
            wxLogError("Polaris port %c not enabled correctly - port status is %x.\n", port_letter(ports_[k]), status);
            return {};
        }
    }
    auto grade = [](pos_state_t& state, int status) {
        if (state == POS_MISSING)
            return;
        if (status & 0x40)
            state = POS_WARNED;
        else if ((status & 0x80) && state == POS_VALID)
            state = POS_PARTLY_OUT;
    };
    int probe_bits = has_probe ? probe.port_status : 0;
    if (has_ref)
        probe_bits |= reference.port_status;
    grade(r.probe_state, probe_bits);
    if (has_pointer)
        grade(r.pointer_state, pointer.port_status);
    if (r.probe_state == POS_WARNED && !temperature)
        alert = 9;
    else if (r.probe_state == POS_PARTLY_OUT)
        alert = 10;
    else if (r.probe_state == POS_VALID)
        alert = 11;
    set_alert(alert);

    if (has_probe && wanted.probe) {
        r.probe = true;
        if (r.probe_state != POS_MISSING) {
            if (has_ref) {
                matrix16d inv, fwd;
                inv.inverse(reference.pose);
                fwd.forward(probe.pose);
                double v[6];
                (inv * fwd).decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
                for (int i = 0; i < 6; ++i)
                    r.probe_pose[i] = static_cast<float>(v[i]);
            } else {
                std::copy(std::begin(probe.pose), std::end(probe.pose), r.probe_pose);
            }
        }
    }
    if (has_pointer && wanted.pointer) {
        r.pointer = true;
        if (r.pointer_state != POS_MISSING)
            std::copy(std::begin(pointer.pose), std::end(pointer.pose), r.pointer_pose);
    }
    return r;
}

#include "igtl_tracker_driver.h"

#include <chrono>
#include <cmath>
#include <thread>

#include <wx/log.h>

namespace {
constexpr auto connect_wait = std::chrono::seconds(3);  // a host that does not answer at all
}  // namespace

igtl_tracker_driver_t::igtl_tracker_driver_t(igtl_receiver_t::clock_t clock) : clock_(std::move(clock)) {}

bool igtl_tracker_driver_t::probe(serial_t&, const tracker_config_t& config, interaction_t&)
{
    wxString host;
    int port = 0;
    if (!parse_igtl_address(config.server, &host, &port)) {
        wxLogError("The OpenIGTLink server '%s' is not a host:port address.", config.server);
        return false;
    }
    device_ = wxString(config.probe_device).Trim(true).Trim(false).ToStdString();
    if (device_.empty())
        device_ = igtl_probe_device;
    receiver_ = igtl_receiver_t::shared(host, port, clock_);
    receiver_->want_poses(device_);
    // Found means connected; a server that sends no pose yet (not tracking) is still the one chosen.
    const auto give_up = std::chrono::steady_clock::now() + connect_wait;
    for (igtl_receiver_t::status_t s = receiver_->status(); !s.connected && s.attempts == 0; s = receiver_->status()) {
        if (std::chrono::steady_clock::now() >= give_up)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const igtl_receiver_t::status_t s = receiver_->status();
    if (!s.connected) {
        wxLogError("OpenIGTLink tracking: %s.", s.problem.empty() ? wxString("no answer") : s.problem);
        receiver_.reset();
        return false;
    }
    return true;
}

tracker_reply_t igtl_tracker_driver_t::read_reply(serial_t&, bool, const tracker_wanted_t&)
{
    tracker_reply_t reply;
    if (!receiver_)
        return reply;
    for (const igtl_receiver_t::pose_t& p : receiver_->take_poses())
        received_.push_back(p);
    const bool connected = receiver_->status().connected;
    if (connected != was_connected_)
        alert_ = connected ? alert_line_t{"OpenIGTLink tracking connected", ALERT_NORMAL}
                           : alert_line_t{"OpenIGTLink server lost - connecting again", ALERT_WARNING};
    was_connected_ = connected;
    if (received_.empty())
        return reply;
    const igtl_receiver_t::pose_t p = received_.front();
    received_.pop_front();
    reply.received = reply.probe = true;
    reply.time = p.time;
    double v[6];
    p.world.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    bool finite = true;
    for (int i = 0; i < 6; ++i) {
        finite = finite && std::isfinite(v[i]);
        reply.probe_pose[i] = static_cast<float>(v[i]);
    }
    // The decoder refuses non-finite matrices; a degenerate one that
    // decomposes badly is still no pose.
    reply.probe_state = finite ? POS_VALID : POS_MISSING;
    return reply;
}

std::optional<alert_line_t> igtl_tracker_driver_t::take_alert()
{
    auto a = alert_;
    alert_.reset();
    return a;
}

wxString igtl_tracker_driver_t::status_report(serial_t&, interaction_t&)
{
    if (!receiver_)
        return "OpenIGTLink tracking is not connected.";
    const igtl_receiver_t::status_t s = receiver_->status();
    wxString text = "OpenIGTLink server " + receiver_->address() + "\n";
    text += s.connected ? wxString("Connected\n") : "Not connected: " + s.problem + "\n";
    text += "Probe transform: " + wxString(device_) + "\n";
    text += wxString::Format("Poses received: %llu, dropped: %llu\n", static_cast<unsigned long long>(s.poses),
                             static_cast<unsigned long long>(s.poses_lost));
    text += wxString::Format("Messages that broke a connection: %llu\n", static_cast<unsigned long long>(s.unreadable));
    text += wxString::Format("Messages passed over while learning the server's clock: %llu\n",
                             static_cast<unsigned long long>(s.skipped));
    return text;
}

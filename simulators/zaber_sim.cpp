#include "simulators/zaber_sim.h"

#include <algorithm>
#include <cstdio>

#include "devices/zaber_protocol.h"

namespace {

// A Zaber unit drops a half-received message after this much silence.
constexpr double message_gap = 0.05;
constexpr double report_interval = 0.1;
constexpr int cmd_move_tracking = 10;
constexpr std::int32_t error_invalid_command = 64;

bool every(long count, int n)
{
    return n > 0 && count % n == 0;
}

}  // namespace

zaber_sim_t::zaber_sim_t(zaber_sim_options_t options)
    : options_(std::move(options)),
      microsteps_per_mm_(static_cast<double>(options_.resolution) * 200.0 / 6.35),
      max_position_(std::round(options_.travel_mm * microsteps_per_mm_))
{
    options_.slides = std::clamp(options_.slides, 1, max_slides);
}

double zaber_sim_t::position(int device, double now) const
{
    const slide_t& s = slide(device);
    if (!s.moving)
        return s.position;
    if (stuck(device))
        return s.from;
    const double f = s.end > s.start ? std::clamp((now - s.start) / (s.end - s.start), 0.0, 1.0) : 1.0;
    return s.from + (s.to - s.from) * f;
}

void zaber_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                          std::vector<std::vector<unsigned char>>& out)
{
    advance(now, out);
    if (!partial_.empty() && now - last_byte_ > message_gap)
        partial_.clear();
    last_byte_ = now;
    for (const unsigned char b : bytes) {
        partial_.push_back(b);
        if (partial_.size() < zaber::message_length)
            continue;
        const std::optional<zaber::reply_t> m = zaber::decode(partial_);
        partial_.clear();
        const int first = m->device == 0 ? 1 : m->device;
        const int last = m->device == 0 ? options_.slides : m->device;
        if (first < 1 || last > options_.slides)
            continue;  // no such unit on the chain: silence
        for (int d = first; d <= last; ++d)
            run(d, m->command, m->data, now, out);
    }
}

void zaber_sim_t::reply(int device, int command, std::int32_t data, std::vector<std::vector<unsigned char>>& out,
                        bool with_faults)
{
    const bool fault_due = with_faults;
    if (fault_due && every(commands_, options_.unsolicited_every)) {
        const zaber::message_t m =
            zaber::encode(device, cmd_move_tracking, static_cast<std::int32_t>(std::lround(slide(device).position)));
        out.emplace_back(m.begin(), m.end());
    }
    int from = device;
    if (fault_due && every(commands_, options_.wrong_device_every))
        from = device == max_slides ? 1 : device + 1;
    if (fault_due && every(commands_, options_.error_every)) {
        command = zaber::cmd_error;
        data = error_invalid_command;
    }
    const zaber::message_t m = zaber::encode(from, command, data);
    std::vector<unsigned char> bytes(m.begin(), m.end());
    if (fault_due && every(commands_, options_.lose_byte_every))
        bytes.erase(bytes.begin() + 2);
    out.push_back(std::move(bytes));
}

void zaber_sim_t::start_move(int device, int command, double to, double now)
{
    slide_t& s = slide(device);
    s.from = position(device, now);
    s.position = s.from;
    s.to = to;
    s.command = command;
    s.moving = true;
    s.start = now;
    const double speed = std::max(options_.speed_mm_s * microsteps_per_mm_, 1e-9);
    s.end = now + std::fabs(to - s.from) / speed;
}

void zaber_sim_t::run(int device, int command, std::int32_t data, double now,
                      std::vector<std::vector<unsigned char>>& out)
{
    ++commands_;
    slide_t& s = slide(device);
    const auto here = [&] { return static_cast<std::int32_t>(std::lround(position(device, now))); };
    switch (command) {
        case zaber::cmd_home:
            start_move(device, command, 0.0, now);
            break;
        case zaber::cmd_move_absolute:
        case zaber::cmd_move_relative: {
            const double to = command == zaber::cmd_move_absolute ? static_cast<double>(data)
                                                                  : std::round(position(device, now)) + data;
            if (to < 0.0 || to > max_position_)
                reply(device, zaber::cmd_error, command, out);
            else
                start_move(device, command, to, now);
            break;
        }
        case zaber::cmd_stop:
            s.position = std::round(position(device, now));
            s.moving = false;
            reply(device, command, here(), out);
            break;
        case zaber::cmd_return_setting:
            if (data == zaber::setting_microstep_resolution)
                reply(device, zaber::setting_microstep_resolution, options_.resolution, out);
            else
                reply(device, zaber::cmd_error, command, out);
            break;
        case zaber::cmd_return_status:
            reply(device, command, s.moving ? s.command : 0, out);
            break;
        case zaber::cmd_return_current_position:
            reply(device, command, here(), out);
            break;
        default:
            reply(device, zaber::cmd_error, error_invalid_command, out);
            break;
    }
    report(now, true);
}

void zaber_sim_t::advance(double now, std::vector<std::vector<unsigned char>>& out)
{
    bool ended = false;
    for (int d = 1; d <= options_.slides; ++d) {
        slide_t& s = slide(d);
        if (!s.moving || stuck(d) || now < s.end)
            continue;
        s.moving = false;
        s.position = s.to;
        // Home and Move answer only now, with where they ended.
        reply(d, s.command, static_cast<std::int32_t>(std::lround(s.position)), out, false);
        ended = true;
    }
    report(now, ended);
}

double zaber_sim_t::next_event() const
{
    double next = std::numeric_limits<double>::infinity();
    bool any_moving = false;
    for (int d = 1; d <= options_.slides; ++d) {
        const slide_t& s = slide(d);
        if (s.moving && !stuck(d)) {
            next = std::min(next, s.end);
            any_moving = true;
        }
    }
    if (any_moving && options_.report)
        next = std::min(next, last_report_ + report_interval);
    return next;
}

void zaber_sim_t::report(double now, bool changed)
{
    if (!options_.report || (!changed && now - last_report_ < report_interval))
        return;
    std::string text = "position (mm):";
    for (int d = 1; d <= options_.slides; ++d) {
        char field[48];
        std::snprintf(field, sizeof field, " %c %8.3f%s", "xyz"[d - 1], position(d, now) / microsteps_per_mm_,
                      slide(d).moving ? (stuck(d) ? " (stuck)" : " moving") : "");
        text += field;
    }
    if (text == last_report_text_)
        return;
    last_report_ = now;
    last_report_text_ = text;
    options_.report(text);
}

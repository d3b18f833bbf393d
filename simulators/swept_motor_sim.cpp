#include "simulators/swept_motor_sim.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "devices/flapping_model.h"
#include "devices/flapping_protocol.h"

namespace {

constexpr std::size_t max_frame = 256;      // longer garbage is dropped
constexpr std::size_t max_heard = 1 << 16;  // bytes kept for tests
constexpr std::size_t max_history = 1 << 20;
constexpr double report_interval = 0.1;
// Counts a second squared: 120000 speed units a second at 8 counts a second each.
constexpr double ramp = flap::acceleration * flap::counts_per_speed;

// The number after a two-letter command; nothing when it is not one.
std::optional<double> argument(const std::string& command)
{
    if (command.size() < 3)
        return std::nullopt;
    const char* begin = command.c_str() + 2;
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin || *end != '\0' || !std::isfinite(v))
        return std::nullopt;
    return v;
}

}  // namespace

swept_motor_sim_t::swept_motor_sim_t(swept_motor_sim_options_t options) : options_(std::move(options))
{
    options_.step = std::clamp(options_.step, 1e-6, 0.01);
    // The counter reads 0 where the motor stands at power-up, off the mark.
    physical_ = options_.index_offset;
    origin_ = options_.index_offset;
    record(0.0);
}

char swept_motor_sim_t::digit(int value) const
{
    return options_.bad_status ? 'Z' : "0123456789ABCDEF"[value & 15];
}

void swept_motor_sim_t::reply(const std::string& text, std::vector<std::vector<unsigned char>>& out)
{
    std::vector<unsigned char> bytes = *flap::encode(text);
    ++replies_;
    if (options_.lose_byte_every > 0 && replies_ % options_.lose_byte_every == 0)
        bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    out.push_back(std::move(bytes));
}

void swept_motor_sim_t::record(double time)
{
    history_.emplace_back(time, position());
    if (history_.size() > max_history)
        history_.pop_front();
}

double swept_motor_sim_t::position_at(double time) const
{
    if (history_.empty() || time >= history_.back().first)
        return position();
    auto it = std::upper_bound(history_.begin(), history_.end(), time,
                               [](double t, const std::pair<double, double>& e) { return t < e.first; });
    if (it == history_.begin())
        return it->second;
    const auto& [t1, p1] = *std::prev(it);
    const auto& [t2, p2] = *it;
    return t2 > t1 ? p1 + (p2 - p1) * (time - t1) / (t2 - t1) : p2;
}

void swept_motor_sim_t::start_move(double target, double now)
{
    run_to(now);
    target_ = target;
    mode_ = mode_t::to_target;
    record(now);
}

void swept_motor_sim_t::integrate_step(double dt)
{
    const double top = flap::counts_per_speed * pf_;
    const bool ramped = pf_ > po_;
    double goal = 0.0;
    if (mode_ == mode_t::to_target)
        goal = target_;
    else
        goal = seek_direction_ * options_.travel;
    const double remaining = goal - physical_;
    const double dir = remaining >= 0.0 ? 1.0 : -1.0;
    const double distance = std::fabs(remaining);
    double speed = std::fabs(velocity_);
    double next = speed;
    if (!ramped) {
        next = top;
    } else if (distance <= speed * speed / (2.0 * ramp)) {
        next = std::max(speed - ramp * dt, ramp * dt);  // never stalls short of the goal
    } else {
        next = std::min(speed + ramp * dt, top);
    }
    const double moved = ramped ? 0.5 * (speed + next) * dt : next * dt;
    const double before = physical_;
    if (moved >= distance) {
        physical_ = goal;
        velocity_ = 0.0;
        if (mode_ == mode_t::seeking)
            seek_direction_ = 0;
        mode_ = mode_t::idle;
    } else {
        physical_ += dir * moved;
        velocity_ = dir * next;
    }
    // The index mark lies at physical 0: seeking stops on it and makes it count 0.
    if (mode_ != mode_t::to_target && seek_direction_ != 0 && !options_.no_index &&
        ((before <= 0.0 && physical_ >= 0.0) || (before >= 0.0 && physical_ <= 0.0))) {
        physical_ = 0.0;
        origin_ = 0.0;
        velocity_ = 0.0;
        centred_ = true;
        seek_direction_ = 0;
        mode_ = mode_t::idle;
    }
}

void swept_motor_sim_t::run_to(double now)
{
    while (mode_ != mode_t::idle && time_ + options_.step <= now) {
        integrate_step(options_.step);
        time_ += options_.step;
        record(time_);
    }
    if (mode_ == mode_t::idle)
        time_ = std::max(time_, now);
}

void swept_motor_sim_t::advance(double now, std::vector<std::vector<unsigned char>>&)
{
    const bool was_moving = moving();
    run_to(now);
    report(now, was_moving != moving());
}

double swept_motor_sim_t::next_event() const
{
    return moving() && options_.report ? last_report_ + report_interval : std::numeric_limits<double>::infinity();
}

void swept_motor_sim_t::receive(std::span<const unsigned char> bytes, const sim_line_t&, double now,
                                std::vector<std::vector<unsigned char>>& out)
{
    run_to(now);
    for (const unsigned char b : bytes) {
        if (heard_.size() < max_heard)
            heard_.push_back(b);
        if (partial_.empty() && b != flap::stx)
            continue;  // noise between frames
        if (b == flap::stx)
            partial_.clear();
        partial_.push_back(b);
        if (partial_.size() > max_frame) {
            partial_.clear();
            continue;
        }
        if (b != flap::etx)
            continue;
        const std::optional<flap::frame_t> frame = flap::decode(partial_);
        partial_.clear();
        if (!frame)
            continue;  // not a frame at all: nothing to answer
        if (!frame->checksum_ok) {
            reply("E1", out);
            continue;
        }
        run(frame->text, now, out);
    }
    report(now, true);
}

void swept_motor_sim_t::run(const std::string& c, double now, std::vector<std::vector<unsigned char>>& out)
{
    commands_.push_back(c);
    if (commands_.size() > 4096)
        commands_.erase(commands_.begin());
    const bool running_shown = moving() || options_.never_stops;
    if (c.empty()) {
        reply(std::string("S") + digit(running_shown ? 1 : 0) + "00", out);
        return;
    }
    if (c == "IS?") {
        reply(std::string("IS=00000") + digit((centred_ ? 4 : 0) | (running_shown ? 1 : 0)), out);
        return;
    }
    if (hold_next_ && c != "GX" && c != "H") {
        hold_next_ = false;
        held_ = c;
        reply("K", out);
        return;
    }
    if (c == "GW") {
        hold_next_ = true;
    } else if (c == "GX") {
        trigger_ = now;
        if (held_) {
            const std::string held = *held_;
            held_.reset();
            std::vector<std::vector<unsigned char>> ignored;  // the held command was answered when it came
            run(held, now, ignored);
        }
    } else if (c == "H") {
        run_to(now);
        mode_ = mode_t::idle;
        seek_direction_ = 0;
        velocity_ = 0.0;
        record(now);
    } else if (c == "CR") {
        run_to(now);
        mode_ = mode_t::idle;
        velocity_ = 0.0;
        po_ = pf_ = 800.0;
        centred_ = hold_next_ = false;
        held_.reset();
        record(now);
    } else if (c == "GI-" || c == "GI+") {
        run_to(now);
        seek_direction_ = c == "GI-" ? -1 : 1;
        mode_ = mode_t::seeking;
        record(now);
    } else if (c.starts_with("GA")) {
        const std::optional<double> to = argument(c);
        if (!to || std::fabs(*to) > options_.travel) {
            reply("E3", out);
            return;
        }
        start_move(std::round(*to) + origin_, now);
    } else if (c.starts_with("PO") || c.starts_with("PF")) {
        const std::optional<double> v = argument(c);
        if (!v || *v <= 0.0) {
            reply("E3", out);
            return;
        }
        (c[1] == 'O' ? po_ : pf_) = *v;
    } else if (c.size() >= 2 && c[0] == 'P' && std::string("NRSMPT").find(c[1]) != std::string::npos) {
        if (!argument(c)) {
            reply("E3", out);
            return;
        }
    } else {
        reply("E2", out);
        return;
    }
    reply("K", out);
}

void swept_motor_sim_t::report(double now, bool changed)
{
    if (!options_.report || (!changed && now - last_report_ < report_interval))
        return;
    char text[96];
    std::snprintf(text, sizeof text, "position (counts): %6.0f%s%s", position(), moving() ? " moving" : "",
                  centred_ ? "" : " (index not found)");
    if (text == last_report_text_)
        return;
    last_report_ = now;
    last_report_text_ = text;
    options_.report(text);
}

#include "devices/flapping.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <thread>

#include <wx/log.h>

#include "common/interaction.h"
#include "common/timestamp.h"
#include "devices/flapping_protocol.h"
#include "resources/probe_calibration.h"
#include "resources/resource_table.h"

namespace {

using steady = std::chrono::steady_clock;

steady::time_point after(std::uint64_t ticks)
{
    return steady::now() + std::chrono::microseconds(ticks / 10);
}

void sleep_ticks(std::uint64_t ticks)
{
    std::this_thread::sleep_for(std::chrono::microseconds(ticks / 10));
}

std::uint64_t clock_now()
{
    static const timestamp fallback;
    return master_clock ? master_clock->hundred_ns_time() : fallback.hundred_ns_time();
}

// The controller's manual and centring speed, and its whole-way speed.
constexpr long slow_speed = 800;
constexpr long fast_speed = 5000;
// 42 ms for the motor to turn round between volumes.
constexpr double turn_round_seconds = 0.042;
// The frame's acquisition starts 8 ms before its time stamp.
constexpr std::int64_t acquisition_lead = 80000;

}  // namespace

flapping* flapprobe = nullptr;

flapping::flapping(const flap_timing_t& timing) : timing_(timing) {}

flapping::~flapping()
{
    if (open_ && res)
        res->RES_FLAPPING->write(false);
}

bool flapping::send_cmd(const char* cmd, std::size_t length, std::size_t* reply_length, long stamp_index)
{
    if (reply_length)
        *reply_length = 0;
    reply_.clear();
    if (cmd == nullptr && length > 0)
        return false;
    const std::string_view text(cmd == nullptr ? "" : cmd, length);
    const auto frame = flap::encode(text);
    if (!frame) {
        wxLogWarning("Motor command of %zu characters not sent: a command has at most %zu", length,
                     flap::max_command_length);
        return false;
    }
    if (!port_.is_open())
        return false;
    // Replies end with ETX; setting it also drops a late reply to an earlier command.
    port_.set_record_length(serial_t::buffer_size, flap::etx);
    const std::uint64_t written_at = clock_now();
    if (!port_.pwrite(frame->data(), frame->size()))
        return false;
    if (stamp_index >= 0 && static_cast<std::size_t>(stamp_index) < triggers_.size())
        triggers_[static_cast<std::size_t>(stamp_index)] = written_at;

    // Polled without waiting inside pread: its wait restarts with every byte,
    // and a device that trickles bytes must not hold the caller longer than this.
    const auto deadline = after(timing_.reply_timeout);
    std::size_t n = 0;
    while ((n = port_.pread(false, timing_.reply_timeout)) == 0 && steady::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    if (n == 0 && port_.held() > 0)
        n = port_.pread(false, 0);  // what arrived is used
    const auto record = port_.record();
    reply_.assign(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(std::min(n, record.size())));
    if (reply_length)
        *reply_length = reply_.size();
    return true;
}

bool flapping::send_cmd(std::string_view cmd, long stamp_index)
{
    return send_cmd(cmd.data(), cmd.size(), nullptr, stamp_index);
}

bool flapping::command(std::string_view text, long stamp_index)
{
    const bool sent = send_cmd(text, stamp_index);
    if (!sent)
        wxLogWarning("Motor command '%s' could not be sent", wxString(text.data(), text.size()));
    return sent;
}

bool flapping::command_value(const char* name, long value)
{
    return command(std::string(name) + std::to_string(value));
}

void flapping::set_speed(double v)
{
    if (speed_ == v)
        return;
    if (command_value("PF", static_cast<long>(v)))
        speed_ = v;
}

bool flapping::is_port_responsive()
{
    return send_cmd(std::string_view()) && flap::status_reply_whole(reply_);
}

bool flapping::is_motor_running()
{
    if (!moving_)
        return false;
    if (!send_cmd(std::string_view()))
        return false;
    const bool running = flap::status_says_running(reply_);
    if (!running)
        moving_ = false;
    return running;
}

void flapping::wait_for_motor()
{
    const auto deadline = after(timing_.motor_timeout);
    while (is_motor_running()) {
        if (steady::now() >= deadline) {
            wxLogWarning("The probe motor was still running after %.1f s",
                         static_cast<double>(timing_.motor_timeout) / flap::ticks_per_second);
            return;
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - steady::now()).count();
        sleep_ticks(std::min<std::uint64_t>(timing_.poll_interval,
                                            static_cast<std::uint64_t>(std::max<long long>(left, 0)) * 10));
    }
}

bool flapping::pause(std::uint64_t ticks, bool show_progress, const wxString& message, bool while_running)
{
    const auto deadline = after(ticks);
    while (steady::now() < deadline) {
        if (show_progress && !interaction().progress_pulse(message))
            return false;
        if (while_running && !is_motor_running())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - steady::now()).count();
        sleep_ticks(std::min<std::uint64_t>(timing_.poll_interval,
                                            static_cast<std::uint64_t>(std::max<long long>(left, 0)) * 10));
    }
    return true;
}

void flapping::fail_initialisation(const wxString& message)
{
    wxLogError("%s", message);
    port_.close_port();
    open_ = false;
    moving_ = false;
}

bool flapping::find_centre(bool show_progress)
{
    if (open_)
        wait_for_motor();
    port_.close_port();
    open_ = moving_ = at_left_ = at_right_ = at_centre_ = false;
    res->RES_FLAPPING->write(false);

    const wxString name = res->RES_FLAP_PORT->value();
    // An empty name would open /dev/null, which is no motor.
    if (name.empty() || !port_.open_port(name)) {
        fail_initialisation("Initialisation failed: invalid port");
        return false;
    }
    if (!port_.set_params(28800, 8, 0, 0, 0) || !is_port_responsive()) {
        fail_initialisation("Initialisation failed: no response on port");
        return false;
    }

    speed_ = 0.0;
    if (show_progress)
        interaction().progress_begin("Initialising motor driver", "Reseting GLD", 0);
    if (show_progress) {
        command("CR");
        pause(timing_.reset_wait, true, "Reseting GLD");
    }
    command_value("PO", slow_speed);
    command_value("PF", slow_speed);
    speed_ = slow_speed;
    command_value("PN", 9);
    for (const char* c : {"PR0.6", "PS0.3", "PM58", "PP58", "PT5"})
        command(c);

    // The index mark lies on one side or the other: look both ways, halting after each.
    for (const char* direction : {"-", "+"}) {
        const wxString message = wxString("Searching for 0") + direction;
        if (show_progress)
            interaction().progress_pulse(message);
        command(std::string("GI") + direction);
        // The search ends when the motor stops (on the mark, or at the end of its
        // travel) or when the time is up; the dialog's cancel ends it early too.
        moving_ = true;
        pause(timing_.index_search, show_progress, message, true);
        moving_ = false;
        command("H");
        pause(timing_.halt_settle, false, message);
    }
    const bool centred = send_cmd("IS?") && flap::index_says_centred(reply_);
    if (show_progress)
        interaction().progress_end();
    if (!centred) {
        fail_initialisation("Initialisation failed: no response on port");
        return false;
    }
    target_ = 0.0;
    at_centre_ = open_ = true;
    res->RES_FLAPPING->write(true);
    return true;
}

double flapping::end() const
{
    return flap::end_counts(res->RES_FLAP_RANGE->value());
}

bool flapping::manual_move_allowed()
{
    if (!open_)
        return false;
    // Sweeps timed before a manual move say nothing of where the motor is now.
    starts_.clear();
    speeds_.clear();
    triggers_.clear();
    frames_.clear();
    return true;
}

void flapping::to_left()
{
    if (!manual_move_allowed() || end() <= 0.0)
        return;
    set_speed(fast_speed);
    target_ = -end();
    command_value("GA", static_cast<long>(target_));
    at_left_ = true;
    at_right_ = at_centre_ = false;
    moving_ = true;
}

void flapping::to_right()
{
    if (!manual_move_allowed() || end() <= 0.0)
        return;
    set_speed(fast_speed);
    target_ = end();
    command_value("GA", static_cast<long>(target_));
    at_right_ = true;
    at_left_ = at_centre_ = false;
    moving_ = true;
}

void flapping::to_centre()
{
    if (!manual_move_allowed())
        return;
    set_speed(slow_speed);
    command("GA0");
    target_ = 0.0;
    at_left_ = at_right_ = false;
    at_centre_ = moving_ = true;
}

void flapping::step(int direction)
{
    if (!open_ || (direction < 0 && at_left_) || (direction > 0 && at_right_) || !manual_move_allowed())
        return;
    const long steps = res->RES_FLAP_STEPS->value();
    const double r = end();
    if (steps < 2 || r <= 0.0) {
        wxLogWarning("No frame step: a sweep needs a range above 0 and at least 2 frames");
        return;
    }
    // 2R / (steps − 1), with R limited to the motor's travel.
    const double size = 2.0 * r / static_cast<double>(steps - 1);
    const double next = std::clamp(target_ + direction * size, -r, r);
    set_speed(slow_speed);
    command_value("GA", static_cast<long>(next));
    target_ = next;
    if (direction < 0) {
        at_left_ = std::fabs(next + r) <= 1.0;
        at_right_ = false;
    } else {
        at_right_ = std::fabs(next - r) <= 1.0;
        at_left_ = false;
    }
    at_centre_ = next == 0.0;
    moving_ = true;
}

void flapping::step_left()
{
    step(-1);
}

void flapping::step_right()
{
    step(1);
}

bool flapping::speed_okay(double rate) const
{
    const flap::sweep_plan_t plan = flap::plan_sweep(end(), res->RES_FLAP_STEPS->value(), rate);
    return plan.possible && !plan.capped;
}

long flapping::add_frames(double rate) const
{
    const long volumes = res->RES_FLAP_VOLUMES->value();
    if (res->RES_FLAP_MODE->value() != 3 || volumes < 2 || !std::isfinite(rate) || rate <= 0.0)
        return 0;
    const double extra = std::ceil(static_cast<double>(volumes - 1) * rate * turn_round_seconds);
    return extra < static_cast<double>(std::numeric_limits<int>::max()) ? static_cast<long>(extra) : 0;
}

bool flapping::prime_go_left(double rate, long k)
{
    return prime(rate, k, true);
}

bool flapping::prime_go_right(double rate, long k)
{
    return prime(rate, k, false);
}

bool flapping::prime(double rate, long k, bool go_left)
{
    if (!open_)
        return false;
    if (k < 0 || k >= max_moves) {
        wxLogWarning("Sweep %ld not prepared: sweeps are numbered 0 to %ld", k, max_moves - 1);
        return false;
    }
    const long steps = res->RES_FLAP_STEPS->value();
    const double r = end();
    if (steps < 2 || r <= 0.0 || !std::isfinite(rate) || rate <= 0.0) {
        wxLogWarning("Sweep not prepared: it needs a range above 0, at least 2 frames and a frame rate above 0");
        return false;
    }
    const flap::sweep_plan_t plan = flap::plan_sweep(r, steps, rate);
    if (!plan.possible) {
        wxLogWarning("Sweep not prepared: %ld frames at %.3g frames/s are too fast for the probe motor", steps, rate);
        return false;
    }
    if (plan.capped)
        wxLogWarning("%d steps/s is greater than the maximum allowable rate of %d steps/s",
                     static_cast<int>(plan.wanted), static_cast<int>(flap::max_speed));

    if (k == 0) {
        starts_.clear();
        speeds_.clear();
        triggers_.clear();
        frames_.clear();
    }
    const auto i = static_cast<std::size_t>(k);
    if (starts_.size() <= i) {
        starts_.resize(i + 1, 0.0);
        speeds_.resize(i + 1, 0.0);
        triggers_.resize(i + 1, 0);
        frames_.resize(i + 1, 0);
    }
    const double start = go_left ? r : -r;
    // The motor runs at the whole speed units sent; the model must use the same.
    const double v = std::max(1.0, std::floor(plan.speed));
    starts_[i] = start;
    speeds_[i] = v;
    triggers_[i] = 0;
    frames_[i] = 0;

    if (target_ != start) {
        set_speed(fast_speed);
        command_value("GA", static_cast<long>(start));
        target_ = start;
        moving_ = true;
    }
    wait_for_motor();
    set_speed(v);
    command("GW");
    command_value("GA", static_cast<long>(-start));
    at_left_ = go_left;
    at_right_ = !go_left;
    at_centre_ = false;
    rate_ = rate;
    target_ = -start;
    return true;
}

bool flapping::start_primed_move(long k)
{
    if (!open_)
        return false;
    if (k < 0 || static_cast<std::size_t>(k) >= starts_.size() || speeds_[static_cast<std::size_t>(k)] <= 0.0) {
        wxLogWarning("Sweep %ld was not prepared and cannot start", k);
        return false;
    }
    if (!command("GX", k))
        return false;
    moving_ = true;
    return true;
}

std::uint64_t flapping::trigger_time(long k) const
{
    return k >= 0 && static_cast<std::size_t>(k) < triggers_.size() ? triggers_[static_cast<std::size_t>(k)] : 0;
}

double flapping::rest_position() const
{
    // A primed sweep still waiting for its trigger holds the motor at its start.
    if (!starts_.empty() && triggers_.back() == 0 && speeds_.back() > 0.0)
        return starts_.back();
    return target_;
}

long flapping::time_to_angle(std::uint64_t t, long* half_width)
{
    long unused = 0;
    long& half = half_width ? *half_width : unused;
    half = 0;

    // The move: the last triggered one at or before the frame's middle, else the first triggered one.
    const double rate = rate_;
    long k = -1;
    std::int64_t m = 0;
    if (std::isfinite(rate) && rate > 0.0) {
        const auto stamp =
            static_cast<std::int64_t>(std::min<std::uint64_t>(t, std::numeric_limits<std::int64_t>::max() / 2));
        m = stamp + static_cast<std::int64_t>(std::floor(5'000'000.0 / rate - static_cast<double>(acquisition_lead)));
        for (std::size_t i = 0; i < triggers_.size(); ++i) {
            const std::uint64_t trig = triggers_[i];
            if (trig == 0)
                continue;  // primed, not triggered yet
            if (k < 0 || static_cast<std::int64_t>(trig) <= m)
                k = static_cast<long>(i);
            if (static_cast<std::int64_t>(trig) > m)
                break;
        }
    }
    if (k < 0)
        return static_cast<long>(rest_position());
    const auto ki = static_cast<std::size_t>(k);

    if (res->RES_FLAP_MODE->value() == 3) {
        if (frames_[ki] >= res->RES_FLAP_STEPS->value())
            return k == res->RES_FLAP_VOLUMES->value() - 1 ? outside_last_sweep : outside_sweep;
        ++frames_[ki];
    }
    const auto h = static_cast<std::int64_t>(std::floor(5'000'000.0 / rate));
    const auto period = static_cast<std::int64_t>(std::floor(10'000'000.0 / rate));
    const std::int64_t t1 = m - h;
    const std::int64_t t2 = t1 + period;
    const auto trig = static_cast<std::int64_t>(triggers_[ki]);
    const auto at = [&](std::int64_t tt) {
        const double e = static_cast<double>(tt - trig) / flap::ticks_per_second;
        return static_cast<long>(flap::model_position(e, starts_[ki], speeds_[ki]));
    };
    const long a1 = at(t1);
    const long a2 = at(t2);
    half = (a2 - a1) / 2;
    return (a1 + a2) / 2;
}

flap::sweep_geometry_t flapping::geometry() const
{
    flap::sweep_geometry_t g;
    g.axis_depth = static_cast<double>(res->RES_VID_YPOS->value()) * res->RES_YSCALE->value() + 0.78;
    g.elements = elements_;
    return g;
}

bool flapping::angle_to_pos(double angle, float* pose, long element) const
{
    return flap::swept_pose(angle, element, geometry(), probe_calibration_matrix(), pose);
}

std::function<bool(float, float*)> flapping::sweep_model()
{
    return [this](float angle, float* pose) { return angle_to_pos(angle, pose, -1); };
}

std::function<float(std::uint64_t)> flapping::angle_source()
{
    return [this](std::uint64_t t) { return static_cast<float>(time_to_angle(t, nullptr)); };
}

bool flap_move(flapping& motor, flap_move_t move)
{
    const long kind = res->RES_FLAP_TYPE->value();
    if (kind == 0)
        return false;
    if (kind != 1) {
        wxLogMessage("The probe motor controller of kind %ld is not driven by this program: nothing moved", kind);
        return false;
    }
    if (!motor.initialised())
        return false;
    switch (move) {
        case flap_move_t::left:
            motor.to_left();
            motor.wait_for_motor();
            break;
        case flap_move_t::right:
            motor.to_right();
            motor.wait_for_motor();
            break;
        case flap_move_t::centre:
            motor.to_centre();
            motor.wait_for_motor();
            break;
        case flap_move_t::step_left:
            motor.step_left();
            break;
        case flap_move_t::step_right:
            motor.step_right();
            break;
    }
    return true;
}

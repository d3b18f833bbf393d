#include "devices/zaber_linear_slide.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include <wx/log.h>

#include "devices/zaber_protocol.h"

namespace {

using clock_t_ = std::chrono::steady_clock;

clock_t_::time_point after(std::uint64_t ticks)
{
    return clock_t_::now() + std::chrono::microseconds(ticks / 10);
}

std::uint64_t ticks_left(clock_t_::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - clock_t_::now()).count();
    return left > 0 ? static_cast<std::uint64_t>(left) * 10 : 0;
}

bool is_movement(int command)
{
    return command == zaber::cmd_home || command == zaber::cmd_move_absolute || command == zaber::cmd_move_relative ||
           command == zaber::cmd_stop;
}

// 200 full steps a turn of a lead screw that advances 6.35 mm in ten turns.
constexpr double full_steps_per_rev = 200.0;

}  // namespace

bool zaberLinearSlide::initialise()
{
    ok_ = false;
    pending_motion_ = 0;
    motion_refused_ = false;
    std::int32_t resolution = 0;
    if (!sendCmd(zaber::cmd_return_setting, zaber::setting_microstep_resolution, &resolution))
        return false;
    // 0 would divide every position by zero; the devices know 1 to 256.
    if (resolution < min_resolution || resolution > max_resolution) {
        wxLogError("Microstep resolution %d of device %d is outside 1 to 256", static_cast<int>(resolution),
                   static_cast<int>(device_));
        return false;
    }
    microsteps_per_cm_ = static_cast<double>(resolution) * 10.0 * full_steps_per_rev / 6.35;
    ok_ = true;
    if (read_position())
        target_ = static_cast<double>(last_position_);
    return true;
}

bool zaberLinearSlide::sendCmd(int command, double data, std::int32_t* reply)
{
    return exchange(command, data, timing_.reply_timeout, reply);
}

bool zaberLinearSlide::exchange(int command, double data, std::uint64_t timeout, std::int32_t* reply)
{
    const std::optional<std::int32_t> value = zaber::to_data(data);
    if (!value) {
        if (std::isfinite(data))
            wxLogError("zaberLinearSlide::sendCmd - magnitude of command value is too large");
        else
            wxLogError("zaberLinearSlide::sendCmd - command value is not a finite number");
        return false;
    }
    if (!port_.is_open()) {
        wxLogDebug("zaberLinearSlide::sendCmd - the port is closed");
        return false;
    }
    // Only when it differs: setting it drops unread input, which may hold a
    // refusal of the movement just sent.
    if (port_.record_length() != zaber::message_length || port_.terminator() != 0)
        port_.set_record_length(zaber::message_length);
    const zaber::message_t message = zaber::encode(device_, command, *value);
    if (is_movement(command)) {
        pending_motion_ = command;
        motion_refused_ = false;
    }
    if (!port_.pwrite(message.data(), message.size()))
        return false;
    if (is_movement(command))
        return true;  // answered when the motion ends: waitForMovement watches the status instead
    return read_reply(command, timeout, reply) == read_result_t::matched;
}

zaberLinearSlide::read_result_t zaberLinearSlide::read_reply(int command, std::uint64_t timeout, std::int32_t* data)
{
    const auto deadline = after(timeout);
    for (;;) {
        const std::uint64_t left = ticks_left(deadline);
        if (left == 0) {
            wxLogWarning("No reply from zaber device %d to command %d", static_cast<int>(device_), command);
            return read_result_t::failed;
        }
        // A short wait per read: a reply cut by a lost byte ends at the gap
        // and is discarded, so the next reply starts a record again.
        if (port_.pread(true, std::min(left, timing_.byte_gap)) == 0)
            continue;
        const std::optional<zaber::reply_t> r = zaber::decode(port_.record());
        if (!r) {
            wxLogDebug("zaber: discarded %d stray bytes", static_cast<int>(port_.record().size()));
            continue;
        }
        if (r->device != device_) {
            wxLogDebug("zaber: discarded a reply from device %d to device %d", r->device, static_cast<int>(device_));
            continue;
        }
        if (r->command == zaber::cmd_error) {
            const bool out_of_range =
                r->data == zaber::error_move_absolute_range || r->data == zaber::error_move_relative_range;
            if (out_of_range)
                wxLogWarning("Requested location is out of range");
            if (out_of_range && pending_motion_ != 0) {
                motion_refused_ = true;
                pending_motion_ = 0;
                continue;  // the movement's answer, not this command's
            }
            if (out_of_range)
                continue;  // a stale refusal
            wxLogWarning("Zaber device %d refused command %d with error %d", static_cast<int>(device_), command,
                         static_cast<int>(r->data));
            return read_result_t::refused;
        }
        const bool matches = r->command == command || (command == zaber::cmd_return_setting &&
                                                       r->command == zaber::setting_microstep_resolution);
        if (matches) {
            if (data)
                *data = r->data;
            return read_result_t::matched;
        }
        if (r->command == pending_motion_)
            pending_motion_ = 0;  // the movement ended; its status says so too
        else
            wxLogDebug("zaber: discarded a late or unsolicited reply %d from device %d", r->command, r->device);
    }
}

bool zaberLinearSlide::query_idle(std::uint64_t timeout, bool* idle)
{
    std::int32_t status = -1;
    if (!exchange(zaber::cmd_return_status, 0, timeout, &status))
        return false;
    *idle = status == 0;
    return true;
}

bool zaberLinearSlide::isIdle()
{
    if (!ok_)
        return true;
    bool idle = false;
    return query_idle(timing_.reply_timeout, &idle) && idle;  // a failed query counts as busy
}

bool zaberLinearSlide::waitForMovement()
{
    if (!ok_)
        return true;
    const auto deadline = after(timing_.movement_timeout);
    for (;;) {
        const std::uint64_t left = ticks_left(deadline);
        if (left == 0)
            break;
        bool idle = false;
        const bool answered = query_idle(std::min(left, timing_.reply_timeout), &idle);
        if (motion_refused_)
            return false;
        if (answered && idle) {
            pending_motion_ = 0;
            return true;
        }
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::min(ticks_left(deadline), timing_.poll_interval) / 10));
    }
    wxLogError("Timeout waiting for movement");
    return false;
}

bool zaberLinearSlide::read_position()
{
    std::int32_t position = 0;
    if (!sendCmd(zaber::cmd_return_current_position, 0, &position))
        return false;
    last_position_ = position;
    return true;
}

void zaberLinearSlide::rebase_target()
{
    read_position();  // on failure the last known position is the best there is
    target_ = static_cast<double>(last_position_);
}

double zaberLinearSlide::finish(bool moved)
{
    if (!moved) {
        rebase_target();
    } else if (!read_position() && !read_position()) {
        // The movement ended where it was sent: only the answer was lost.
        wxLogWarning("Zaber device %d did not report its position", static_cast<int>(device_));
        last_position_ = expected_end_;
    }
    return position_cm();
}

bool zaberLinearSlide::run_movement(int command, double data)
{
    const std::optional<std::int32_t> value = zaber::to_data(data);
    if (value)
        expected_end_ = command == zaber::cmd_move_relative ? last_position_ + *value
                        : command == zaber::cmd_home        ? 0
                                                            : *value;
    return sendCmd(command, data) && waitForMovement();
}

double zaberLinearSlide::home()
{
    if (!ok_)
        return position_cm();
    target_ = 0.0;
    return finish(run_movement(zaber::cmd_home, 0));
}

double zaberLinearSlide::moveToPosition(double cm)
{
    if (!ok_)
        return position_cm();
    if (!std::isfinite(cm)) {
        wxLogWarning("zaberLinearSlide::moveToPosition - the position is not a finite number");
        return position_cm();
    }
    target_ = cm * microsteps_per_cm_;
    return finish(run_movement(zaber::cmd_move_absolute, target_));
}

double zaberLinearSlide::step(double cm)
{
    if (!ok_)
        return position_cm();
    if (!std::isfinite(cm)) {
        wxLogWarning("zaberLinearSlide::step - the distance is not a finite number");
        return position_cm();
    }
    target_ += cm * microsteps_per_cm_;
    return finish(run_movement(zaber::cmd_move_relative, target_ - static_cast<double>(last_position_)));
}

double zaberLinearSlide::stop()
{
    if (!ok_)
        return position_cm();
    run_movement(zaber::cmd_stop, 0);
    rebase_target();
    return position_cm();
}

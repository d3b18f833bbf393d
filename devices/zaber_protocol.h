// The Zaber binary protocol: every message, both ways, is six bytes: device
// number, command number, then a signed 32-bit value, least significant byte
// first. Pure encoding and decoding, so that the fuzz harness and the
// simulator share them with the driver.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace zaber {

constexpr std::size_t message_length = 6;
using message_t = std::array<unsigned char, message_length>;

enum command_t : unsigned char {
    cmd_home = 1,
    cmd_move_absolute = 20,
    cmd_move_relative = 21,
    cmd_stop = 23,
    cmd_return_setting = 53,
    cmd_return_status = 54,
    cmd_return_current_position = 60,
    cmd_error = 255,
};

// The setting number of the microstep resolution; replies to
// "return setting 37" carry it as their command byte.
constexpr std::int32_t setting_microstep_resolution = 37;
// Error codes of a refused move: the target lies outside the travel.
constexpr std::int32_t error_move_absolute_range = 20;
constexpr std::int32_t error_move_relative_range = 21;

struct reply_t {
    int device = 0;
    int command = 0;
    std::int32_t data = 0;
};

// The message for a command; data is already in microsteps.
message_t encode(int device, int command, std::int32_t data);
// A received record as a reply; nothing for a record that is not six bytes.
std::optional<reply_t> decode(std::span<const unsigned char> record);

// value rounded half away from zero, when it is finite and fits a signed
// 32-bit value; nothing otherwise (NaN, infinities, too large).
std::optional<std::int32_t> to_data(double value);

}  // namespace zaber

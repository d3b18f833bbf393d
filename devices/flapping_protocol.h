// The swept-probe motor controller's line protocol. A command goes out as
// STX, '0', the command, ':', two upper-case hex digits of the exclusive or
// of every byte from the '0' to the ':', and ETX; replies end with ETX.
// Pure functions, shared by the driver, its simulator and the fuzz harness.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flap {

constexpr unsigned char stx = 2;
constexpr unsigned char etx = 3;
constexpr std::size_t max_command_length = 44;

// Exclusive or of the bytes.
unsigned char checksum(std::span<const unsigned char> bytes);
// The bytes of a command on the line; nothing for a command longer than 44
// characters or one holding STX or ETX (which would cut the frame).
std::optional<std::vector<unsigned char>> encode(std::string_view command);

// A frame received: its command (or reply text) and whether its checksum held.
struct frame_t {
    std::string text;
    bool checksum_ok = false;
};
// Decodes one frame from STX to ETX inclusive; nothing when it is not shaped
// as one (the checksum is reported, not required).
std::optional<frame_t> decode(std::span<const unsigned char> frame);

// The value of a status digit, "0" to "9" and "A" to "F"; -1 otherwise.
int status_digit(unsigned char c);

// Whether a reply to the status command came whole: more than 8 bytes, from
// STX to ETX. Bytes that merely run on are no answer.
bool status_reply_whole(std::span<const unsigned char> reply);
// The status reply's verdict: the motor runs when the reply is a frame of more
// than 8 bytes whose digit at index 3 has bit 0 set. Anything else, a short,
// garbled or missing reply included, counts as stopped (the safe side: nobody
// waits on a motor that cannot be heard).
bool status_says_running(std::span<const unsigned char> reply);
// The "IS?" reply's verdict: centred when the reply is exactly 15 bytes, a
// frame, and its digit at index 10 has bit 2 set. Anything else: not centred.
bool index_says_centred(std::span<const unsigned char> reply);

}  // namespace flap

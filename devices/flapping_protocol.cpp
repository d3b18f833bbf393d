#include "devices/flapping_protocol.h"

#include <algorithm>

namespace flap {

namespace {

constexpr char hex_upper[] = "0123456789ABCDEF";

// Replies are trusted only when framed: a byte stream that merely happens to
// be long enough says nothing about the motor.
bool framed(std::span<const unsigned char> reply)
{
    return reply.size() >= 2 && reply.front() == stx && reply.back() == etx;
}

}  // namespace

unsigned char checksum(std::span<const unsigned char> bytes)
{
    unsigned char x = 0;
    for (const unsigned char b : bytes)
        x ^= b;
    return x;
}

std::optional<std::vector<unsigned char>> encode(std::string_view command)
{
    if (command.size() > max_command_length)
        return std::nullopt;
    if (command.find_first_of(std::string_view("\x02\x03", 2)) != std::string_view::npos)
        return std::nullopt;
    std::vector<unsigned char> out;
    out.reserve(command.size() + 6);
    out.push_back(stx);
    out.push_back('0');
    out.insert(out.end(), command.begin(), command.end());
    out.push_back(':');
    const unsigned char sum = checksum(std::span(out).subspan(1));
    out.push_back(static_cast<unsigned char>(hex_upper[sum >> 4]));
    out.push_back(static_cast<unsigned char>(hex_upper[sum & 0x0F]));
    out.push_back(etx);
    return out;
}

std::optional<frame_t> decode(std::span<const unsigned char> frame)
{
    // STX '0' ':' h h ETX at the least.
    if (frame.size() < 6 || frame.front() != stx || frame.back() != etx || frame[1] != '0')
        return std::nullopt;
    const std::size_t colon = frame.size() - 4;
    if (frame[colon] != ':')
        return std::nullopt;
    const int hi = status_digit(frame[colon + 1]);
    const int lo = status_digit(frame[colon + 2]);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    frame_t f;
    f.text.assign(frame.begin() + 2, frame.begin() + static_cast<std::ptrdiff_t>(colon));
    f.checksum_ok = checksum(frame.subspan(1, colon)) == static_cast<unsigned char>(hi * 16 + lo);
    return f;
}

int status_digit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool status_reply_whole(std::span<const unsigned char> reply)
{
    return reply.size() > 8 && framed(reply);
}

bool status_says_running(std::span<const unsigned char> reply)
{
    if (!status_reply_whole(reply))
        return false;
    const int d = status_digit(reply[3]);
    return d >= 0 && (d & 1) != 0;
}

bool index_says_centred(std::span<const unsigned char> reply)
{
    if (reply.size() != 15 || !framed(reply))
        return false;
    const int d = status_digit(reply[10]);
    return d >= 0 && (d & 4) != 0;
}

}  // namespace flap

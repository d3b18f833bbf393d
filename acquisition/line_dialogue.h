// Small helpers for command/answer dialogues on a serial line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/serial.h"

inline constexpr std::uint64_t reply_timeout = 1000000;  // 0.1 s in 100 ns ticks

// Writes the bytes of text as they are.
inline bool send_text(serial_t& line, std::string_view text)
{
    return line.pwrite(text.data(), text.size());
}

// Waits for one record and returns it as bytes (empty when nothing came).
inline std::string read_text(serial_t& line, std::uint64_t timeout = reply_timeout)
{
    if (line.pread(true, timeout) == 0)
        return {};
    const auto r = line.record();
    return {r.begin(), r.end()};
}

// Sends text and returns the answer, read until the line falls silent.
inline std::string ask_text(serial_t& line, std::string_view text, std::uint64_t timeout = reply_timeout)
{
    if (!send_text(line, text))
        return {};
    return read_text(line, timeout);
}

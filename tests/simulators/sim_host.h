// The host end of a simulated line: serial_t on the link's pty, used the way
// the tracker drivers use it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>

#include "acquisition/serial.h"
#include "acquisition/tracker_records.h"
#include "simulators/pty_link.h"

constexpr std::uint64_t sim_ticks_per_ms = 10000;

class sim_host_t {
public:
    explicit sim_host_t(pty_link_t& link, long speed = 38400, int flow = 0)
    {
        ok_ = link.ok() && port_.open_port(link.port_path()) && port_.set_params(speed, 8, 0, 0, flow);
    }
    bool ok() const { return ok_; }
    serial_t& port() { return port_; }

    // Sends bytes and returns the reply: length bytes, or what came before
    // silence_ms of silence once the reply has begun. The reply may take up
    // to five seconds to begin, so a loaded machine only slows the test.
    std::string ask(const std::string& bytes, std::size_t length, int silence_ms = 300)
    {
        return exchange(bytes, length, silence_ms, std::chrono::seconds(5));
    }
    // For a reply that must not come: what arrives within window_ms. Load can
    // only let a wrong reply slip past unseen, never fail a right silence.
    std::string ask_expecting_silence(const std::string& bytes, std::size_t length, int window_ms)
    {
        return exchange(bytes, length, window_ms, std::chrono::seconds(0));
    }

private:
    // The line is flushed before the write, never after it: on a pty a flush
    // can discard bytes the device has not read yet.
    std::string exchange(const std::string& bytes, std::size_t length, int silence_ms,
                         std::chrono::milliseconds first_byte_limit)
    {
        port_.set_record_length(length);
        if (!port_.pwrite(bytes.data(), bytes.size()))
            return {};
        const auto end = std::chrono::steady_clock::now() + first_byte_limit;
        while (port_.pread(true, static_cast<std::uint64_t>(silence_ms) * sim_ticks_per_ms) == 0)
            if (std::chrono::steady_clock::now() >= end)
                return {};
        const auto r = port_.record();
        return {r.begin(), r.end()};
    }

    serial_t port_;
    bool ok_ = false;
};

inline record_view as_record(const std::string& s)
{
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

inline std::deque<sim_sent_pose_t> sent_poses(pty_link_t& link)
{
    return link.with_sim([](device_sim_t& s) { return s.sent_poses(); });
}

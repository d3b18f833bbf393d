// A stand-in for a tracked-ultrasound server on a scanner's PC, for the
// tests: an OpenIGTLink server that sends numbered frames and a probe pose
// for each, stamped with this program's clock.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "acquisition/igtl_server.h"
#include "common/cip.h"
#include "common/matrix16d.h"
#include "common/timestamp.h"

namespace igtl_scanner {

inline constexpr long width = 64, height = 48;

// Frame i says its number in its first two pixels; the rest is a pattern of it.
inline cip_t numbered_frame(long i, long w = width, long h = height)
{
    cip_t f = cip_t::make_8bit(w, h);
    for (long p = 0; p < w * h; ++p)
        f.pixels()[p] = static_cast<std::uint8_t>((p * 3 + i * 11) % 251);
    f.pixels()[0] = static_cast<std::uint8_t>(i & 0xff);
    f.pixels()[1] = static_cast<std::uint8_t>(i >> 8);
    return f;
}

inline long frame_number(const std::uint8_t* pixels)
{
    return long(pixels[0]) | (long(pixels[1]) << 8);
}

// A pose that moves and turns from frame to frame, in range of every angle.
inline void pose_of(long i, double (&v)[6])
{
    v[0] = 1.0 + 0.05 * i;
    v[1] = -2.0 + 0.5 * std::sin(0.1 * i);
    v[2] = 3.0;
    v[3] = 10.0 + 1.5 * i;
    v[4] = -20.0 + 0.3 * i;
    v[5] = 5.0 * std::cos(0.2 * i);
}

inline matrix16d pose_matrix(long i)
{
    double v[6];
    pose_of(i, v);
    matrix16d m;
    m.forward(v[0], v[1], v[2], v[3], v[4], v[5]);
    return m;
}

// Sends frame i and its pose every 40 ms, stamped with this program's clock,
// until told to stop; `spoil_at` sends a message with a broken CRC before
// that frame, and from `shrink_at` on the frames are half the size.
class scanner_server_t {
public:
    explicit scanner_server_t(long spoil_at = -1, long shrink_at = -1) : spoil_at_(spoil_at), shrink_at_(shrink_at)
    {
        ok_ = server_.start(0);
        if (ok_)
            sender_ = std::thread([this] { run(); });
    }
    ~scanner_server_t()
    {
        stop_ = true;
        if (sender_.joinable())
            sender_.join();
    }
    bool ok() const { return ok_; }
    int port() const { return server_.port(); }
    std::uint64_t sent_time(long i) const { return times_.at(static_cast<std::size_t>(i)); }
    long sent() const { return sent_; }

private:
    void run()
    {
        // Nothing is sent before a client listens, so the first frames are not lost to nobody.
        while (!stop_ && server_.stats().clients == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        for (long i = 0; i < long(times_.size()) && !stop_; ++i) {
            const std::uint64_t t = master_clock->hundred_ns_time();
            times_[static_cast<std::size_t>(i)] = t;
            if (i == spoil_at_) {
                auto bad = pack_igtl_transform("ProbeToReference", pose_matrix(i), t);
                auto spoilt = std::make_shared<std::vector<unsigned char>>(*bad);
                spoilt->back() ^= 0x40;  // the body no longer matches its CRC
                server_.publish(spoilt);
            }
            server_.publish(pack_igtl_transform("ProbeToReference", pose_matrix(i), t));
            server_.publish(pack_igtl_transform("StylusToReference", matrix16d(), t));  // not the probe
            const bool small = shrink_at_ >= 0 && i >= shrink_at_;
            server_.publish(pack_igtl_image("Image",
                                            small ? numbered_frame(i, width / 2, height / 2) : numbered_frame(i),
                                            matrix16d(), 0.02, 0.02, t));
            ++sent_;
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }

    igtl_server_t server_;
    bool ok_ = false;
    long spoil_at_, shrink_at_;
    std::atomic<bool> stop_{false};
    std::atomic<long> sent_{0};
    std::vector<std::uint64_t> times_ = std::vector<std::uint64_t>(2000, 0);
    std::thread sender_;
};

}  // namespace igtl_scanner

// Runs a device simulator on the master side of a pseudo-terminal. The host
// opens port_path() like a real serial port. A background thread carries the
// bytes; it touches nothing but the pty and the simulator.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "simulators/device_sim.h"

// Line faults applied to whole replies.
struct sim_faults_t {
    double latency = 0.0;      // seconds before a reply starts
    std::size_t fragment = 0;  // split replies into pieces of this many bytes (0: whole)
    double fragment_gap = 0.002;  // seconds between pieces
    int drop_every = 0;        // drop every n-th reply (0: never)
    int corrupt_every = 0;     // flip a byte in every n-th reply (0: never)
};

class pty_link_t {
public:
    explicit pty_link_t(std::unique_ptr<device_sim_t> sim, sim_faults_t faults = {});
    ~pty_link_t();  // stops the thread, closes the pty
    pty_link_t(const pty_link_t&) = delete;
    pty_link_t& operator=(const pty_link_t&) = delete;

    bool ok() const { return master_ >= 0; }
    // When the simulator's time began, in seconds of the monotonic clock: its
    // trajectory is a function of the seconds since then.
    double started_at() const { return start_; }
    const std::string& port_path() const { return path_; }

    // Carries bytes on a background thread until the link is destroyed.
    void start();
    // Carries bytes on the calling thread until stop() (from a signal or another thread).
    void run();
    void stop() { stop_ = true; }

    // Runs f with the simulator locked (for tests to inspect or change it).
    template <typename F>
    auto with_sim(F&& f)
    {
        std::lock_guard lock(mutex_);
        return f(*sim_);
    }
    // Replaces the faults; the count for drop_every and corrupt_every restarts.
    void set_faults(const sim_faults_t& faults);

    // Host line settings that did not match the device (speed, 8N1, flow), counted.
    int line_mismatches() const { return mismatches_; }

    // Speeds a host can program on a serial line, in bits per second.
    static bool speed_supported(long bps);

private:
    // A piece of a reply, written to the master once its time has come.
    struct chunk_t {
        double due = 0.0;
        std::vector<unsigned char> bytes;
    };

    void pump_once(int wait_ms);
    sim_line_t line_now() const;
    void send(std::vector<unsigned char> reply);  // with mutex_ held
    void write_due();
    double now() const;

    std::unique_ptr<device_sim_t> sim_;
    sim_faults_t faults_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the master never sees a hang-up between host opens
    std::string path_;
    std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> mismatches_{0};
    int replies_ = 0;
    double start_ = 0.0;
    std::deque<chunk_t> pending_;  // touched by the carrying thread only
    double busy_until_ = 0.0;      // when the last scheduled piece goes out
};

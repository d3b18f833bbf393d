// An OpenIGTLink server: clients connect to a TCP port and receive every
// message published from then on. Publishing never waits for a client: each
// client has a short queue of its own, served by its own thread, and a
// message that finds a client's queue full is dropped for that client and
// counted. A client that stops reading for seconds, or goes away, is let go.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "igtl_messages.h"

class igtl_server_t {
public:
    static constexpr int default_port = 18944;

    struct stats_t {
        int clients = 0;
        std::uint64_t sent = 0;     // messages written to clients
        std::uint64_t dropped = 0;  // messages a slow client's full queue lost
    };

    explicit igtl_server_t(std::size_t queue_limit = 8, int send_timeout_ms = 3000);
    ~igtl_server_t();
    igtl_server_t(const igtl_server_t&) = delete;
    igtl_server_t& operator=(const igtl_server_t&) = delete;

    // Listens on `port` (0: any free port); false, with the reason logged, when it cannot.
    bool start(int port);
    void stop();
    bool running() const { return running_; }
    int port() const { return port_; }

    // Queues the message for every client connected now; never blocks.
    void publish(const igtl_bytes_t& message);
    stats_t stats() const;

private:
    struct client_t;
    void accept_loop();
    void serve(const std::shared_ptr<client_t>& client);
    void forget_finished();

    std::size_t queue_limit_;
    int send_timeout_ms_;
    std::atomic<bool> running_{false};
    int port_ = 0;
    struct listener_t;
    std::unique_ptr<listener_t> listener_;
    std::thread accepting_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<client_t>> clients_;
    std::atomic<std::uint64_t> sent_{0}, dropped_{0};
};

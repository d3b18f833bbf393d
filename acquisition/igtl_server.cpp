#include "igtl_server.h"

#include <csignal>

#include <igtlServerSocket.h>
#include <igtlSocket.h>
#include <wx/log.h>

struct igtl_server_t::listener_t {
    igtl::ServerSocket::Pointer socket = igtl::ServerSocket::New();
};

struct igtl_server_t::client_t {
    igtl::Socket::Pointer socket;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<igtl_bytes_t> queue;
    bool closing = false;
    std::atomic<bool> finished{false};
    std::thread writer;
};

igtl_server_t::igtl_server_t(std::size_t queue_limit, int send_timeout_ms)
    : queue_limit_(queue_limit == 0 ? 1 : queue_limit), send_timeout_ms_(send_timeout_ms)
{
}

igtl_server_t::~igtl_server_t()
{
    stop();
}

bool igtl_server_t::start(int port)
{
    stop();
    if (port < 0 || port > 65535) {
        wxLogError("OpenIGTLink: %d is not a port number.", port);
        return false;
    }
    // A client gone away must give a failed send, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    listener_ = std::make_unique<listener_t>();
    if (listener_->socket->CreateServer(port) < 0) {
        wxLogError("OpenIGTLink: could not listen on port %d (in use, or not allowed).", port);
        listener_.reset();
        return false;
    }
    port_ = listener_->socket->GetServerPort();
    running_ = true;
    accepting_ = std::thread([this] { accept_loop(); });
    return true;
}

void igtl_server_t::stop()
{
    if (!running_.exchange(false))
        return;
    if (accepting_.joinable())
        accepting_.join();
    std::vector<std::shared_ptr<client_t>> clients;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clients.swap(clients_);
    }
    for (const auto& c : clients) {
        {
            std::lock_guard<std::mutex> lock(c->mutex);
            c->closing = true;
        }
        c->ready.notify_all();
        if (c->writer.joinable())
            c->writer.join();
        c->socket->CloseSocket();
    }
    listener_->socket->CloseSocket();
    listener_.reset();
}

void igtl_server_t::accept_loop()
{
    while (running_) {
        // Short waits, so stop() is never kept waiting for a client that never comes.
        igtl::ClientSocket::Pointer socket = listener_->socket->WaitForConnection(100);
        forget_finished();
        if (!socket.IsNotNull() || !running_)
            continue;
        socket->SetSendTimeout(send_timeout_ms_);
        auto client = std::make_shared<client_t>();
        client->socket = socket;
        client->writer = std::thread([this, client] { serve(client); });
        std::lock_guard<std::mutex> lock(mutex_);
        clients_.push_back(client);
    }
}

void igtl_server_t::serve(const std::shared_ptr<client_t>& client)
{
    for (;;) {
        igtl_bytes_t message;
        {
            std::unique_lock<std::mutex> lock(client->mutex);
            client->ready.wait(lock, [&] { return client->closing || !client->queue.empty(); });
            if (client->closing)
                break;
            message = std::move(client->queue.front());
            client->queue.pop_front();
        }
        // A send cut short by the time-out leaves the stream mid-message: that client is done.
        if (client->socket->Send(message->data(), static_cast<int>(message->size())) != 1)
            break;
        ++sent_;
    }
    client->finished = true;
}

void igtl_server_t::forget_finished()
{
    std::vector<std::shared_ptr<client_t>> gone;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto i = clients_.begin(); i != clients_.end();) {
            if ((*i)->finished) {
                gone.push_back(*i);
                i = clients_.erase(i);
            } else {
                ++i;
            }
        }
    }
    for (const auto& c : gone) {
        if (c->writer.joinable())
            c->writer.join();
        c->socket->CloseSocket();
    }
}

void igtl_server_t::publish(const igtl_bytes_t& message)
{
    if (!message || !running_)
        return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& c : clients_) {
        if (c->finished)
            continue;
        bool queued = false;
        {
            std::lock_guard<std::mutex> client_lock(c->mutex);
            if (c->queue.size() < queue_limit_) {
                c->queue.push_back(message);
                queued = true;
            }
        }
        if (queued)
            c->ready.notify_one();
        else
            ++dropped_;
    }
}

igtl_server_t::stats_t igtl_server_t::stats() const
{
    stats_t s;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& c : clients_)
            s.clients += c->finished ? 0 : 1;
    }
    s.sent = sent_;
    s.dropped = dropped_;
    return s;
}

#include "igtl_client.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include <igtlClientSocket.h>
#include <wx/log.h>

#include "igtl_wire.h"

namespace {
const char* const quiet_line = "nothing came within the time allowed";
constexpr int message_wait_ms = 5000;
}  // namespace

struct igtl_client_t::socket_t {
    igtl::ClientSocket::Pointer socket = igtl::ClientSocket::New();
};

igtl_client_t::igtl_client_t() = default;

igtl_client_t::~igtl_client_t()
{
    close();
}

bool igtl_client_t::connect(const wxString& host, int port, int timeout_ms, bool quiet)
{
    close();
    socket_ = std::make_unique<socket_t>();
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    // A server that is starting may not listen yet: try again until the time is up.
    while (socket_->socket->ConnectToServer(host.utf8_str().data(), port) != 0) {
        if (std::chrono::steady_clock::now() >= give_up) {
            if (!quiet)
                wxLogError("OpenIGTLink: no server answers at %s:%d.", host, port);
            socket_.reset();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

void igtl_client_t::close()
{
    if (socket_)
        socket_->socket->CloseSocket();
    socket_.reset();
}

bool igtl_client_t::read(void* data, std::size_t length, wxString* why)
{
    auto* p = static_cast<char*>(data);
    while (length > 0) {
        // With a time-out the library returns what has come: read on until all is here.
        const int n = socket_->socket->Receive(p, static_cast<int>(std::min<std::size_t>(length, 1u << 30)));
        if (n <= 0) {
            *why = n < 0 ? quiet_line : igtl_closed_text;
            return false;
        }
        p += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

igtl_body_t igtl_client_t::next(igtl_message_t* out, int timeout_ms, wxString* why)
{
    if (!socket_) {
        *why = "not connected";
        return igtl_body_t::bad;
    }
    socket_->socket->SetReceiveTimeout(timeout_ms);
    unsigned char header_bytes[igtl_header_size];
    igtl_header_t header;
    if (!read(header_bytes, 1, why))
        return *why == quiet_line ? igtl_body_t::none : igtl_body_t::bad;
    // Once a message has begun, waiting for its rest short of that would cut it in two.
    socket_->socket->SetReceiveTimeout(std::max(timeout_ms, message_wait_ms));
    if (!read(header_bytes + 1, sizeof header_bytes - 1, why) || !decode_igtl_header(header_bytes, &header, why))
        return igtl_body_t::bad;
    body_.resize(static_cast<std::size_t>(header.body_size));
    if (!read(body_.data(), body_.size(), why))
        return igtl_body_t::bad;
    return decode_igtl_body(header, body_.data(), out, why);
}

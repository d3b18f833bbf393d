// A connection to an OpenIGTLink server (a tracked-ultrasound server on a
// scanner's PC, or kestrane-tool stream): messages read one at a time,
// checked as igtl_decode checks them, with every wait bounded.
#pragma once

#include <memory>
#include <vector>

#include <wx/string.h>

#include "igtl_decode.h"

class igtl_client_t {
public:
    igtl_client_t();
    ~igtl_client_t();
    igtl_client_t(const igtl_client_t&) = delete;
    igtl_client_t& operator=(const igtl_client_t&) = delete;

    // False, with the reason logged, when nothing answers there.
    bool connect(const wxString& host, int port, int timeout_ms);
    // The next message within `timeout_ms`; `bad` with *why for a closed
    // connection, a time-out or a message that does not read (after which
    // the stream cannot be trusted: the caller disconnects).
    igtl_body_t next(igtl_message_t* out, int timeout_ms, wxString* why);
    void close();

private:
    bool read(void* data, std::size_t length, wxString* why);
    struct socket_t;
    std::unique_ptr<socket_t> socket_;
    std::vector<unsigned char> body_;
};

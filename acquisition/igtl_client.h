// A connection to an OpenIGTLink server (a tracked-ultrasound server on a
// scanner's PC, or kestrane-tool stream): messages read one at a time,
// checked as igtl_decode checks them, with every wait bounded.
#pragma once

#include <memory>
#include <vector>

#include <wx/string.h>

#include "igtl_decode.h"

// Why next() failed when the far end hung up, rather than sent something unreadable.
inline constexpr const char* igtl_closed_text = "the server closed the connection";

class igtl_client_t {
public:
    igtl_client_t();
    ~igtl_client_t();
    igtl_client_t(const igtl_client_t&) = delete;
    igtl_client_t& operator=(const igtl_client_t&) = delete;

    // False when nothing answers there, with the reason logged unless `quiet`.
    bool connect(const wxString& host, int port, int timeout_ms, bool quiet = false);
    // The next message; `none` when none began within `timeout_ms`. A message
    // once begun is waited for up to five seconds more. `bad` with *why for a
    // closed connection, a message cut off or one that does not read (after
    // which the stream cannot be trusted: the caller disconnects).
    igtl_body_t next(igtl_message_t* out, int timeout_ms, wxString* why);
    void close();

private:
    bool read(void* data, std::size_t length, wxString* why);
    struct socket_t;
    std::unique_ptr<socket_t> socket_;
    std::vector<unsigned char> body_;
};

// What an OpenIGTLink server (a tracked-ultrasound server on the scanner's PC,
// or kestrane-tool stream) sends, received on a thread of its own so that a
// slow or silent server never holds up the main loop. The image source and
// the tracker driver of one server share one connection: the server sends
// frames and poses together. The connection is made again after it drops.
//
// Messages are stamped by the server's clock; they are moved onto this
// program's clock by the smallest gap seen between a stamp and its arrival,
// so that frames and poses keep the server's timing relative to each other.
// That gap is learnt over the first second (at most 50 messages) of a
// server's clock, and nothing is passed on before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/string.h>

#include "igtl_messages.h"

// "host:port" with a port of 1 to 65535; false for anything else.
bool parse_igtl_address(const wxString& text, wxString* host, int* port);

class igtl_receiver_t {
public:
    using clock_t = std::function<std::uint64_t()>;  // master-clock ticks (100 ns)

    struct frame_t {
        igtl_image_t image;
        std::uint64_t time = 0;  // master-clock ticks
    };
    struct pose_t {
        matrix16d world;  // cm
        std::uint64_t time = 0;
    };
    struct status_t {
        bool connected = false;
        wxString problem;                               // why the last connection failed or ended
        std::uint64_t frames = 0, poses = 0;            // received and kept
        std::uint64_t frames_lost = 0, poses_lost = 0;  // dropped from full queues
        std::uint64_t unreadable = 0;                   // messages that broke a connection
        std::uint64_t skipped = 0;                      // not passed on while the clock was learnt
        std::uint64_t attempts = 0;                     // to connect, successful or not
    };

    // The receiver of that server, shared while anything holds it.
    static std::shared_ptr<igtl_receiver_t> shared(const wxString& host, int port, clock_t clock);

    igtl_receiver_t(const wxString& host, int port, clock_t clock);
    ~igtl_receiver_t();
    igtl_receiver_t(const igtl_receiver_t&) = delete;
    igtl_receiver_t& operator=(const igtl_receiver_t&) = delete;

    // Which messages are kept: images while asked for, poses of one TRANSFORM
    // name (empty: none). Nothing piles up that nobody takes.
    void want_images(bool wanted);
    void want_poses(const std::string& device);

    // What came since the last call, oldest first.
    std::vector<frame_t> take_frames();
    std::vector<pose_t> take_poses();
    status_t status() const;
    wxString address() const { return wxString::Format("%s:%d", host_, port_); }

    // Queue limits: a frame is large, and only the newest few are of use.
    static constexpr std::size_t frame_limit = 8;
    static constexpr std::size_t pose_limit = 1024;

private:
    // Shared with the reader thread, which a connection attempt to an
    // unreachable host can hold up for long: it is let go rather than waited for.
    struct state_t;
    static void run(const std::shared_ptr<state_t>& state);

    const wxString host_;
    const int port_;
    std::shared_ptr<state_t> state_;
};

// One tracker's protocol over a serial line: how to find it, how to ask for
// a pose and how to read the answer. Drivers know nothing of resources or
// time stamps; posinfo owns the line, the polling and the publication.
#pragma once

#include <cstdint>
#include <optional>

#include <wx/image.h>
#include <wx/string.h>

#include "acquisition/sensor_volume.h"
#include "common/pos_stat.h"
#include "resources/resource_value_types.h"

class serial_t;
class interaction_t;

// What detection asks for.
struct tracker_config_t {
    long speed = 38400;                  // line speed for tracking
    pos_detect_t detect = POS_DETECT_AUTO;
    int tool = 0;                        // polaris_port_t code of the probe tool (and reference)
    int pointer = 0;                     // polaris_port_t code of the pointer
    wxString exec_dir = ".";             // where tool definition files live
    wxString server;                     // OpenIGTLink: host:port of the server
    wxString probe_device;               // OpenIGTLink: name of the probe's TRANSFORM
};

// Which samples have listeners; a driver may skip decoding the others.
struct tracker_wanted_t {
    bool probe = true;
    bool pointer = true;
};

// The outcome of reading one reply.
struct tracker_reply_t {
    bool received = false;      // a reply was consumed: the next request may be sent
    bool probe = false;         // the reply delivers a probe sample
    bool pointer = false;       // the reply delivers a pointer sample
    pos_state_t probe_state = POS_VALID;
    pos_state_t pointer_state = POS_VALID;
    float probe_pose[6] = {};   // meaningful unless probe_state is POS_MISSING
    float pointer_pose[6] = {};
    std::uint64_t time = 0;     // when set, the sample's own time (master ticks) rather than the request's
};

// A change of the status-bar alert line.
struct alert_line_t {
    wxString text;
    alert_t colour = ALERT_NORMAL;
};

class tracker_driver_t {
public:
    virtual ~tracker_driver_t() = default;

    virtual sensor_t kind() const = 0;
    // Finds and initialises the tracker on an open line. The line is at
    // config.speed, 8N1, no terminator, when called; Polaris sets its own.
    virtual bool probe(serial_t& line, const tracker_config_t& config, interaction_t& ui) = 0;
    // Sends one request for a pose.
    virtual bool ask(serial_t& line) = 0;
    // Reads the reply to the outstanding request, waiting up to 0.1 s when
    // wait is set.
    virtual tracker_reply_t read_reply(serial_t& line, bool wait, const tracker_wanted_t& wanted) = 0;
    // The lines of the "Position sensor status" report for this tracker.
    virtual wxString status_report(serial_t& line, interaction_t& ui) = 0;
    // The image made by the last status_report; none by default.
    virtual wxImage status_image() const { return {}; }
    // Called before the line closes.
    virtual void shut_down(serial_t&) {}

    virtual sensor_volume_t volume() const = 0;
    // Set after detection: does the tracker deliver a pointer?
    virtual bool has_pointer() const { return false; }
    // Silence after which a lost reply is given up and the request re-sent.
    virtual std::uint64_t watchdog_ticks() const { return 5000000; }  // 0.5 s
    // Least time between requests; a tracker that sends by itself wants none.
    virtual std::uint64_t poll_gap_ticks() const { return 200000; }  // 20 ms
    // More samples are waiting after the one just read (trackers that send by themselves).
    virtual bool has_more() const { return false; }
    // An alert line to show, once per change (the Polaris keeps one).
    virtual std::optional<alert_line_t> take_alert() { return std::nullopt; }
    // The alert line as it stands, to show again after something else replaced it.
    virtual std::optional<alert_line_t> alert_now() const { return std::nullopt; }
};

// Value types held by resources of a type of their own. The enumerations are
// stored in files as numbers, so their values are fixed. Types whose owners
// are not written yet are declared here in their simplest form.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <wx/filename.h>
#include <wx/string.h>

#include "common/live_stat.h"
#include "common/pos_stat.h"
#include "common/vid_stat.h"
#include "recording_data.h"

// Kind of position sensor found.
enum sensor_t : std::int32_t {
    SENSOR_NONE = 0,
    SENSOR_FASTRAK = 1,
    SENSOR_ASCENSION = 2,
    SENSOR_POLARIS = 3,
    SENSOR_LIBERTY = 4,
    SENSOR_OPTITRACK = 6,
    SENSOR_OPENIGTLINK = 7,  // poses from an OpenIGTLink server
};

// Kind of position sensor sought.
enum pos_detect_t : std::int32_t {
    POS_DETECT_AUTO = 0,
    POS_DETECT_FASTRAK,
    POS_DETECT_PATRIOT,
    POS_DETECT_FLOCK,
    POS_DETECT_MINI,
    POS_DETECT_LASER,
    POS_DETECT_POLARIS,
    POS_DETECT_OPTITRACK,
    POS_DETECT_STAR,
    POS_DETECT_OPENIGTLINK,  // never sought automatically: it is a network server, not a serial device
};

// Tracker tool selection: 1-3 tools 1-3, 4-9 one tool relative to another,
// 10-16 tools 4-10.
enum polaris_port_t : std::int32_t { POLARIS_PORT_NONE = 0 };

// Colour of the status-bar alert line.
enum alert_t : std::int32_t { ALERT_NORMAL = 0, ALERT_WARNING = 1, ALERT_ERROR = 2 };

// Analogue video standard of a capture input.
enum video_standard_t : std::int32_t { VIDEO_PAL = 0, VIDEO_NTSC = 1, VIDEO_PAL_43 = 2, VIDEO_NTSC_43 = 3 };

// Simple records published or selected through resources.
struct tool_selection_t {
    std::int32_t tool = 0;
    bool operator==(const tool_selection_t&) const = default;
};
struct scale_point_pos_t {
    double x = 0.0, y = 0.0;
    std::int32_t point = 0;
    bool operator==(const scale_point_pos_t&) const = default;
};
struct calipers_t {
    double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
};
struct vid_card_list_t {
    wxString name;
    std::int32_t kind = 0;
    std::int32_t device = 0;
};
struct utx_preset_t {
    wxString name;
};
struct ulaop_sequence_t {
    wxString name;
};

// Records and engines whose owners define them; resources hold them through
// shared pointers, so the table needs only their names.
struct sensor_volume_t;
class reslice_info;
class panorama_internals;
class calib_internals;
class image_correlation;
class surface_interp;
class thickness;
class fit_model;
class wrl_object;

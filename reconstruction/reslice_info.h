// The reslice windows as the rest of the program sees them: for each of the
// five windows its settings and the reslice open in it. RES_RESLICE holds one
// such record for the whole run; it is updated in place and the resource is
// announced again after every change, so its listeners run.
#pragma once

#include <array>
#include <vector>

#include "display/render_resolution.h"
#include "reslice_default.h"
#include "reslice_geometry.h"

class globcmap_t;
class reslice_internals;

// Windows 0 (main reslice), 1 and 2 (orthogonal planes), 3 (sweep), 4 (isocentre).
inline constexpr int reslice_window_count = 5;

class reslice_info {
public:
    struct window_t {
        reslice_settings settings;            // the last known, kept while the window is closed
        reslice_internals* active = nullptr;  // not owned; null while the window is not open
        int views = 0;                        // views showing it: the window closes with the last
    };
    std::array<window_t, reslice_window_count> windows;

    bool open(int window) const;
    // The open windows' rendering work, for the colour map's divisor.
    std::vector<reslice_load_t> loads() const;
    // The reslice whose plane defines an exported volume: the isocentre
    // window when open, else the first open of windows 0, 1 and 2.
    reslice_internals* export_view() const;
};

// Publication through RES_RESLICE. Without a resource table these do nothing.

// The published record; null before any window opened.
const reslice_info* published_reslice_info();
// A view starts showing `reslice` in its window.
void open_reslice_window(reslice_internals& reslice);
// A view stops showing `reslice` (open in `window`). Only compares the
// pointer: the reslice may be gone already.
void close_reslice_window(const reslice_internals* reslice, int window);
// `reslice` is going away: its window closes whatever views still show it.
void forget_reslice_window(const reslice_internals* reslice, int window);
// Records the settings of `reslice` when it is the one open in its window.
void reslice_settings_changed(const reslice_internals& reslice);

// The loads of the published open windows.
std::vector<reslice_load_t> published_reslice_loads();
// Makes the colour map's rendering divisor follow the published windows.
void use_published_reslice_loads(globcmap_t& map);

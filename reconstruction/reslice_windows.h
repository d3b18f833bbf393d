// The session's five reslice windows as the program and its scripts share
// them: each window's reslice, whether its plane has been placed on the data
// held, where it was placed, and how far its view is zoomed. The program's
// window installs its own (whose changes also redraw the views); without a
// window a plain set serves, so scripts move and save reslices headless.
#pragma once

#include <array>

#include <wx/string.h>

#include "display/view_limits.h"
#include "reslice_info.h"
#include "reslice_internals.h"

class reslice_windows_t {
public:
    reslice_windows_t() = default;
    reslice_windows_t(const reslice_windows_t&) = delete;
    reslice_windows_t& operator=(const reslice_windows_t&) = delete;
    virtual ~reslice_windows_t();  // their windows close in RES_RESLICE

    // One per window number. Whoever loads new data clears `placed`: every plane starts afresh.
    std::array<reslice_internals, reslice_window_count> reslices{
        reslice_internals(0), reslice_internals(1), reslice_internals(2), reslice_internals(3), reslice_internals(4)};
    std::array<bool, reslice_window_count> placed{};
    std::array<reslice_settings, reslice_window_count> placed_at{};          // the plane as last placed
    std::array<double, reslice_window_count> zoom{1.0, 1.0, 1.0, 1.0, 1.0};  // of each window's view

    // Puts window w's plane where it starts: window 0 the least-voxel plane
    // of the data, windows 1 and 2 across the current frame, windows 3 and 4
    // their default planes (along a sweep, in the isocentre frame). False
    // when the data held cannot place it.
    bool place(int window);
    // Places window w unless it is placed already.
    bool ensure_placed(int window);
    // Window w's settings changed: publishes them and announces the window's
    // new image (RES_REDISPLAY_RESLICE0 to 4).
    virtual void changed(int window);

    // What a script's run starts from and each of its files returns to.
    struct state_t {
        std::array<bool, reslice_window_count> placed{};
        std::array<reslice_settings, reslice_window_count> settings{}, placed_at{};
        std::array<double, reslice_window_count> zoom{};
    };
    state_t state() const;
    void restore(const state_t& state);
};

// The windows installed (the program's), or else a plain set of the session's own.
reslice_windows_t& session_reslice_windows();
// The program's windows from now on; null goes back to the plain set.
void install_reslice_windows(reslice_windows_t* windows);

// Tells the views that window w has a new image (RES_REDISPLAY_RESLICE0 to 4).
void announce_reslice_built(int window);

// Writes the reslice image as the views show it, top row first, through the
// colour map: PNG, JPEG, BMP, TIFF or PPM by the extension. False, with the
// reason logged, on failure.
bool save_reslice_image(const reslice_internals& reslice, const wxString& path);

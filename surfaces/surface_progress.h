// One progress dialog over the surfaces of an "Update" or "Update all",
// answering often enough that Cancel is felt at once even on fine grids.
#pragma once

#include <chrono>
#include <functional>

#include <wx/string.h>

#include "segmentation/outline_model.h"

class surface_progress_t {
public:
    using clock_fn = std::function<std::chrono::steady_clock::time_point()>;

    // Opens "Re-calculating Surfaces" over `total_planes` outlined frames.
    explicit surface_progress_t(long total_planes, clock_fn clock = std::chrono::steady_clock::now);
    ~surface_progress_t();
    surface_progress_t(const surface_progress_t&) = delete;
    surface_progress_t& operator=(const surface_progress_t&) = delete;

    void begin_object(const wxString& name, long planes);
    // A pair of planes interpolated: shown at once. False once the user cancels.
    bool plane_done(long points, long triangles);
    // Within the work on a plane: shown when a tenth of a second has passed
    // since the dialog was last updated. False once the user cancels.
    bool still_working(long points, long triangles);
    // Counts the rest of the object's planes as done.
    void end_object();
    bool cancelled() const { return cancelled_; }

private:
    bool show(long points, long triangles);

    clock_fn clock_;
    long total_ = 0, done_ = 0, object_end_ = 0;
    wxString name_;
    std::chrono::steady_clock::time_point last_;
    bool cancelled_ = false;
};

// The frames of an object that hold outlines: the dialog's unit of work.
long outlined_frames(const contour_object& object);

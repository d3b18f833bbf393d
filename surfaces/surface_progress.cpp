#include "surface_progress.h"

#include <algorithm>
#include <climits>

#include "common/interaction.h"

namespace {

// Well under the quarter second within which the dialog must answer.
constexpr auto update_interval = std::chrono::milliseconds(100);

int clamp_int(long v) { return static_cast<int>(std::clamp<long>(v, 0, INT_MAX)); }

}  // namespace

surface_progress_t::surface_progress_t(long total_planes, clock_fn clock)
    : clock_(std::move(clock)), total_(std::max(1L, total_planes))
{
    interaction().progress_begin("Re-calculating Surfaces", "Currently calculating surface of", clamp_int(total_));
    last_ = clock_();
}

surface_progress_t::~surface_progress_t() { interaction().progress_end(); }

void surface_progress_t::begin_object(const wxString& name, long planes)
{
    name_ = name;
    object_end_ = std::min(total_, done_ + std::max(0L, planes));
    show(0, 0);
}

bool surface_progress_t::plane_done(long points, long triangles)
{
    done_ = std::min(done_ + 1, object_end_);
    return show(points, triangles);
}

bool surface_progress_t::still_working(long points, long triangles)
{
    if (cancelled_)
        return false;
    if (clock_() - last_ < update_interval)
        return true;
    return show(points, triangles);
}

void surface_progress_t::end_object() { done_ = object_end_; }

bool surface_progress_t::show(long points, long triangles)
{
    last_ = clock_();
    const wxString message =
        "Currently calculating surface of " + name_ +
        wxString::Format("\nOn contour %li of %li (%li points, %li triangles so far)", done_, total_, points, triangles);
    if (!interaction().progress_update(clamp_int(done_), message))
        cancelled_ = true;
    return !cancelled_;
}

long outlined_frames(const contour_object& object)
{
    return static_cast<long>(std::count_if(object.sets.begin(), object.sets.end(),
                                           [](const contour_set& s) { return !s.contours.empty(); }));
}

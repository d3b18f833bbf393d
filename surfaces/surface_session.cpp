#include "surface_session.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "resources/resource_table.h"
#include "surfaces/curve_session.h"
#include "surfaces/surface_progress.h"

surface_settings_t surface_settings_from_session(int resolution_step, int smooth_type, int smooth_strength)
{
    surface_settings_t s;
    s.resolution = resolution_step;
    s.smooth_type = smooth_type == 1 ? 1 : 0;
    s.smooth_strength = smooth_strength;
    s.connect = (res->RES_SURFACE_CONNECT_OBJECTS->value() ? 1 : 0) | (res->RES_SURFACE_CONNECT_HOLES->value() ? 2 : 0);
    s.cover = res->RES_SURFACE_COVER->value();
    return s;
}

surface_update_t update_surfaces(const surface_settings_t& settings, int object)
{
    surface_update_t result;
    const std::shared_ptr<object_table> table = res->RES_OBJECT->value();
    if (!table)
        return result;
    const int first = object < 0 ? 0 : object;
    const int last = object < 0 ? std::min(object_table::size, resource_t::surface_slots) - 1 : object;
    if (first >= object_table::size || last >= resource_t::surface_slots)
        return result;
    long planes = 0;
    for (int i = first; i <= last; ++i)
        planes += outlined_frames((*table)[i]);
    const frame_placements placements = placements_from_session();
    auto marks = std::make_shared<landmarks>(res->RES_LANDMARKS->value() ? *res->RES_LANDMARKS->value() : landmarks{});
    const std::size_t marks_before = marks->list.size();
    // Written only once all are built: Cancel keeps every surface as it was.
    std::vector<std::pair<int, std::shared_ptr<surface_interp>>> made;
    {
        surface_progress_t progress(planes);
        for (int i = first; i <= last && !progress.cancelled(); ++i) {
            const contour_object& o = (*table)[i];
            if (!o.has_outlines())
                continue;
            std::shared_ptr<surface_interp> surface = surface_interp::build(o, i, placements, settings, marks.get(), &progress);
            // A failed or cancelled build keeps the surface there was.
            if (!surface || !(surface->volume > 0.0)) {
                if (!progress.cancelled())
                    result.failed.push_back(i);
                continue;
            }
            made.emplace_back(i, std::move(surface));
        }
        result.cancelled = progress.cancelled();
    }
    if (result.cancelled)
        return result;
    for (auto& [i, surface] : made) {
        res->RES_SURFACE[static_cast<std::size_t>(i)]->write(surface);
        result.built.push_back(i);
    }
    reattach_session_curves(result.built);  // curves stay on the surface they were drawn on
    if (marks->list.size() != marks_before)
        res->RES_LANDMARKS->write(marks);
    return result;
}

#include "outline_model.h"

#include <algorithm>
#include <cmath>

double to_file_grid(double v)
{
    const double r = std::round(v * 100.0) / 100.0;
    return std::isfinite(r) ? r : v;
}

contour_set& contour_object::set_for_frame(std::int32_t frame)
{
    auto it = std::lower_bound(sets.begin(), sets.end(), frame,
                               [](const contour_set& s, std::int32_t f) { return s.frame < f; });
    if (it != sets.end() && it->frame == frame)
        return *it;
    contour_set fresh;
    fresh.frame = frame;
    return *sets.insert(it, std::move(fresh));
}

contour_set* contour_object::find_set(std::int32_t frame)
{
    auto it = std::lower_bound(sets.begin(), sets.end(), frame,
                               [](const contour_set& s, std::int32_t f) { return s.frame < f; });
    return it != sets.end() && it->frame == frame ? &*it : nullptr;
}

bool contour_object::has_outlines() const
{
    return std::any_of(sets.begin(), sets.end(), [](const contour_set& s) { return !s.contours.empty(); });
}

bool contour_object::insert(std::int32_t frame, contour c)
{
    for (vertex2d& p : c.points)
        p = {to_file_grid(p.x), to_file_grid(p.y)};
    if (const contour_set* s = find_set(frame))
        for (const contour& o : s->contours)
            if (o.closed == c.closed && o.points == c.points)
                return false;  // a repeated click would cancel or double the area
    contour_set& set = set_for_frame(frame);
    set.contours.push_back(std::move(c));
    set.area = -1.0;
    return true;
}

void contour_object::remove_empty_sets()
{
    std::erase_if(sets, [](const contour_set& s) { return s.contours.empty(); });
}

void contour_object::clear()
{
    sets.clear();
    volume = 0.0;
    opacity = 1.0;
    solid = true;
}

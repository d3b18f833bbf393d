#include "recording_data.h"

#include <algorithm>

object_table::object_table()
{
    for (int i = 0; i < size; ++i)
        reset(i);
}

wxString object_table::default_name(int i)
{
    return wxString::Format("Object %i", i);
}

rgb_t object_table::default_colour(int i)
{
    static const double base[6][3] = {{1.0, 1.0, 0.2}, {0.2, 1.0, 0.0}, {0.1, 0.7, 1.0},
                                      {0.4, 0.3, 1.0}, {0.9, 0.1, 0.2}, {1.0, 0.5, 0.0}};
    static const double scale[5] = {1.0, 0.4, 0.7, 0.7, 0.4};
    static const double offset[5] = {0.0, 0.6, 0.0, 0.3, 0.0};
    const int h = i % 6, s = (i / 6) % 5;
    auto channel = [&](int c) { return static_cast<std::uint8_t>((scale[s] * base[h][c] + offset[s]) * 255.0); };
    return {channel(0), channel(1), channel(2)};
}

void object_table::blank_all()
{
    for (int i = 0; i < size; ++i)
        reset(i);
}

void object_table::reset(int i)
{
    contour_object& o = objects_[static_cast<std::size_t>(i)];
    o = contour_object{};
    o.name = default_name(i);
    o.colour = default_colour(i);
}

void object_table::keep_frames(const std::vector<char>& keep)
{
    // New number of each kept frame; -1 for dropped ones.
    std::vector<std::int32_t> renumber(keep.size(), -1);
    std::int32_t next = 0;
    for (std::size_t f = 0; f < keep.size(); ++f)
        if (keep[f])
            renumber[f] = next++;
    for (contour_object& o : objects_) {
        std::vector<contour_set> kept;
        for (contour_set& s : o.sets)
            if (s.frame >= 0 && static_cast<std::size_t>(s.frame) < keep.size() && renumber[s.frame] >= 0) {
                s.frame = renumber[s.frame];
                kept.push_back(std::move(s));
            }
        o.sets = std::move(kept);
    }
}

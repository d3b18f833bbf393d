// libFuzzer harness: arbitrary vertex lists (any finite coordinates, repeats,
// crossings, 0 to many points) through labelling, simplification, concavity,
// self-crossing repair, stroke finishing, split, merge and planimetry: no
// crash, no read outside a buffer, no endless loop, and no NaN or infinity in
// a measurement that claims to be usable.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "segmentation/outline_editing.h"
#include "segmentation/planimetry.h"
#include "fuzz_reader.h"

namespace {

// Mostly small coordinates on a coarse grid (so that repeats and collinear
// runs are common), now and then any finite double (large boxes are slow to
// label, so they stay rare enough for the run to explore).
double coordinate(reader_t& in)
{
    const auto kind = in.next<std::uint8_t>();
    if (kind < 246)
        return (static_cast<int>(in.next<std::uint8_t>()) - 64) * (kind % 4 == 0 ? 0.5 : 1.0);
    const double v = in.next<double>();
    return std::isfinite(v) ? v : 0.0;
}

contour read_contour(reader_t& in)
{
    contour c;
    const auto n = in.next<std::uint8_t>() % 40;
    c.closed = n % 2 == 0;
    for (int i = 0; i < n && in.size > 0; ++i)
        c.points.push_back({coordinate(in), coordinate(in)});
    return c;
}

void check_finite(double v)
{
    if (!std::isfinite(v))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    reader_t in{data, size};
    contour_object object;
    const auto frames = in.next<std::uint8_t>() % 6 + 1;
    for (std::int32_t f = 0; f < frames && in.size > 0; ++f)
        for (int k = in.next<std::uint8_t>() % 3; k >= 0; --k)
            object.set_for_frame(f).contours.push_back(read_contour(in));

    for (contour_set& set : object.sets) {
        contour_set copy = set;
        if (const auto labels = copy.region(in.next<std::uint8_t>() % 4, false)) {
            if (labels->labels.size() != static_cast<std::size_t>(labels->width) * labels->height)
                std::abort();
            for (std::int16_t v : labels->labels)
                if (v == 0)
                    std::abort();
        }
        if (copy.measured()) {
            check_finite(copy.area);
            check_finite(copy.centroid_x);
            check_finite(copy.centroid_y);
        }
        copy.perimeter(1.0);
        copy.make_simple(in.next<std::uint8_t>() / 64.0, false);
        for (contour& c : copy.contours) {
            contour simplified = c;
            simplified.simplify(in.next<std::uint8_t>() / 32.0);
            c.update_concave();
            if (c.concavity.size() != c.points.size())
                std::abort();
            remove_highlighted_concavities(c);
        }
        const vertex2d p{coordinate(in), coordinate(in)};
        if (const auto pick = pick_contour(copy, p, in.next<std::uint8_t>() % 8))
            split_contour(copy, *pick, 2.0);
        merge_contours(copy, p, in.next<std::uint8_t>() % 8);
        delete_contours_inside(copy, in.next<std::uint8_t>() % 4);
        if (!set.contours.empty()) {
            draw_tolerances t;
            t.pick = in.next<std::uint8_t>() % 10;
            t.simplify = in.next<std::uint8_t>() / 50.0;
            finish_stroke(set.contours.front(), t, in.next<std::uint8_t>() % 300, in.next<std::uint8_t>() % 300);
        }
    }

    frame_placements placements;
    placements.sx = 0.01 * (in.next<std::uint8_t>() % 5);
    placements.sy = 0.01;
    for (int f = 0; f < frames; ++f) {
        frame_placement p;
        p.usable = f != 2;
        p.sweep = f / 3;
        p.image_to_world.forward(0.1 * f, 0.0, 0.3 * f, 5.0 * f, 0.0, 0.0);
        placements.frames.push_back(p);
    }
    const double volume = planimetry_volume(object, placements);
    if (!(volume >= 0.0) || !std::isfinite(volume))
        std::abort();
    return 0;
}

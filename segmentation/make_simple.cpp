// Untangling outlines: a stroke that crosses itself, or a set holding
// repeated copies, would give surfaces and labels with no consistent inside.
#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "outline_model.h"
#include "planar_geometry.h"

namespace {

constexpr int max_passes = 64;

std::size_t segment_count(const contour& c)
{
    const std::size_t n = c.points.size();
    return n < 2 ? 0 : (c.closed ? n : n - 1);
}

// Whether segments a and b share a point (neighbours along the contour).
bool adjacent(const contour& c, std::size_t a, std::size_t b)
{
    const std::size_t n = c.points.size();
    return b == a + 1 || (c.closed && a == 0 && b == n - 1);
}

bool crossing(const contour& c, std::size_t a, std::size_t b, vertex2d* at)
{
    const std::size_t n = c.points.size();
    return segment_intersection(c.points[a], c.points[(a + 1) % n], c.points[b], c.points[(b + 1) % n], at);
}

}  // namespace

bool contour::crosses_itself() const
{
    // Segments in order of their left ends, each tested only against those
    // still open to its right whose boxes it meets: near linear for an
    // outline, and the same answer as testing every pair, since segments
    // whose boxes lie apart by more than the parallel tolerance never meet.
    constexpr double reach = 0.05;
    const std::size_t segments = segment_count(*this), n = points.size();
    struct box_t {
        double x0, x1, y0, y1;
        std::size_t index;
    };
    std::vector<box_t> boxes(segments);
    for (std::size_t k = 0; k < segments; ++k) {
        const vertex2d& p = points[k];
        const vertex2d& q = points[(k + 1) % n];
        boxes[k] = {std::min(p.x, q.x) - reach, std::max(p.x, q.x) + reach, std::min(p.y, q.y) - reach,
                    std::max(p.y, q.y) + reach, k};
    }
    std::sort(boxes.begin(), boxes.end(), [](const box_t& a, const box_t& b) { return a.x0 < b.x0; });
    std::vector<const box_t*> open;
    vertex2d at;
    for (const box_t& b : boxes) {
        std::erase_if(open, [&](const box_t* o) { return o->x1 < b.x0; });
        for (const box_t* o : open) {
            if (o->y1 < b.y0 || b.y1 < o->y0)
                continue;
            const std::size_t lo = std::min(o->index, b.index), hi = std::max(o->index, b.index);
            if (hi >= lo + 2 && !adjacent(*this, lo, hi) && crossing(*this, lo, hi, &at))
                return true;
        }
        open.push_back(&b);
    }
    return false;
}

namespace {

// A point whose neighbours both lie back along one line is a spike of no
// area; dropping it keeps the region and removes a fold no crossing test sees.
bool remove_spikes(contour& c)
{
    bool removed = false;
    for (std::size_t k = 0; c.points.size() > 3 && k < c.points.size();) {
        const std::size_t n = c.points.size();
        if (!c.closed && (k == 0 || k == n - 1)) {
            ++k;
            continue;
        }
        const vertex2d& v = c.points[k];
        const vertex2d& before = c.points[(k + n - 1) % n];
        const vertex2d& after = c.points[(k + 1) % n];
        vertex2d nearer;
        if (segment_parallel(v, before, after, &nearer) && dot(before - v, after - v) > 0.0) {
            c.points.erase(c.points.begin() + static_cast<std::ptrdiff_t>(k));
            removed = true;
        } else {
            ++k;
        }
    }
    return removed;
}

}  // namespace

int contour::make_simple()
{
    if (points.size() < 4)
        return 0;
    bool moved = remove_spikes(*this);
    for (int pass = 0; pass < max_passes && crosses_itself(); ++pass) {
        bool found = false;
        const std::size_t segments = segment_count(*this);
        const std::size_t n = points.size();
        for (std::size_t a = 0; a < segments; ++a)
            for (std::size_t b = a + 2; b < segments; ++b) {
                vertex2d at;
                if (adjacent(*this, a, b) || !crossing(*this, a, b, &at))
                    continue;
                found = true;
                if (b == a + 2) {
                    // A small twist over one segment: both its ends move just past the crossing.
                    for (std::size_t k : {a + 1, a + 2}) {
                        vertex2d& v = points[k % n];
                        v = 1.05 * at - 0.05 * v;
                    }
                } else {
                    // Reversing the run between the two segments swaps their far
                    // ends: the crossing goes and the outline gets shorter, so
                    // repeated passes settle.
                    std::reverse(points.begin() + static_cast<std::ptrdiff_t>(a + 1),
                                 points.begin() + static_cast<std::ptrdiff_t>(b + 1));
                }
            }
        if (!found)
            break;
        moved = true;
    }
    if (moved)
        concavity.clear();
    return (moved ? 1 : 0) | (crosses_itself() ? 2 : 0);
}

int contour_set::make_simple(double tolerance, bool report)
{
    int changed = 0;
    std::vector<contour> kept;
    for (contour& c : contours) {
        const std::vector<vertex2d> before = c.points;
        const int result = c.make_simple();
        if (tolerance > 0.0)
            c.simplify(tolerance);
        if (report && (result & 2))
            wxLogWarning("Outline on frame %d still crosses itself after repair.", int(frame));
        const bool usable = c.points.size() >= 3 && c.centroid_and_area(nullptr) != 0.0;
        const bool repeated = std::any_of(kept.begin(), kept.end(), [&](const contour& k) {
            return k.points == c.points;
        });
        if (!usable || repeated) {
            if (report)
                wxLogMessage("Removed %s outline on frame %d.", repeated ? "a repeated" : "an empty", int(frame));
            ++changed;
            continue;
        }
        if (c.points != before)
            ++changed;
        kept.push_back(std::move(c));
    }
    contours = std::move(kept);
    if (changed)
        area = -1.0;
    return changed;
}

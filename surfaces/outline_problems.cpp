// Finding the crossings that outline repair could not remove.
#include "outline_problems.h"

namespace {

std::size_t segments(const contour& c)
{
    if (c.points.size() < 2)
        return 0;
    return c.closed ? c.points.size() : c.points.size() - 1;
}

const vertex2d& end_of(const contour& c, std::size_t segment) { return c.points[(segment + 1) % c.points.size()]; }

}  // namespace

bool first_self_crossing(const contour& c, vertex2d* at)
{
    if (!c.crosses_itself())
        return false;  // the common case, found without testing every pair
    const std::size_t n = segments(c);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = a + 2; b < n; ++b) {
            if (c.closed && a == 0 && b == n - 1)
                continue;  // the closing segment meets the first
            if (segment_intersection(c.points[a], end_of(c, a), c.points[b], end_of(c, b), at))
                return true;
        }
    return false;
}

bool first_crossing(const contour& first, const contour& second, vertex2d* at)
{
    const std::size_t n = segments(first), m = segments(second);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < m; ++b)
            if (segment_intersection(first.points[a], end_of(first, a), second.points[b], end_of(second, b), at))
                return true;
    return false;
}

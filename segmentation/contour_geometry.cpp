// Planar geometry of single contours: picking, closing a stroke, containment,
// area, centroid, perimeter and simplification.
#include <algorithm>
#include <cmath>

#include "outline_model.h"
#include "planar_geometry.h"

namespace {
constexpr double parallel_meeting_squared = 0.0025;  // ends within 0.05 pixel
constexpr double collinear_cross = 0.0001;
}  // namespace

double distance_to_segment(const vertex2d& p, const vertex2d& a, const vertex2d& b)
{
    const vertex2d ab = b - a;
    const double length_squared = dot(ab, ab);
    if (length_squared == 0.0)
        return std::sqrt(distance_squared(p, a));
    const double t = std::clamp(dot(p - a, ab) / length_squared, 0.0, 1.0);
    return std::sqrt(distance_squared(p, a + t * ab));
}

bool segment_intersection(const vertex2d& a, const vertex2d& b, const vertex2d& c, const vertex2d& d,
                          vertex2d* out)
{
    const vertex2d r = b - a, s = d - c;
    const double denominator = cross(r, s);
    if (denominator == 0.0) {
        if (distance_squared(a, c) < parallel_meeting_squared && distance_squared(b, d) < parallel_meeting_squared) {
            *out = a;
            return true;
        }
        if (distance_squared(b, c) < parallel_meeting_squared && distance_squared(a, d) < parallel_meeting_squared) {
            *out = b;
            return true;
        }
        return false;
    }
    const vertex2d ac = c - a;
    const double t = cross(ac, s) / denominator;
    const double u = cross(ac, r) / denominator;
    if (!(t > 0.0 && t < 1.0 && u > 0.0 && u < 1.0))
        return false;
    *out = a + t * r;
    return true;
}

bool segment_parallel(const vertex2d& a, const vertex2d& b, const vertex2d& c, vertex2d* out)
{
    if (std::fabs(cross(c - a, b - a)) >= collinear_cross)
        return false;
    *out = distance_squared(a, c) > distance_squared(a, b) ? b : c;
    return true;
}

int contour::close_to_segment(const vertex2d& p, std::size_t i, std::size_t j, double d) const
{
    const vertex2d& a = points[i];
    const vertex2d& b = points[j];
    const double d2 = d * d;
    if (distance_squared(p, a) <= d2)
        return 1;
    if (distance_squared(p, b) <= d2)
        return 2;
    const vertex2d ab = b - a;
    const double length_squared = dot(ab, ab);
    if (length_squared == 0.0)
        return 0;  // coincident ends: nothing between them to touch
    const double t = dot(p - a, ab) / length_squared;
    if (t <= 0.0 || t >= 1.0)
        return 0;
    return std::fabs(cross(ab, p - a)) / std::sqrt(length_squared) <= d ? 3 : 0;
}

namespace {

// Walks the segments in order, the closing one only when closed; `skip`
// names a point whose segments are left out (none when out of range).
bool touch(const contour& c, const vertex2d& p, std::size_t skip, std::size_t* i, std::size_t* j, double d)
{
    const std::size_t n = c.points.size();
    if (n < 2)
        return false;
    const std::size_t segments = c.closed ? n : n - 1;
    for (std::size_t k = 0; k < segments; ++k) {
        const std::size_t next = (k + 1) % n;
        if (k == skip || next == skip)
            continue;
        switch (c.close_to_segment(p, k, next, d)) {
        case 1:
            *i = *j = k;
            return true;
        case 2:
            *i = *j = next;
            return true;
        case 3:
            *i = k;
            *j = next;
            return true;
        default:
            break;
        }
    }
    return false;
}

}  // namespace

bool contour::close(const vertex2d& p, std::size_t* i, std::size_t* j, double d) const
{
    return touch(*this, p, points.size(), i, j, d);
}

bool contour::close(std::size_t point, std::size_t* i, std::size_t* j, double d) const
{
    if (point >= points.size())
        return false;
    return touch(*this, points[point], point, i, j, d);
}

bool contour::finish(const vertex2d& p, double d)
{
    std::size_t i = 0, j = 0;
    if (!close(p, &i, &j, d))
        return false;
    const std::size_t n = points.size();
    if (i >= n / 2)
        return false;
    // The pen must have left the touched place before coming back to it.
    const bool moved_away = std::any_of(points.begin() + static_cast<std::ptrdiff_t>(j), points.end(),
                                        [&](const vertex2d& q) { return distance_squared(q, p) > d * d; });
    if (!moved_away)
        return false;
    // Between two points the first lies before the touched place; on a point it stays.
    const std::size_t first_kept = i == j ? i : j;
    points.erase(points.begin(), points.begin() + static_cast<std::ptrdiff_t>(first_kept));
    closed = true;
    concavity.clear();
    return true;
}

bool contour::point_inside(const vertex2d& p) const
{
    const std::size_t n = points.size();
    if (n < 3)
        return false;
    bool inside = false;
    for (std::size_t i = 0, prev = n - 1; i < n; prev = i++) {
        const vertex2d& a = points[prev];
        const vertex2d& b = points[i];
        if ((b.y > p.y) != (a.y > p.y)) {
            const double x = a.x + (p.y - a.y) * (b.x - a.x) / (b.y - a.y);
            if (x > p.x)
                inside = !inside;
        }
    }
    return inside;
}

double contour::area() const
{
    const std::size_t n = points.size();
    if (n < 3)
        return 0.0;
    // Relative to the first point: outlines far from the origin keep their precision.
    const vertex2d o = points[0];
    double twice = 0.0;
    for (std::size_t i = 1; i < n; ++i)
        twice += cross(points[i - 1] - o, points[i] - o);
    if (closed)
        twice += cross(points[n - 1] - o, points[0] - o);
    return twice / 2.0;
}

double contour::centroid_and_area(vertex2d* centroid) const
{
    const std::size_t n = points.size();
    if (n < 3)
        return 0.0;
    const vertex2d o = points[0];
    double twice = 0.0, cx = 0.0, cy = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const vertex2d a = points[i] - o, b = points[(i + 1) % n] - o;
        const double w = cross(a, b);
        twice += w;
        cx += (a.x + b.x) * w;
        cy += (a.y + b.y) * w;
    }
    if (twice != 0.0 && centroid) {
        const vertex2d c{o.x + cx / (3.0 * twice), o.y + cy / (3.0 * twice)};
        if (std::isfinite(c.x) && std::isfinite(c.y))
            *centroid = c;
    }
    return twice / 2.0;
}

double contour::perimeter(double y_ratio) const
{
    const std::size_t n = points.size();
    if (n < 2)
        return 0.0;
    auto length = [&](const vertex2d& a, const vertex2d& b) { return std::hypot(b.x - a.x, (b.y - a.y) * y_ratio); };
    double sum = 0.0;
    for (std::size_t i = 1; i < n; ++i)
        sum += length(points[i - 1], points[i]);
    if (closed)
        sum += length(points[n - 1], points[0]);
    return sum;
}

double contour_set::perimeter(double y_ratio) const
{
    if (contours.empty())
        return -1.0;
    double sum = 0.0;
    for (const contour& c : contours)
        sum += c.perimeter(y_ratio);
    return sum;
}

void contour::simplify(double tolerance)
{
    const std::size_t n = points.size();
    if (!(tolerance > 0.0) || n < 3)
        return;
    const double t2 = tolerance * tolerance;
    // Index n stands for the first point again, closing the run of a closed contour.
    auto at = [&](std::size_t k) -> const vertex2d& { return points[k % n]; };
    std::size_t split = n - 1;
    if (closed) {
        double farthest = -1.0;
        for (std::size_t k = 1; k < n; ++k)
            if (const double d = distance_squared(points[k], points[0]); d > farthest) {
                farthest = d;
                split = k;
            }
    }
    std::vector<vertex2d> kept{points[0]};
    std::vector<std::size_t> pending{split};
    std::size_t anchor = 0;
    bool closing_run_done = !closed;
    for (;;) {
        while (!pending.empty()) {
            const std::size_t top = pending.back();
            double worst = -1.0;
            std::size_t worst_at = top;
            for (std::size_t k = anchor + 1; k < top; ++k)
                if (const double d = distance_to_segment(points[k], at(anchor), at(top)); d * d > worst) {
                    worst = d * d;
                    worst_at = k;
                }
            if (worst_at == top || worst < t2) {
                if (top < n)
                    kept.push_back(points[top]);
                anchor = top;
                pending.pop_back();
            } else {
                pending.push_back(worst_at);  // strictly between anchor and top: the run always ends
            }
        }
        if (closing_run_done)
            break;
        closing_run_done = true;
        pending.push_back(n);
    }
    points = std::move(kept);
    concavity.clear();
}

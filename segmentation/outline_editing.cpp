#include "outline_editing.h"

#include <algorithm>
#include <cmath>

#include "planar_geometry.h"

namespace {

// Sutherland-Hodgman against one side of the frame rectangle.
template <typename Inside, typename Cut>
std::vector<vertex2d> clip_side(const std::vector<vertex2d>& in, Inside inside, Cut cut)
{
    std::vector<vertex2d> out;
    for (std::size_t k = 0; k < in.size(); ++k) {
        const vertex2d& a = in[(k + in.size() - 1) % in.size()];
        const vertex2d& b = in[k];
        if (inside(b)) {
            if (!inside(a))
                out.push_back(cut(a, b));
            out.push_back(b);
        } else if (inside(a)) {
            out.push_back(cut(a, b));
        }
    }
    return out;
}

// Keeps the part of a closed outline on the frame: pixel centres at whole
// numbers, so the frame reaches half a pixel beyond the outer centres.
std::vector<vertex2d> clip_to_frame(std::vector<vertex2d> points, long w, long h)
{
    const double x0 = -0.5, y0 = -0.5, x1 = w - 0.5, y1 = h - 0.5;
    auto at_x = [](double x) {
        return [x](const vertex2d& a, const vertex2d& b) {
            return vertex2d{x, a.y + (x - a.x) * (b.y - a.y) / (b.x - a.x)};
        };
    };
    auto at_y = [](double y) {
        return [y](const vertex2d& a, const vertex2d& b) {
            return vertex2d{a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y), y};
        };
    };
    points = clip_side(points, [&](const vertex2d& p) { return p.x >= x0; }, at_x(x0));
    points = clip_side(points, [&](const vertex2d& p) { return p.x <= x1; }, at_x(x1));
    points = clip_side(points, [&](const vertex2d& p) { return p.y >= y0; }, at_y(y0));
    points = clip_side(points, [&](const vertex2d& p) { return p.y <= y1; }, at_y(y1));
    return points;
}

bool has_area(const contour& c)
{
    const double a = c.centroid_and_area(nullptr);
    return c.points.size() >= 3 && a != 0.0 && std::isfinite(a);
}

bool finite_points(const contour& c)
{
    return std::all_of(c.points.begin(), c.points.end(),
                       [](const vertex2d& p) { return std::isfinite(p.x) && std::isfinite(p.y); });
}

std::size_t nearest_point(const contour& c, const vertex2d& p)
{
    std::size_t best = 0;
    for (std::size_t k = 1; k < c.points.size(); ++k)
        if (distance_squared(c.points[k], p) < distance_squared(c.points[best], p))
            best = k;
    return best;
}

}  // namespace

draw_tolerances draw_tolerances_for(long mouse_sensitivity, long simplify_tenths, bool by_zoom, double zoom,
                                    bool segmented)
{
    if (!(zoom > 0.0) || !std::isfinite(zoom))
        zoom = 1.0;
    draw_tolerances t;
    t.pick = std::max(0.0, static_cast<double>(mouse_sensitivity)) / zoom;
    t.simplify = by_zoom ? (segmented ? 0.5 : 1.0) / zoom : std::max(0.0, simplify_tenths / 10.0);
    return t;
}

std::optional<contour> tidy_outline(contour c, double simplify, long frame_w, long frame_h)
{
    if (frame_w < 1 || frame_h < 1 || !finite_points(c))
        return std::nullopt;
    c.closed = true;
    c.simplify(simplify);
    c.points = clip_to_frame(std::move(c.points), frame_w, frame_h);
    // Clipping can leave repeated corners; they add nothing.
    c.points.erase(std::unique(c.points.begin(), c.points.end()), c.points.end());
    while (c.points.size() > 1 && c.points.front() == c.points.back())
        c.points.pop_back();
    if (!has_area(c))
        return std::nullopt;
    c.update_concave();
    return c;
}

std::optional<contour> finish_stroke(contour stroke, const draw_tolerances& t, long frame_w, long frame_h)
{
    if (stroke.points.size() < 3 || !finite_points(stroke))
        return std::nullopt;
    stroke.closed = false;
    const vertex2d end = stroke.points.back();
    if (stroke.finish(end, 2.0 * t.pick))
        stroke.points.pop_back();  // the end point lies on the start of the loop
    return tidy_outline(std::move(stroke), t.simplify, frame_w, frame_h);
}

std::optional<contour_pick> pick_contour(const contour_set& set, const vertex2d& p, double d)
{
    for (std::size_t k = 0; k < set.contours.size(); ++k) {
        contour_pick pick;
        pick.contour = k;
        if (set.contours[k].close(p, &pick.i, &pick.j, d))
            return pick;
    }
    return std::nullopt;
}

bool contour_inside(const contour& inner, const contour& outer)
{
    return !inner.points.empty() && std::all_of(inner.points.begin(), inner.points.end(),
                                                [&](const vertex2d& p) { return outer.point_inside(p); });
}

void move_contour(contour& c, double dx, double dy)
{
    for (vertex2d& p : c.points)
        p = {p.x + dx, p.y + dy};
}

bool split_contour(contour_set& set, const contour_pick& pick, double d)
{
    if (pick.contour >= set.contours.size())
        return false;
    const contour& c = set.contours[pick.contour];
    const std::size_t n = c.points.size();
    if (n < 6 || pick.i >= n)
        return false;
    // Where the outline comes back within d of the picked point after going
    // well away along itself (more than 3d of outline either way).
    const std::size_t a = pick.i;
    std::vector<double> along(n + 1, 0.0);  // outline length from a
    for (std::size_t k = 1; k <= n; ++k)
        along[k] = along[k - 1] + std::sqrt(distance_squared(c.points[(a + k - 1) % n], c.points[(a + k) % n]));
    const double total = along[n];
    std::size_t best = n;
    double best_distance = d * d;
    for (std::size_t k = 1; k < n; ++k) {
        if (along[k] <= 3.0 * d || total - along[k] <= 3.0 * d)
            continue;
        const double dd = distance_squared(c.points[(a + k) % n], c.points[a]);
        if (dd <= best_distance) {
            best_distance = dd;
            best = k;
        }
    }
    if (best == n)
        return false;
    contour first, second;
    for (std::size_t k = 0; k <= best; ++k)
        first.points.push_back(c.points[(a + k) % n]);
    for (std::size_t k = best; k <= n; ++k)
        second.points.push_back(c.points[(a + k) % n]);
    if (!has_area(first) || !has_area(second))
        return false;
    first.update_concave();
    second.update_concave();
    set.contours[pick.contour] = std::move(first);
    set.contours.push_back(std::move(second));
    set.area = -1.0;
    return true;
}

bool merge_contours(contour_set& set, const vertex2d& p, double d)
{
    std::vector<std::size_t> near;
    for (std::size_t k = 0; k < set.contours.size() && near.size() < 2; ++k) {
        std::size_t i, j;
        if (set.contours[k].close(p, &i, &j, d))
            near.push_back(k);
    }
    if (near.size() < 2)
        return false;
    const contour& a = set.contours[near[0]];
    const contour& b = set.contours[near[1]];
    const std::size_t ia = nearest_point(a, p), ib = nearest_point(b, p);
    // Round the first from its point nearest p, across to the second and round it.
    contour joined;
    for (std::size_t k = 0; k <= a.points.size(); ++k)
        joined.points.push_back(a.points[(ia + k) % a.points.size()]);
    // The second runs the opposite way to the first, so that the bridge's two
    // sides do not cross.
    const bool same_turn = (a.area() > 0.0) == (b.area() > 0.0);
    for (std::size_t k = 0; k <= b.points.size(); ++k) {
        const std::size_t step = same_turn ? k : b.points.size() - k;
        joined.points.push_back(b.points[(ib + step) % b.points.size()]);
    }
    if (!has_area(joined))
        return false;
    joined.update_concave();
    set.contours[near[0]] = std::move(joined);
    set.contours.erase(set.contours.begin() + static_cast<std::ptrdiff_t>(near[1]));
    set.area = -1.0;
    return true;
}

std::vector<std::size_t> contours_in_box(const contour_set& set, const vertex2d& a, const vertex2d& b)
{
    const double x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
    const double y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
    std::vector<std::size_t> inside;
    for (std::size_t k = 0; k < set.contours.size(); ++k) {
        const auto& pts = set.contours[k].points;
        if (!pts.empty() && std::all_of(pts.begin(), pts.end(), [&](const vertex2d& p) {
                return p.x >= x0 && p.x <= x1 && p.y >= y0 && p.y <= y1;
            }))
            inside.push_back(k);
    }
    return inside;
}

bool remove_highlighted_concavities(contour& c)
{
    if (c.concavity.size() != c.points.size())
        c.update_concave();
    contour kept;
    kept.closed = c.closed;
    for (std::size_t k = 0; k < c.points.size(); ++k)
        if (!(c.concavity[k] > concavity_highlight))
            kept.points.push_back(c.points[k]);
    if (kept.points.size() == c.points.size() || !has_area(kept))
        return false;
    kept.update_concave();
    c = std::move(kept);
    return true;
}

std::size_t delete_contours_inside(contour_set& set, std::size_t outer)
{
    if (outer >= set.contours.size())
        return 0;
    std::vector<std::size_t> inner;
    for (std::size_t k = 0; k < set.contours.size(); ++k)
        if (k != outer && contour_inside(set.contours[k], set.contours[outer]))
            inner.push_back(k);
    delete_contours(set, inner);
    return inner.size();
}

void delete_contours(contour_set& set, std::vector<std::size_t> which)
{
    std::sort(which.begin(), which.end());
    which.erase(std::unique(which.begin(), which.end()), which.end());
    for (auto it = which.rbegin(); it != which.rend(); ++it)
        if (*it < set.contours.size())
            set.contours.erase(set.contours.begin() + static_cast<std::ptrdiff_t>(*it));
    if (!which.empty())
        set.area = -1.0;
}

// Turning a burnt region into closed outlines: its boundary is followed
// from pixel pair to pixel pair, with a vertex where the grey level crosses
// the threshold between the burnt pixel and its neighbour.
#include <cmath>

#include <wx/log.h>

#include "grassfire_state.h"

double grey_window::interp(int a, int b) const
{
    if (doppler)
        return 0.0;
    // In double: the window comes from settings and may hold any value.
    const double l = static_cast<double>(lo), h = static_cast<double>(hi);
    const double va = a, vb = b;
    if (l <= h) {
        if (va < l || va > h)
            return 0.25;
        if (vb < l)
            return 0.5 - ((va - l) + 0.5) / (va - vb);
        if (vb <= h)
            return -0.25;
        return 0.5 - ((h - va) + 0.5) / (vb - va);
    }
    // Selected below hi or above lo.
    if (vb < h || vb > l)
        return -0.25;
    if (va < h)
        return 0.5 - ((h - va) - 0.5) / (vb - va);
    if (va <= l)
        return 0.25;
    return 0.5 - ((va - l) - 0.5) / (va - vb);
}

bool grey_window::greater(int v) const
{
    if (lo == 0 || lo == 255)
        return false;
    return static_cast<double>(lo) - v <= std::fabs(static_cast<double>(hi) - v);
}

namespace {

using gs = grassfire_state;

struct step_t {
    long x, y;
};
step_t operator+(step_t a, step_t b)
{
    return {a.x + b.x, a.y + b.y};
}
// With y down, the right hand of someone facing h.
step_t right_of(step_t h)
{
    return {-h.y, h.x};
}
step_t left_of(step_t h)
{
    return {h.y, -h.x};
}

class boundary_tracer {
public:
    boundary_tracer(const gs& s, long z, const grassfire_box& window)
        : s_(s),
          z_(z),
          b_(window),
          outside_burnt_(holes_only(s.settings())),
          join_(joins_diagonals(s.settings())),
          stride_(window.x1 - window.x0 + 2),
          visited_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(window.y1 - window.y0 + 1))
    {
    }

    // Every boundary crosses some row between two pixels side by side, so
    // looking for starts there finds each boundary once.
    void run(contour_set& result)
    {
        for (long y = b_.y0; y <= b_.y1; ++y)
            for (long x = b_.x0 - 1; x <= b_.x1; ++x) {
                const bool l = burnt(x, y), r = burnt(x + 1, y);
                if (l != r && !visited(x, y)) {
                    contour c;
                    if (trace(x, y, l, c))
                        result.contours.push_back(std::move(c));
                }
            }
    }

private:
    bool burnt(long x, long y) const
    {
        if (x < b_.x0 || x > b_.x1 || y < b_.y0 || y > b_.y1)
            return outside_burnt_;
        return (s_.plane(z_)[y * s_.width() + x] & gs::burn_mask) == gs::burnt;
    }
    // Flags of the crossings between (x, y) and (x + 1, y).
    std::uint8_t& flag(long x, long y)
    {
        return visited_[static_cast<std::size_t>((y - b_.y0) * stride_ + (x - b_.x0 + 1))];
    }
    bool visited(long x, long y) { return flag(x, y); }

    // The vertex between burnt pixel r and its neighbour l.
    vertex2d crossing(step_t r, step_t l) const
    {
        double t = 0.5;
        if (s_.inside(r.x, r.y, z_) && s_.inside(l.x, l.y, z_))
            t -= s_.settings().window.interp(s_.grey_at(r.x, r.y, z_), s_.grey_at(l.x, l.y, z_));
        return {static_cast<double>(r.x) + t * static_cast<double>(l.x - r.x),
                static_cast<double>(r.y) + t * static_cast<double>(l.y - r.y)};
    }

    // Walks the boundary with the burnt side on the right until it is back
    // at the start, one vertex per crossed pixel pair.
    bool trace(long x, long y, bool left_burnt, contour& c)
    {
        step_t r{left_burnt ? x : x + 1, y};
        step_t l{left_burnt ? x + 1 : x, y};
        step_t h{0, left_burnt ? 1 : -1};
        flag(x, y) = 1;
        c.points.push_back(crossing(r, l));
        // A boundary cannot pass more pixel pairs than the window has.
        const long limit = 4 * (stride_ + 2) * (b_.y1 - b_.y0 + 3);
        for (long steps = 0; steps < limit; ++steps) {
            const step_t fr = r + h, fl = l + h;
            const bool bfr = burnt(fr.x, fr.y), bfl = burnt(fl.x, fl.y);
            if (bfr && !bfl) {
                r = fr;
                l = fl;
            } else if (!bfr && (!bfl || !join_)) {
                l = fr;
                h = right_of(h);
            } else {
                r = fl;
                h = left_of(h);
            }
            if (r.y == l.y) {
                std::uint8_t& f = flag(std::min(r.x, l.x), r.y);
                if (f)
                    return true;
                f = 1;
            }
            c.points.push_back(crossing(r, l));
        }
        wxLogWarning("Segmentation: an outline on frame %ld did not close and was left out.", z_);
        return false;
    }

    const gs& s_;
    long z_;
    grassfire_box b_;
    bool outside_burnt_, join_;
    long stride_;
    std::vector<std::uint8_t> visited_;
};

}  // namespace

void grassfire::discover_contours(const grassfire_state& state, long z, contour_set& result)
{
    const grassfire_box window = state.burnt_box(z, state.region);
    if (window.empty())
        return;
    boundary_tracer(state, z, window).run(result);
}

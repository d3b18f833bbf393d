#include "thickness_colours.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "resources/resource_table.h"
#include "surfaces/surface_interp.h"
#include "thickness/thickness_session.h"

namespace {

// Scales from settings files or scripts: within reason, else their default.
long bounded(long v, long lo, long hi, long fallback)
{
    return v >= lo && v <= hi ? v : fallback;
}

bool known(double v)
{
    return std::isfinite(v) && v < thickness_unknown;
}

rgb_t mix(const rgb_t& a, const rgb_t& b, double t)
{
    const auto channel = [t](std::uint8_t x, std::uint8_t y) {
        return static_cast<std::uint8_t>(std::lround(double(x) + (double(y) - double(x)) * t));
    };
    return {channel(a.r, b.r), channel(a.g, b.g), channel(a.b, b.b)};
}

// A map as evenly spaced stops, linear between them.
template <std::size_t n>
rgb_t through(const std::array<rgb_t, n>& stops, double f)
{
    const double at = f * double(n - 1);
    const auto i = std::min<std::size_t>(static_cast<std::size_t>(at), n - 2);
    return mix(stops[i], stops[i + 1], at - double(i));
}

}  // namespace

thickness_scale_t thickness_scale_from_settings()
{
    const thickness_scale_t defaults;
    thickness_scale_t s;
    const long shown = res->RES_THICKNESS_DISP_MAP->value();
    s.shown = shown >= 0 && shown < long(thickness_shown_t::count) ? thickness_shown_t(shown) : defaults.shown;
    s.map = bounded(res->RES_THICKNESS_DISP_COL->value(), 0, long(std::size(thickness_colour_map_names)) - 1, 0);
    s.scale_mm = bounded(res->RES_THICKNESS_SCALE_MM->value(), 1, 10000, defaults.scale_mm);
    s.scale_hu = bounded(res->RES_THICKNESS_SCALE_HU->value(), 1, 1000, defaults.scale_hu);
    s.scale_humm = bounded(res->RES_THICKNESS_SCALE_HUMM->value(), 1, 1000, defaults.scale_humm);
    s.zero_hu = bounded(res->RES_THICKNESS_ZERO_HU->value(), -100000, 100000, defaults.zero_hu);
    return s;
}

scale_ends_t scale_ends(const thickness_scale_t& s)
{
    const double mm = double(std::max(s.scale_mm, 1L)) / 10.0;
    switch (s.shown) {
        case thickness_shown_t::surface_offset:
            return {-mm / 2.0, mm / 2.0};
        case thickness_shown_t::density:
        case thickness_shown_t::trabecular_density:
        case thickness_shown_t::tissue_density:
            return {double(s.zero_hu), double(s.zero_hu) + 100.0 * double(std::max(s.scale_hu, 1L))};
        case thickness_shown_t::density_thickness:
            return {0.0, 1000.0 * double(std::max(s.scale_humm, 1L))};
        default:
            return {0.0, mm};
    }
}

const char* scale_unit(thickness_shown_t shown)
{
    switch (shown) {
        case thickness_shown_t::density:
        case thickness_shown_t::trabecular_density:
        case thickness_shown_t::tissue_density:
            return "HU";
        case thickness_shown_t::density_thickness:
            return "HU mm";
        default:
            return "mm";
    }
}

double shown_value(const thickness_results_t& r, thickness_shown_t shown, std::size_t point)
{
    using q = thickness_results_t;
    const auto at = [&](q::quantity_t k) {
        return point < r.values[k].size() ? r.values[k][point] : thickness_unknown;
    };
    switch (shown) {
        case thickness_shown_t::thickness:
            return at(q::thick);
        case thickness_shown_t::smoothed_thickness:
            return at(q::smoothed_thick);
        case thickness_shown_t::thickness_error:
            return at(q::thick_error);
        case thickness_shown_t::density:
            return at(q::density);
        case thickness_shown_t::density_thickness: {
            const double d = at(q::density), t = at(q::thick);
            return known(d) && known(t) ? d * t : thickness_unknown;
        }
        case thickness_shown_t::surface_offset:
            return at(q::surface);
        case thickness_shown_t::blur:
            return at(q::blur);
        case thickness_shown_t::endo_thickness:
            return at(q::endo);
        case thickness_shown_t::trabecular_density:
            return at(q::trabecular);
        case thickness_shown_t::tissue_density:
            return at(q::tissue);
        default:
            return thickness_unknown;
    }
}

std::optional<double> scale_fraction(double value, const thickness_scale_t& scale)
{
    if (!known(value))
        return std::nullopt;
    const scale_ends_t e = scale_ends(scale);
    return std::clamp((value - e.lo) / (e.hi - e.lo), 0.0, 1.0);
}

rgb_t scale_colour(double f, long map)
{
    f = std::isfinite(f) ? std::clamp(f, 0.0, 1.0) : 0.0;
    switch (map) {
        case 1:
            return mix({0, 0, 0}, {255, 255, 255}, f);
        case 2:
            return through(std::array<rgb_t, 4>{{{0, 0, 0}, {255, 0, 0}, {255, 255, 0}, {255, 255, 255}}}, f);
        default:
            // Thin at the blue end, thick at the red.
            return through(std::array<rgb_t, 5>{{{0, 0, 255}, {0, 255, 255}, {0, 255, 0}, {255, 255, 0}, {255, 0, 0}}},
                           f);
    }
}

std::vector<rgb_t> thickness_colours(const thickness_results_t& results, const thickness_scale_t& scale)
{
    std::vector<rgb_t> colours(results.points(), no_result_colour);
    for (std::size_t i = 0; i < colours.size(); ++i)
        if (const auto f = scale_fraction(shown_value(results, scale.shown, i), scale))
            colours[i] = scale_colour(*f, scale.map);
    return colours;
}

rgb_t cut_colour(const thickness_results_t& results, const thickness_scale_t& scale, const cut_end_t& end)
{
    const double a = shown_value(results, scale.shown, end.points[0]);
    const double b = shown_value(results, scale.shown, end.points[1]);
    const std::optional<double> fa = scale_fraction(a, scale), fb = scale_fraction(b, scale);
    // The values mixed, not their colours: a rainbow mixed would pass through other colours.
    if (fa && fb)
        if (const auto f = scale_fraction(end.weights[0] * a + end.weights[1] * b, scale))
            return scale_colour(*f, scale.map);
    // Mixing with a point that has none would invent a value.
    const std::optional<double> nearer = end.weights[1] > end.weights[0] ? fb : fa;
    return nearer ? scale_colour(*nearer, scale.map) : no_result_colour;
}

std::optional<std::size_t> nearest_point(const surface_mesh_t& mesh, const vertex3d& p)
{
    std::optional<std::size_t> best;
    double best_d2 = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < mesh.points.size(); ++i) {
        const vertex3d& q = mesh.points[i].position;
        const double d2 = (q.x - p.x) * (q.x - p.x) + (q.y - p.y) * (q.y - p.y) + (q.z - p.z) * (q.z - p.z);
        if (d2 < best_d2) {
            best_d2 = d2;
            best = i;
        }
    }
    return best;
}

int thickness_colourer_t::colour_session_surfaces()
{
    const thickness_scale_t scale = thickness_scale_from_settings();
    int changed = 0;
    for (int object = 0; object < resource_t::surface_slots; ++object) {
        const std::shared_ptr<surface_interp> surface = res->RES_SURFACE[std::size_t(object)]->value();
        const thickness_results_t* results = surface ? thickness_session().results(object) : nullptr;
        const auto was = coloured_.find(object);
        if (results && surface->set_point_colours(thickness_colours(*results, scale))) {
            coloured_[object] = surface;
            ++changed;
        } else if (was != coloured_.end()) {
            // Only the surface this coloured: a new build has colours of its own, or none.
            if (const auto old = was->second.lock(); old && old == surface) {
                old->set_point_colours({});
                ++changed;
            }
            coloured_.erase(was);
        }
    }
    return changed;
}

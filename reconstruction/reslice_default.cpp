#include "reslice_default.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/dynabuf.h"
#include "reslice_internals.h"
#include "resources/resource_table.h"

namespace {

double usable_pixel_size(const reslice_source& source)
{
    return std::isfinite(source.pixel_size) && source.pixel_size > 0.0 ? source.pixel_size : 0.01;
}

// Sizes go through floating point first: a frame far away must not overflow the cast.
std::int64_t pixels_for(double extent, double factor)
{
    const double n = whole_steps(factor * extent) + 3.0;
    return static_cast<std::int64_t>(std::isfinite(n) ? std::clamp(n, double(reslice_min_size), double(reslice_max_size))
                                                      : double(reslice_max_size));
}

// A one-pixel plane with the given axes, to measure the extent of the frames in.
reslice_plane probe_plane(const vertex3d& point, const vertex3d& normal, const vertex3d& up, double pixel_size)
{
    reslice_settings s;
    s.normal = normal;
    s.centre = point;
    s.up = point + up;
    s.width = s.height = 1;
    return reslice_plane(s, pixel_size);
}

}  // namespace

bool default_plane_settings(int window, const reslice_frame& frame, double sx, double sy, reslice_settings* settings)
{
    if (window < 0 || window > 2 || frame.image.empty() || !settings)
        return false;
    const long w = frame.image.width(), h = frame.image.height();
    const matrix16d& m = frame.image_to_world;
    const double wc = w * sx, hc = h * sy;
    const vertex3d c = m * vertex3d{wc / 2, hc / 2, 0.0};
    const vertex3d t = m * vertex3d{wc / 2, 0.0, 0.0};
    const vertex3d r = m * vertex3d{wc, hc / 2, 0.0};
    const vertex3d a = m * vertex3d{wc / 2, hc / 2, -1.0};
    vertex3d normal;
    if (!unit(window == 1 ? c - r : c - t, &normal) || !finite(a) || !finite(r))
        return false;
    settings->normal = normal;
    settings->centre = c;
    settings->up = window == 0 ? r : a;
    if (window == 1)
        settings->width = settings->height = h;
    if (window == 2) {
        settings->width = w;
        settings->height = h;
    }
    return true;
}

bool sweep_plane_settings(const reslice_source& source, long sweep, reslice_settings* settings)
{
    if (!settings)
        return false;
    if (source.sweeps.size() < 2) {
        sweep = -1;
    } else {
        sweep = std::clamp(sweep, 0L, static_cast<long>(source.sweeps.size()) - 1);
        if (std::none_of(source.frames.begin(), source.frames.end(), [sweep](const reslice_frame& f) { return f.sweep == sweep; }))
            sweep = -1;
    }
    vertex3d x_sum{}, y_sum{};
    const reslice_frame* first = nullptr;
    for (const reslice_frame& f : source.frames) {
        if (sweep >= 0 && f.sweep != sweep)
            continue;
        const vertex3d x = column(f.image_to_world, 0), y = column(f.image_to_world, 1);
        if (!finite(x) || !finite(y) || !finite(column(f.image_to_world, 3)))
            continue;
        x_sum = x_sum + x;
        y_sum = y_sum + y;
        if (!first)
            first = &f;
    }
    if (!first)
        return false;
    vertex3d normal, up;
    if (!unit(x_sum, &normal) && !unit(column(first->image_to_world, 0), &normal))
        return false;
    const vertex3d first_y = column(first->image_to_world, 1);
    if (!unit(y_sum - dot(y_sum, normal) * normal, &up) && !unit(first_y - dot(first_y, normal) * normal, &up))
        up = any_perpendicular(normal);

    const reslice_plane probe = probe_plane(column(first->image_to_world, 3), normal, up, usable_pixel_size(source));
    const reslice_extent e = reslice_internals::find_reslice_extent(source, probe, sweep);
    if (!e.found)
        return false;
    const vertex3d centre = probe.reslice_to_world(0.5 * (e.x0 + e.x1), 0.5 * (e.y0 + e.y1), 0.5 * (e.z0 + e.z1));
    if (!finite(centre))
        return false;
    settings->normal = normal;
    settings->centre = centre;
    settings->up = centre + up;
    settings->width = pixels_for(e.x1 - e.x0, 1.05);
    settings->height = pixels_for(e.y1 - e.y0, 1.1);
    return true;
}

void isocentre_plane_settings(const reslice_source& source, const std::array<double, 6>& isocentre_pose,
                              reslice_settings* settings)
{
    if (!settings)
        return;
    matrix16d to_world;
    if (std::all_of(isocentre_pose.begin(), isocentre_pose.end(), [](double v) { return std::isfinite(v); })) {
        const auto& p = isocentre_pose;
        to_world.inverse(p[0], p[1], p[2], p[3], p[4], p[5]);
        if (!std::all_of(std::begin(to_world.m), std::end(to_world.m), [](double v) { return std::isfinite(v); }))
            to_world.identity();
    }
    vertex3d normal, up;
    if (!unit(column(to_world, 2), &normal) || !unit(column(to_world, 1), &up)) {
        normal = {0.0, 0.0, 1.0};
        up = {0.0, 1.0, 0.0};
    }
    const vertex3d origin = column(to_world, 3);
    settings->normal = normal;
    settings->centre = origin;
    settings->up = origin + up;

    const reslice_plane probe = probe_plane(origin, normal, up, usable_pixel_size(source));
    const reslice_extent e = reslice_internals::find_reslice_extent(source, probe);
    if (!e.found)
        return;
    // Centred in the isocentre plane itself: the plane does not move to the data.
    const vertex3d centre = probe.reslice_to_world(0.5 * (e.x0 + e.x1), 0.5 * (e.y0 + e.y1), 0.0);
    if (!finite(centre))
        return;
    settings->centre = centre;
    settings->up = centre + up;
    settings->width = pixels_for(e.x1 - e.x0, 1.05);
    settings->height = pixels_for(e.y1 - e.y0, 1.05);
}

bool default_plane_settings(int window, const reslice_source& source, const default_plane_inputs& inputs,
                            reslice_settings* settings)
{
    if (!settings)
        return false;
    if (window == sweep_reslice_window)
        return sweep_plane_settings(source, inputs.sweep, settings);
    if (window == isocentre_reslice_window) {
        isocentre_plane_settings(source, inputs.isocentre, settings);
        return true;
    }
    for (std::size_t i = 0; i < source.frames.size(); ++i) {
        const reslice_frame& f = source.frames[i];
        if ((f.number >= 0 ? f.number : static_cast<long>(i)) == inputs.current_frame)
            return default_plane_settings(window, f, source.sx, source.sy, settings);
    }
    return false;
}

default_plane_inputs default_plane_inputs_from_session()
{
    default_plane_inputs inputs;
    if (!res)
        return inputs;
    inputs.current_frame = static_cast<long>(res->RES_BUF_CURRENT_FRAME->value());
    inputs.sweep = static_cast<long>(res->RES_SWEEP_DISP_NUMBER->value());
    inputs.isocentre = {res->RES_ISOCENTRE_XTRANS->value(),  res->RES_ISOCENTRE_YTRANS->value(),
                        res->RES_ISOCENTRE_ZTRANS->value(),  res->RES_ISOCENTRE_AZIMUTH->value(),
                        res->RES_ISOCENTRE_ELEVATION->value(), res->RES_ISOCENTRE_ROLL->value()};
    return inputs;
}

bool default_plane_from_session(int window, reslice_settings* settings)
{
    if (!res || !bufp || !settings)
        return false;
    const default_plane_inputs inputs = default_plane_inputs_from_session();
    if (inputs.current_frame < 0 || inputs.current_frame >= bufp->frames())
        return false;
    return default_plane_settings(window, source_from_session(), inputs, settings);
}

double suggested_bscan_half_thickness(const reslice_source& source)
{
    if (source.frames.size() < 2)
        return 0.0;
    std::vector<double> gaps;
    gaps.reserve(source.frames.size() - 1);
    auto centre = [&source](const reslice_frame& f) {
        return f.image_to_world * vertex3d{0.5 * static_cast<double>(f.image.width()) * source.sx,
                                           0.5 * static_cast<double>(f.image.height()) * source.sy, 0.0};
    };
    for (std::size_t i = 1; i < source.frames.size(); ++i) {
        const double d = length(centre(source.frames[i]) - centre(source.frames[i - 1]));
        if (std::isfinite(d))
            gaps.push_back(d);
    }
    if (gaps.empty())
        return 0.0;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    return 0.6 * gaps[gaps.size() / 2];
}

#include "reslice_default.h"

#include <algorithm>
#include <cmath>
#include <vector>

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

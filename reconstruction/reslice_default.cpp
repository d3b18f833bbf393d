#include "reslice_default.h"

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

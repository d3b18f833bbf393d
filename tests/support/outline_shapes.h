// Outlines and frame placements the segmentation and surface tests share.
#pragma once

#include <cmath>
#include <numbers>

#include "demo/phantom.h"
#include "segmentation/planimetry.h"

// An axis-aligned rectangle, corner (x0, y0), in pixels.
inline contour rectangle(double x0, double y0, double w, double h)
{
    contour c;
    c.points = {{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}};
    return c;
}

// An ellipse of a plane (cm) as an outline of n points in pixels of sx by sy cm.
inline contour ellipse_outline(const ellipse2d& e, double sx, double sy, int n = 360)
{
    contour c;
    for (int i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * i / n;
        const double x = e.a * std::cos(t), y = e.b * std::sin(t);
        c.points.push_back({(e.cx + x * std::cos(e.angle) - y * std::sin(e.angle)) / sx,
                            (e.cy + x * std::sin(e.angle) + y * std::cos(e.angle)) / sy});
    }
    return c;
}

// A frame with a usable pose placed by m, in sweep `sweep`.
inline frame_placement placed(const matrix16d& m, long sweep = 0)
{
    frame_placement p;
    p.image_to_world = m;
    p.usable = true;
    p.sweep = sweep;
    return p;
}

// Outlines and frame placements the segmentation and surface tests share.
#pragma once

#include <cmath>
#include <numbers>

#include "demo/phantom.h"
#include "demo/true_outlines.h"
#include "segmentation/planimetry.h"

// An axis-aligned rectangle, corner (x0, y0), in pixels.
inline contour rectangle(double x0, double y0, double w, double h)
{
    contour c;
    c.points = {{x0, y0}, {x0 + w, y0}, {x0 + w, y0 + h}, {x0, y0 + h}};
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

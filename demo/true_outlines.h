// The demo's shapes outlined exactly on some of its frames, as a user would
// draw them: so that surfaces and volumes can be tried on the demo at once,
// and scored against the ground truth.
#pragma once

#include <cstddef>
#include <vector>

#include "common/matrix16d.h"
#include "demo/phantom.h"
#include "resources/recording_data.h"

// An ellipse of a plane (cm) as a closed outline of n points in pixels of
// sx by sy cm, anticlockwise.
contour ellipse_outline(const ellipse2d& e, double sx, double sy, int n = 180);

// The tube's section by the frame placed by `image_to_world` (pixel (u, v) at
// (u sx, v sy, 0)), its flat ends applied; empty when the frame misses it.
contour tube_outline(const tube_shape& t, const matrix16d& image_to_world, double sx, double sy, int n = 180);

// Object 0 for each ellipsoid in turn, then one per tube, named "Ellipsoid",
// "Vessel" (numbered when there are several), outlined on every `every`-th
// frame of `frames` (each frame's image-to-world transform).
void add_true_outlines(const phantom& body, const std::vector<matrix16d>& frames, double sx, double sy, int every,
                       object_table& table);

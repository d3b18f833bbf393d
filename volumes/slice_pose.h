// A slice's pose from its row and column directions and the corner of its
// first pixel: the frame with axes u, w and u x w there, as the six pose
// values (cm, degrees) a frame carries.
#pragma once

#include <array>

#include "common/matrix16d.h"
#include "common/vertex_math.h"

// u and w of unit length and at right angles; origin in cm.
inline std::array<double, 6> slice_pose(const vertex3d& u, const vertex3d& w, const vertex3d& origin_cm)
{
    matrix16d m;
    const vertex3d axes[3] = {u, w, cross(u, w)};
    for (int c = 0; c < 3; ++c) {
        m[4 * c] = axes[c].x;
        m[4 * c + 1] = axes[c].y;
        m[4 * c + 2] = axes[c].z;
    }
    m[12] = origin_cm.x;
    m[13] = origin_cm.y;
    m[14] = origin_cm.z;
    std::array<double, 6> pose{};
    m.decompose(&pose[0], &pose[1], &pose[2], &pose[3], &pose[4], &pose[5]);
    return pose;
}

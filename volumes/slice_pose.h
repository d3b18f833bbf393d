// A slice's pose from its row and column directions and the corner of its
// first pixel: the frame with axes u, w and u x w there, as the six pose
// values (cm, degrees) a frame carries.
#pragma once

#include <array>

#include "common/counted_array_ptr.h"
#include "common/matrix16d.h"
#include "common/vertex_math.h"

// u and w of unit length and at right angles; origin in cm.
inline std::array<double, 6> slice_pose(const vertex3d& u, const vertex3d& w, const vertex3d& origin_cm)
{
    const matrix16d m = matrix_of_axes(u, w, cross(u, w), origin_cm);
    std::array<double, 6> pose{};
    m.decompose(&pose[0], &pose[1], &pose[2], &pose[3], &pose[4], &pose[5]);
    return pose;
}

// The six values as a frame's position record.
inline counted_array_ptr<float> pose_record(const std::array<double, 6>& pose)
{
    counted_array_ptr<float> out(6);
    for (std::size_t i = 0; i < 6; ++i)
        out[i] = float(pose[i]);
    return out;
}

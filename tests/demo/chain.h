// The pixel-to-world chain written out from its definition, independent of the
// demo library's own shortcuts, for the demo tests to check against; and the
// few vector helpers those tests share.
#pragma once

#include <cmath>

#include "common/matrix16d.h"
#include "common/vertex.h"
#include "common/vertex_math.h"
#include "demo/sweep.h"


inline matrix16d chain_matrix(const float* pose, const probe_setup& probe)
{
    matrix16d m_pose, m_cal;
    m_pose.forward(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    const auto& c = probe.calibration;
    m_cal.forward(c[0], c[1], c[2], c[3], c[4], c[5]);
    return m_pose * m_cal;
}

inline vertex3d pixel_to_world(const matrix16d& chain, const probe_setup& probe, double u, double v)
{
    return chain * vertex3d{u * probe.sx, v * probe.sy, 0.0};
}

#include "acquisition/manual_positions.h"

#include "common/dynabuf.h"
#include "common/matrix16d.h"
#include "resources/resource_table.h"

bool manual_pose(const manual_motion_t& motion, long frame, long frames, float (&pose)[6])
{
    if (motion.translation < 0 || motion.translation > 3 || motion.rotation < 0 || motion.rotation > 3)
        return false;
    // One frame has nowhere to go; no step is taken rather than dividing by zero.
    const double fraction = frames > 1 ? static_cast<double>(frame) / static_cast<double>(frames - 1) : 0.0;

    double t[3] = {0.0, 0.0, 0.0};
    static const int translation_axis[4] = {-1, 2, 0, 1};
    if (motion.translation != 0)
        t[translation_axis[motion.translation]] = motion.span_mm * 0.1 * fraction;

    // The rotation axis is parallel to a sensor axis and passes through a
    // point displaced from the origin: along y for roll and azimuth (the
    // depth direction of the image, as when a probe rocks about a point above
    // the skin), along x for elevation.
    double a[3] = {0.0, 0.0, 0.0};  // azimuth, elevation, roll
    double pivot[3] = {0.0, 0.0, 0.0};
    const double r = motion.radius_mm * 0.1;
    const double angle = motion.angle_deg * fraction;
    switch (motion.rotation) {
    case 1: a[2] = angle; pivot[1] = r; break;
    case 2: a[1] = angle; pivot[0] = r; break;
    case 3: a[0] = angle; pivot[1] = r; break;
    default: break;
    }
    matrix16d to_pivot, rotate, from_pivot, shift;
    to_pivot.forward(pivot[0], pivot[1], pivot[2]);
    rotate.forward(0, 0, 0, a[0], a[1], a[2]);
    from_pivot.inverse(pivot[0], pivot[1], pivot[2]);
    shift.forward(t[0], t[1], t[2]);
    double v[6];
    (shift * to_pivot * rotate * from_pivot).decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    for (int i = 0; i < 6; ++i)
        pose[i] = static_cast<float>(v[i]);
    return true;
}

bool apply_manual_positions(dynabuf& frames, const manual_motion_t& motion)
{
    if (!motion.any()) {
        res->RES_POS_MANUAL->write_no_changeprocs(false);
        res->RES_POS_REC->write_no_changeprocs(false);
        base_res_t::make_pending_writes_happen();
        return false;
    }
    const long n = frames.frames();
    for (long i = 0; i < n; ++i) {
        float pose[6];
        if (!manual_pose(motion, i, n, pose))
            return false;
        counted_array_ptr<float> p(6);
        for (std::size_t k = 0; k < 6; ++k)
            p[k] = pose[k];
        frames.set_position(i, p);
    }
    return true;
}

manual_motion_t manual_motion_from_resources()
{
    manual_motion_t m;
    m.translation = static_cast<int>(res->RES_POS_MANUAL_TRAN->value());
    m.span_mm = static_cast<double>(res->RES_POS_MANUAL_SPAN->value());
    m.rotation = static_cast<int>(res->RES_POS_MANUAL_ROT->value());
    m.angle_deg = static_cast<double>(res->RES_POS_MANUAL_ANGLE->value());
    m.radius_mm = static_cast<double>(res->RES_POS_MANUAL_RADIUS->value());
    return m;
}

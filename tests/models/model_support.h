// The demo shape model loaded into a fit_model, and how far a fit is from
// the instance it was fitted to.
#pragma once

#include <cmath>

#include "demo/shape_model_demo.h"
#include "models/fit_model.h"

namespace model_test {

inline fit_model loaded(const shape_model_demo_t& demo)
{
    fit_model f;
    f.set_model(demo.mesh, demo.model, demo.marks, "demo.ply");
    return f;
}

struct fit_error_t {
    double rotation_degrees = 0, translation_mm = 0, scale_pct = 0, worst_weight_sd = 0, vertex_rms_mm = 0;
};

inline fit_error_t fit_error(const fit_model& f, const shape_instance_t& truth)
{
    fit_error_t e;
    const rotation_t& r = f.rotation();
    const rotation_t rt = {r[0], r[3], r[6], r[1], r[4], r[7], r[2], r[5], r[8]};
    e.rotation_degrees = rotation_angle_degrees(multiply(rt, truth.rotation));
    const vertex3d dt = {f.translation().x - truth.translation.x, f.translation().y - truth.translation.y,
                         f.translation().z - truth.translation.z};
    e.translation_mm = 10.0 * std::sqrt(dt.x * dt.x + dt.y * dt.y + dt.z * dt.z);
    e.scale_pct = 100.0 * std::fabs(f.scale() / truth.scale - 1.0);
    for (std::size_t k = 0; k < truth.weights.size(); ++k)
        e.worst_weight_sd =
            std::max(e.worst_weight_sd, std::fabs(f.weights()[k] - truth.weights[k]) / std::sqrt(f.eigenvalues()[k]));
    double sum = 0.0;
    for (std::size_t i = 0; i < truth.truth.points.size(); ++i) {
        const vertex3d& a = f.warped().points[i].position;
        const vertex3d& b = truth.truth.points[i].position;
        sum += (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z);
    }
    e.vertex_rms_mm = 10.0 * std::sqrt(sum / static_cast<double>(truth.truth.points.size()));
    return e;
}

inline std::vector<vertex3d> points_of(const surface_mesh_t& mesh)
{
    std::vector<vertex3d> p;
    for (const surface_point_t& s : mesh.points)
        p.push_back(s.position);
    return p;
}

}  // namespace model_test

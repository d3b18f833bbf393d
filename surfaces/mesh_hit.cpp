#include "mesh_hit.h"

#include <cmath>

#include "common/vertex_math.h"

bool segment_hit(const surface_mesh_t& mesh, const vertex3d& p, const vertex3d& q, mesh_hit_t* hit)
{
    const vertex3d d = q - p;
    const std::size_t n = mesh.points.size();
    bool found = false;
    for (std::size_t k = 0; k < mesh.triangles.size(); ++k) {
        const auto& v = mesh.triangles[k].points;
        if (v[0] >= n || v[1] >= n || v[2] >= n)
            continue;
        const vertex3d& a = mesh.points[v[0]].position;
        const vertex3d e1 = mesh.points[v[1]].position - a, e2 = mesh.points[v[2]].position - a;
        // Moller and Trumbore: barycentric (u, w) and t from one 3x3 solve.
        const vertex3d h = cross(d, e2);
        const double det = dot(e1, h);
        if (!(std::fabs(det) > 1e-300))
            continue;  // parallel to the triangle, or a degenerate triangle
        const double f = 1.0 / det;
        const vertex3d s = p - a;
        const double u = f * dot(s, h);
        if (!(u >= 0.0 && u <= 1.0))
            continue;
        const vertex3d r = cross(s, e1);
        const double w = f * dot(d, r);
        if (!(w >= 0.0 && u + w <= 1.0))
            continue;
        const double t = f * dot(e2, r);
        if (!(t >= 0.0 && t <= 1.0) || (found && t >= hit->t))
            continue;
        const vertex3d normal = cross(e1, e2);
        const double length_n = length(normal);
        if (!(length_n > 0.0))
            continue;
        hit->t = t;
        hit->point = p + t * d;
        hit->normal = (1.0 / length_n) * normal;
        hit->triangle = k;
        found = true;
    }
    return found;
}

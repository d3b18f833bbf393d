#include "surface_distance.h"

#include <cmath>

#include "common/vertex_math.h"
#include "surfaces/mesh_hit.h"

bool distances_to_surface(const surface_mesh_t& from, const surface_mesh_t& to, double reach_cm, int threads,
                          const thickness_progress_t& progress, std::vector<double>* distances)
{
    std::vector<double> out(from.points.size(), thickness_unknown);
    const bool finished = for_each_point(out.size(), threads, progress, [&](std::size_t i) {
        const surface_point_t& p = from.points[i];
        const double size = length(p.normal);
        if (!(size > 0.0) || !std::isfinite(size) || !(reach_cm > 0.0))
            return;
        const vertex3d reach = (reach_cm / size) * p.normal;
        // Each way from the point; the nearer crossing wins.
        double nearest = thickness_unknown;
        for (const vertex3d& end : {p.position + reach, p.position - reach}) {
            mesh_hit_t hit;
            if (segment_hit(to, p.position, end, &hit))
                nearest = std::min(nearest, hit.t * reach_cm * 10.0);
        }
        out[i] = nearest;
    });
    if (!finished)
        return false;
    *distances = std::move(out);
    return true;
}

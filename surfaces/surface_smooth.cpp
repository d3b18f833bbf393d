// Normal-offset and neighbour-mean smoothing of surface meshes.
#include "surface_smooth.h"

#include <algorithm>

#include "surfaces/mesh_measure.h"
#include "surfaces/surface_geometry.h"

namespace {

// Each triangle edge once per triangle holding it: a closed mesh thus counts
// every edge from both sides, which keeps the weights symmetric.
template <typename Visit>
void for_each_edge(const surface_mesh_t& mesh, Visit visit)
{
    for (const surface_triangle_t& t : mesh.triangles)
        for (int k = 0; k < 3; ++k)
            visit(t.points[static_cast<std::size_t>(k)], t.points[static_cast<std::size_t>((k + 1) % 3)]);
}

bool movable(const surface_point_t& p, bool keep_planes)
{
    return p.kind == SURF_POINT_ORDINARY || (p.kind == SURF_POINT_ON_OUTLINE_PLANE && !keep_planes);
}

}  // namespace

void laplacian_smooth_normals(surface_mesh_t& mesh, int passes)
{
    std::vector<vertex3d> sum(mesh.points.size());
    for (int pass = 0; pass < passes; ++pass) {
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] = mesh.points[i].normal;
        for_each_edge(mesh, [&](std::uint32_t a, std::uint32_t b) {
            sum[a] = add(sum[a], mesh.points[b].normal);
            sum[b] = add(sum[b], mesh.points[a].normal);
        });
        for (std::size_t i = 0; i < sum.size(); ++i) {
            const double l = length(sum[i]);
            if (l > 0.0)
                mesh.points[i].normal = mul(sum[i], 1.0 / l);
        }
    }
}

void standard_smooth(surface_mesh_t& mesh, int passes, bool keep_planes)
{
    std::vector<double> offset(mesh.points.size());
    std::vector<int> count(mesh.points.size());
    for (int pass = 0; pass < passes; ++pass) {
        std::fill(offset.begin(), offset.end(), 0.0);
        std::fill(count.begin(), count.end(), 0);
        for_each_edge(mesh, [&](std::uint32_t a, std::uint32_t b) {
            const surface_point_t& pa = mesh.points[a];
            const surface_point_t& pb = mesh.points[b];
            const double facing = dot(pa.normal, pb.normal);
            if (!(facing > -0.99))  // nearly opposite normals: a fold, no offset to take
                return;
            const double s = dot(add(pa.normal, pb.normal), sub(pb.position, pa.position)) / (1.0 + facing);
            offset[a] += 0.5 * s;
            offset[b] -= 0.5 * s;
            ++count[a];
            ++count[b];
        });
        for (std::size_t i = 0; i < mesh.points.size(); ++i) {
            surface_point_t& p = mesh.points[i];
            if (count[i] > 0 && movable(p, keep_planes))
                p.position = add(p.position, mul(p.normal, offset[i] / count[i]));
        }
    }
}

void old_smooth(surface_mesh_t& mesh)
{
    std::vector<vertex3d> sum(mesh.points.size());
    std::vector<int> count(mesh.points.size());
    for_each_edge(mesh, [&](std::uint32_t a, std::uint32_t b) {
        sum[a] = add(sum[a], mesh.points[b].position);
        sum[b] = add(sum[b], mesh.points[a].position);
        ++count[a];
        ++count[b];
    });
    for (std::size_t i = 0; i < mesh.points.size(); ++i) {
        surface_point_t& p = mesh.points[i];
        if (count[i] > 0 && p.kind != SURF_POINT_FIXED)
            p.position = lerp(p.position, mul(sum[i], 1.0 / count[i]), 0.5);
    }
}

void smooth_surface(surface_mesh_t& mesh, int strength, int type, bool keep_planes)
{
    if (strength <= 0)
        return;
    if (type == SURF_SMOOTH_PRE_4_7) {
        for (int i = 0; i < strength; ++i)
            old_smooth(mesh);
    } else {
        laplacian_smooth_normals(mesh, strength * strength - 1);
        standard_smooth(mesh, strength * strength + 5, keep_planes);
    }
    recalc_normals(mesh);
}

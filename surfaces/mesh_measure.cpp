// Volume, orientation and normals of a triangle mesh.
#include "mesh_measure.h"

#include <utility>

#include "surfaces/surface_geometry.h"

enclosed_t enclosed(const surface_mesh_t& mesh)
{
    // Relative to a point of the mesh: sums of large cancelling terms lose
    // precision when the mesh lies far from the world origin.
    const vertex3d o = mesh.points.empty() ? vertex3d{} : mesh.points.front().position;
    double v = 0.0;
    vertex3d moment;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d a = sub(mesh.points[t.points[0]].position, o);
        const vertex3d b = sub(mesh.points[t.points[1]].position, o);
        const vertex3d c = sub(mesh.points[t.points[2]].position, o);
        const double tv = dot(a, cross(b, c)) / 6.0;
        v += tv;
        moment = add(moment, mul(add(a, add(b, c)), tv / 4.0));
    }
    enclosed_t e;
    e.volume = v;
    e.centre = v != 0.0 ? add(o, mul(moment, 1.0 / v)) : o;
    return e;
}

void orient_outwards(surface_mesh_t& mesh)
{
    if (enclosed(mesh).volume >= 0.0)
        return;
    for (surface_triangle_t& t : mesh.triangles)
        std::swap(t.points[1], t.points[2]);
}

void recalc_normals(surface_mesh_t& mesh)
{
    std::vector<vertex3d> sum(mesh.points.size());
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d& a = mesh.points[t.points[0]].position;
        const vertex3d n = cross(sub(mesh.points[t.points[1]].position, a), sub(mesh.points[t.points[2]].position, a));
        for (std::uint32_t i : t.points)
            sum[i] = add(sum[i], n);
    }
    for (std::size_t i = 0; i < mesh.points.size(); ++i) {
        const double l = length(sum[i]);
        mesh.points[i].normal = l > 0.0 ? mul(sum[i], 1.0 / l) : vertex3d{};
    }
}

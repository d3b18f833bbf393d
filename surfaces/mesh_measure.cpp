// Volume, orientation and normals of a triangle mesh.
#include "mesh_measure.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "surfaces/surface_geometry.h"

namespace {

// The measure from six times the volume and 24 times its moment about o.
enclosed_t measured(const vertex3d& o, double six, const vertex3d& moment)
{
    enclosed_t e;
    e.volume = six / 6.0;
    e.centre = e.volume != 0.0 ? add(o, mul(moment, 1.0 / (24.0 * e.volume))) : o;
    return e;
}

}  // namespace

enclosed_t enclosed(const surface_mesh_t& mesh)
{
    // Relative to a point of the mesh: sums of large cancelling terms lose
    // precision when the mesh lies far from the world origin.
    const vertex3d o = mesh.points.empty() ? vertex3d{} : mesh.points.front().position;
    // Six times the volume and 24 times its moment: divided once at the end.
    double six = 0.0;
    vertex3d moment;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d a = sub(mesh.points[t.points[0]].position, o);
        const vertex3d b = sub(mesh.points[t.points[1]].position, o);
        const vertex3d c = sub(mesh.points[t.points[2]].position, o);
        const double tv = dot(a, cross(b, c));
        six += tv;
        moment = add(moment, mul(add(a, add(b, c)), tv));
    }
    return measured(o, six, moment);
}

void orient_outwards(surface_mesh_t& mesh)
{
    if (enclosed(mesh).volume < 0.0)
        flip_triangles(mesh);
}

void flip_triangles(surface_mesh_t& mesh)
{
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

enclosed_t outward_with_normals(surface_mesh_t& mesh)
{
    // One pass over the triangles for both: the same sums as enclosed() and
    // recalc_normals(). Turning every triangle round negates each term exactly.
    const vertex3d o = mesh.points.empty() ? vertex3d{} : mesh.points.front().position;
    // The normals' sums gather in the points themselves: no buffer of their own to allocate and fill.
    for (surface_point_t& p : mesh.points)
        p.normal = {};
    double six = 0.0;
    vertex3d moment;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d& pa = mesh.points[t.points[0]].position;
        const vertex3d& pb = mesh.points[t.points[1]].position;
        const vertex3d& pc = mesh.points[t.points[2]].position;
        const vertex3d a = sub(pa, o), b = sub(pb, o), c = sub(pc, o);
        const double tv = dot(a, cross(b, c));
        six += tv;
        moment = add(moment, mul(add(a, add(b, c)), tv));
        const vertex3d n = cross(sub(pb, pa), sub(pc, pa));
        for (std::uint32_t i : t.points)
            mesh.points[i].normal = add(mesh.points[i].normal, n);
    }
    enclosed_t e = measured(o, six, moment);
    const double side = e.volume < 0.0 ? -1.0 : 1.0;
    if (e.volume < 0.0) {
        flip_triangles(mesh);
        e.volume = -e.volume;
    }
    for (surface_point_t& p : mesh.points) {
        const double l = length(p.normal);
        p.normal = l > 0.0 ? mul(p.normal, side / l) : vertex3d{};
    }
    return e;
}

double surface_area(const surface_mesh_t& mesh)
{
    double twice = 0.0;
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d& a = mesh.points[t.points[0]].position;
        const vertex3d& b = mesh.points[t.points[1]].position;
        const vertex3d& c = mesh.points[t.points[2]].position;
        const vertex3d ab{b.x - a.x, b.y - a.y, b.z - a.z}, ac{c.x - a.x, c.y - a.y, c.z - a.z};
        twice += std::sqrt(std::pow(ab.y * ac.z - ab.z * ac.y, 2) + std::pow(ab.z * ac.x - ab.x * ac.z, 2) +
                           std::pow(ab.x * ac.y - ab.y * ac.x, 2));
    }
    return twice / 2.0;
}

surface_mesh_t merged_mesh(const std::vector<const surface_mesh_t*>& meshes)
{
    surface_mesh_t all;
    const bool coloured = !meshes.empty() && std::all_of(meshes.begin(), meshes.end(),
                                                         [](const surface_mesh_t* m) { return m->coloured(); });
    for (const surface_mesh_t* m : meshes) {
        const auto offset = static_cast<std::uint32_t>(all.points.size());
        all.points.insert(all.points.end(), m->points.begin(), m->points.end());
        if (coloured)
            all.colours.insert(all.colours.end(), m->colours.begin(), m->colours.end());
        for (surface_triangle_t t : m->triangles) {
            for (std::uint32_t& i : t.points)
                i += offset;
            all.triangles.push_back(t);
        }
    }
    return all;
}

#include "surface_colour.h"

#include <algorithm>
#include <cmath>

#include "common/vertex_math.h"
#include "display/cmap_fill.h"
#include "reconstruction/frame_sampling.h"
#include "reconstruction/reslice_default.h"

namespace {

// A frame as the sampler needs it: its plane and image.
struct frame_plane_t {
    vertex3d origin, ex, ey, normal;  // ex, ey unit
    const reslice_frame* frame = nullptr;
};

}  // namespace

std::vector<std::uint8_t> data_along_normals(const surface_mesh_t& mesh, const reslice_source& frames,
                                             const surface_colouring_t& how)
{
    std::vector<std::uint8_t> values(mesh.points.size(), 0);
    if (mesh.points.empty() || !(frames.sx > 0.0) || !(frames.sy > 0.0) || how.depth_pixels < 0)
        return values;
    const double pixel = 0.5 * (frames.sx + frames.sy);
    const double reach = std::max(suggested_bscan_half_thickness(frames), 0.5 * pixel);
    const int depth = std::min(how.depth_pixels, 1000);

    // Only frames whose image comes near the surface can hold a sample.
    vertex3d lo = mesh.points.front().position, hi = lo;
    for (const surface_point_t& p : mesh.points) {
        lo = {std::min(lo.x, p.position.x), std::min(lo.y, p.position.y), std::min(lo.z, p.position.z)};
        hi = {std::max(hi.x, p.position.x), std::max(hi.y, p.position.y), std::max(hi.z, p.position.z)};
    }
    const double margin = depth * pixel + reach;
    std::vector<frame_plane_t> planes;
    for (const reslice_frame& f : frames.frames) {
        frame_plane_t p{column(f.image_to_world, 3), column(f.image_to_world, 0), column(f.image_to_world, 1),
                        column(f.image_to_world, 2), &f};
        const double w = frames.sx * double(f.image.width()), h = frames.sy * double(f.image.height());
        bool near = true;
        const double corner_lo[3] = {lo.x - margin, lo.y - margin, lo.z - margin};
        const double corner_hi[3] = {hi.x + margin, hi.y + margin, hi.z + margin};
        for (int axis = 0; axis < 3 && near; ++axis) {
            const auto coord = [axis](const vertex3d& v) { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; };
            double a = coord(p.origin), b = a;
            for (const vertex3d& c : {p.origin + w * p.ex, p.origin + h * p.ey, p.origin + w * p.ex + h * p.ey}) {
                a = std::min(a, coord(c));
                b = std::max(b, coord(c));
            }
            near = b >= corner_lo[axis] && a <= corner_hi[axis];
        }
        if (near && f.image.pixels())
            planes.push_back(p);
    }

    const frame_sampler sampler{frames.zero_is_no_data, frames.bilinear};
    for (std::size_t i = 0; i < mesh.points.size(); ++i) {
        const surface_point_t& sp = mesh.points[i];
        const double nl = length(sp.normal);
        if (!(nl > 0.0) || !std::isfinite(nl))
            continue;
        const vertex3d n = (1.0 / nl) * sp.normal;
        int found = 0, best = 0;
        long sum = 0;
        for (int k = -depth; k <= depth; ++k) {
            const vertex3d q = sp.position + (k * pixel) * n;
            // The nearest frame whose slab holds the sample and whose image lies under it.
            const frame_plane_t* nearest = nullptr;
            double nearest_distance = reach, u = 0.0, v = 0.0;
            for (const frame_plane_t& p : planes) {
                const vertex3d d = q - p.origin;
                const double off = std::fabs(dot(d, p.normal));
                if (off > nearest_distance)
                    continue;
                const double pu = dot(d, p.ex) / frames.sx, pv = dot(d, p.ey) / frames.sy;
                if (pu < -0.5 || pv < -0.5 || pu > double(p.frame->image.width()) - 0.5 ||
                    pv > double(p.frame->image.height()) - 0.5)
                    continue;
                nearest = &p;
                nearest_distance = off;
                u = pu;
                v = pv;
            }
            if (!nearest)
                continue;
            const int value = sampler.sample(nearest->frame->image, u, v);
            if (value < 0)
                continue;
            if (found == 0)
                best = value;
            else if (how.type == reslice_compounding_t::maximum)
                best = std::max(best, value);
            else if (how.type == reslice_compounding_t::minimum)
                best = std::min(best, value);
            sum += value;
            ++found;
        }
        if (found > 0)
            values[i] = static_cast<std::uint8_t>(
                std::clamp(how.type == reslice_compounding_t::average ? int((sum + found / 2) / found) : best, 1, 255));
    }
    return values;
}

std::vector<rgb_t> grey_colours(const std::vector<std::uint8_t>& values, const byte_cmap_t* map)
{
    const byte_cmap_t& m = map ? *map : identity_grey_bytes();
    std::vector<rgb_t> colours(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        colours[i] = {m.red8[values[i]], m.green8[values[i]], m.blue8[values[i]]};
    return colours;
}

// libFuzzer harness: surfaces built from small arbitrary outline sets on a
// few arbitrarily placed frames (parallel, tilted, coincident, crossing),
// at a coarse grid: no crash, no endless loop, and a surface that is built
// has a finite positive volume, finite points and indices within its points;
// being closed, every frame plane cuts it in closed outlines only; lines of
// sight hit it at finite points; a curve through its points splits it or is
// refused, never crashes.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "fuzz_reader.h"
#include "surfaces/mesh_hit.h"
#include "surfaces/surface_curves.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_geometry.h"
#include "surfaces/surface_interp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    reader_t in{data, size};
    frame_placements placements;
    placements.sx = placements.sy = 0.05;
    contour_object object;
    const int frames = 2 + in.next<std::uint8_t>() % 5;
    for (int f = 0; f < frames; ++f) {
        frame_placement p;
        p.usable = true;
        p.sweep = in.next<std::uint8_t>() % 2;
        // Mostly a sweep of parallel frames, now and then turned or moved back.
        p.image_to_world.forward(0.0, 0.0, 0.2 * f + (in.next<std::uint8_t>() % 8) * 0.05,
                                 (in.next<std::int8_t>() % 16) * 2.0, (in.next<std::int8_t>() % 16) * 2.0, 0.0);
        placements.frames.push_back(p);
        for (int k = in.next<std::uint8_t>() % 3; k > 0; --k) {
            contour c;
            const int n = in.next<std::uint8_t>() % 24;
            for (int i = 0; i < n && in.size > 0; ++i)
                c.points.push_back({double(in.next<std::uint8_t>() % 64), double(in.next<std::uint8_t>() % 64)});
            object.set_for_frame(f).contours.push_back(std::move(c));
        }
    }
    surface_settings_t settings;
    settings.resolution = surface_resolution_step(in.next<std::uint8_t>() % 3);  // the coarse grids: quick runs
    settings.smooth_strength = in.next<std::uint8_t>() % 3;
    settings.smooth_type = in.next<std::uint8_t>() % 2;
    settings.cover = in.next<std::uint8_t>() % 2;
    landmarks problems;
    const auto surface = surface_interp::build(object, 0, placements, settings, &problems);
    if (!surface)
        return 0;
    if (!std::isfinite(surface->volume) || surface->volume < 0.0)
        std::abort();
    for (const surface_sequence_t& seq : surface->get_seq()) {
        for (const surface_point_t& p : seq.mesh.points)
            if (!std::isfinite(p.position.x) || !std::isfinite(p.position.y) || !std::isfinite(p.position.z))
                std::abort();
        for (const surface_triangle_t& t : seq.mesh.triangles)
            for (std::uint32_t i : t.points)
                if (i >= seq.mesh.points.size())
                    std::abort();
        for (const frame_placement& f : placements.frames)
            for (const contour& c : cut_mesh(seq.mesh, plane_of(f.image_to_world, placements.sx, placements.sy))) {
                if (!c.closed)
                    std::abort();
                for (const vertex2d& p : c.points)
                    if (!std::isfinite(p.x) || !std::isfinite(p.y))
                        std::abort();
            }
        if (!seq.mesh.points.empty()) {
            curve_t curve;
            curve.closed = true;
            for (std::size_t i = 0; i < seq.mesh.points.size(); i += 1 + seq.mesh.points.size() / 5)
                curve.points.push_back(seq.mesh.points[i].position);
            if (const auto split = split_mesh(seq.mesh, curve))
                if (split->first.triangles.size() + split->second.triangles.size() != seq.mesh.triangles.size())
                    std::abort();
        }
    }
    mesh_hit_t hit;
    const vertex3d through = surface->centre;
    for (const vertex3d& from : {vertex3d{-10, 0.3, 0.2}, vertex3d{0.1, 10, -0.4}, vertex3d{0.2, 0.1, 10}})
        if (surface->surface_intersection(from, through, &hit) &&
            (!std::isfinite(hit.point.x + hit.point.y + hit.point.z) || hit.t < 0.0 || hit.t > 1.0))
            std::abort();
    return 0;
}

#include "surface_sections.h"

#include <memory>
#include <vector>

#include "reconstruction/reslice_geometry.h"
#include "resources/resource_table.h"
#include "surfaces/surface_cut.h"
#include "surfaces/surface_interp.h"

namespace {

// Sections are simplified to a tenth of a pixel: finer than any reslice
// pixel, far fewer points than the mesh gives.
constexpr double section_tolerance = 0.1;

}  // namespace

surface_sections_fn surface_sections_from_session()
{
    std::vector<std::shared_ptr<const surface_interp>> held;
    if (res)
        for (const auto* slot : res->RES_SURFACE)
            held.push_back(slot ? slot->value() : nullptr);
    return [held = std::move(held)](int surface, const reslice_plane& plane,
                                    double offset) -> std::optional<reslice_sections> {
        if (surface < 0 || static_cast<std::size_t>(surface) >= held.size() || !held[static_cast<std::size_t>(surface)])
            return std::nullopt;
        const vertex3d origin = plane.reslice_to_world(0.0, 0.0, offset);
        const plane_t cut_plane = plane_through(origin, plane.reslice_to_world(1.0, 0.0, offset) - origin,
                                                plane.reslice_to_world(0.0, 1.0, offset) - origin);
        reslice_sections sections;
        for (contour& c : held[static_cast<std::size_t>(surface)]->intersection_contour(cut_plane, section_tolerance))
            sections.push_back(std::move(c.points));
        return sections;
    };
}

reslice_source source_with_surfaces_from_session()
{
    reslice_source source = source_from_session();
    source.surface_sections = surface_sections_from_session();
    return source;
}

#include "thickness_settings.h"

#include <algorithm>
#include <cmath>

#include "resources/resource_table.h"
#include "thickness/outliers.h"

namespace {

// A density or blur: finite, else "estimated".
double known_or_unknown(double v, bool positive)
{
    if (!std::isfinite(v) || v >= thickness_unknown || (positive && !(v > 0.0)))
        return thickness_unknown;
    return v;
}

thickness_switches_t switches_held()
{
    thickness_switches_t s;
    s.threshold = res->RES_THICKNESS_THRESHOLD->value();
    s.fwhm = res->RES_THICKNESS_FWHM->value();
    s.post_blur = res->RES_THICKNESS_POST_BLUR->value();
    s.local_density = res->RES_THICKNESS_LOCAL_DENSITY->value();
    s.endo_model = res->RES_THICKNESS_ENDO_MODEL->value();
    s.a = res->RES_THICKNESS_A->value();
    s.b = res->RES_THICKNESS_B->value();
    s.c = res->RES_THICKNESS_C->value();
    s.gauss = res->RES_THICKNESS_GAUSS->value();
    s.rect = res->RES_THICKNESS_RECT->value();
    s.width = res->RES_THICKNESS_WIDTH->value();
    return s;
}

}  // namespace

thickness_config_t thickness_config_from_settings()
{
    thickness_config_t c;
    const double line = res->RES_THICKNESS_LINE->value();
    c.line_cm = std::isfinite(line) && line > 0.0 && line <= 20.0 ? line : thickness_config_t{}.line_cm;
    c.width = std::clamp(res->RES_THICKNESS_WIDTH->value(), 0L, 16L);
    c.in_frame = res->RES_THICKNESS_IN_FRAME->value();
    c.a = known_or_unknown(res->RES_THICKNESS_A->value(), false);
    c.b = known_or_unknown(res->RES_THICKNESS_B->value(), false);
    c.c = known_or_unknown(res->RES_THICKNESS_C->value(), false);
    c.gauss_mm = known_or_unknown(res->RES_THICKNESS_GAUSS->value(), true);
    const double rect = res->RES_THICKNESS_RECT->value();
    c.rect_mm = std::isfinite(rect) && rect > 0.0 && rect < thickness_unknown ? rect : 0.0;
    c.fwhm_rule = res->RES_THICKNESS_FWHM->value();
    c.post_blur = res->RES_THICKNESS_POST_BLUR->value();
    c.endo_model = res->RES_THICKNESS_ENDO_MODEL->value();
    c.threshold = res->RES_THICKNESS_THRESHOLD->value();
    c.local_density = res->RES_THICKNESS_LOCAL_DENSITY->value();
    c.metal = res->RES_THICKNESS_METAL->value();
    c.inner_layer = res->RES_THICKNESS_INNER_LAYER->value();
    c.outer_layer = res->RES_THICKNESS_OUTER_LAYER->value();
    return c;
}

std::vector<thickness_control_t> thickness_controls_fixed_by(long type)
{
    thickness_switches_t s;
    return apply_technique(type, &s);
}

std::vector<thickness_control_t> choose_thickness_technique(long type)
{
    thickness_switches_t s = switches_held();
    const std::vector<thickness_control_t> fixed = apply_technique(type, &s);
    if (type < 0 || type >= long(std::size(thickness_technique_names)))
        return fixed;
    res->RES_THICKNESS_TYPE->write(type);
    res->RES_THICKNESS_THRESHOLD->write(s.threshold);
    res->RES_THICKNESS_FWHM->write(s.fwhm);
    res->RES_THICKNESS_POST_BLUR->write(s.post_blur);
    res->RES_THICKNESS_LOCAL_DENSITY->write(s.local_density);
    res->RES_THICKNESS_ENDO_MODEL->write(s.endo_model);
    res->RES_THICKNESS_A->write(s.a);
    res->RES_THICKNESS_B->write(s.b);
    res->RES_THICKNESS_C->write(s.c);
    res->RES_THICKNESS_GAUSS->write(s.gauss);
    res->RES_THICKNESS_RECT->write(s.rect);
    res->RES_THICKNESS_WIDTH->write(s.width);
    return fixed;
}

long alternate_surface_object()
{
    const long object = res->RES_THICKNESS_SURF->value();
    if (object < 0 || object >= long(resource_t::surface_slots))
        return -1;
    return res->RES_SURFACE[std::size_t(object)]->value() ? object : -1;
}

std::size_t drop_outliers_as_set(const surface_mesh_t& mesh, thickness_results_t* results)
{
    const long distance = res->RES_THICKNESS_DISTANCE_REJECT->value();
    if (distance <= 0)
        return 0;
    return find_outliers(mesh, res->RES_THICKNESS_OUTLIER_REJECT->value(), distance, results);
}

cortex_parts_t cortex_parts_from_settings()
{
    cortex_parts_t parts{res->RES_THICKNESS_CREATE_INNER->value(), res->RES_THICKNESS_CREATE_OUTER->value(),
                         res->RES_THICKNESS_CREATE_CAPS->value()};
    if (!parts.inner && !parts.outer && !parts.caps)
        return cortex_parts_t{};
    return parts;
}

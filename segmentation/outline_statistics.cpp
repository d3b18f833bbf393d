#include "outline_statistics.h"

#include <cmath>

#include "common/dynabuf.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"

namespace {

const wxString no_area = "Area: ---.--- sq mm";
const wxString no_perimeter = "Perimeter: ---.--- mm";
const wxString no_centre = "Centre: (---.-, ---.-, ---.-) mm";
const wxString no_volume = "Volume: ---.--- ml";

wxString data_text(double mean, const data_meaning& m)
{
    switch (m.kind) {
    case data_meaning::ct: {
        const double hu = mean * m.hu_slope + m.hu_offset;
        if (!std::isfinite(hu))
            return {};
        if (m.bone_density) {
            const double density = hu * m.density_scale + m.density_offset;
            if (std::isfinite(density))
                return wxString::Format("Average data value is %.0f HU, %.0f mg/cm^3 within this object", hu, density);
        }
        return wxString::Format("Average data value is %.0f HU within this object", hu);
    }
    case data_meaning::strain:
        // Strain frames carry display codes only until strain estimation lands.
        return "Strain unknown within this object";
    case data_meaning::grey:
        break;
    }
    return wxString::Format("Average data value is %0.4f within this object", mean);
}

}  // namespace

bool sum_inside_region(contour_set& set, const cip_t& frame, bool samples, double* sum, std::size_t* count)
{
    *sum = 0.0;
    *count = 0;
    if (frame.empty() || (samples && !frame.has_samples()))
        return false;
    const auto labels = set.region(1, false);
    if (!labels)
        return false;
    const long w = frame.width(), h = frame.height();
    const std::uint8_t* pixels = frame.pixels();
    const std::uint16_t* values = frame.samples();
    // Only the part of the box that lies on the frame.
    const long x_from = std::max<long>(labels->x0, 0), x_to = std::min<long>(labels->x0 + labels->width, w);
    const long y_from = std::max<long>(labels->y0, 0), y_to = std::min<long>(labels->y0 + labels->height, h);
    for (long y = y_from; y < y_to; ++y)
        for (long x = x_from; x < x_to; ++x)
            if (labels->at(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)) > 0) {
                const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                      static_cast<std::size_t>(x);
                *sum += samples ? values[i] : pixels[i];
                ++*count;
            }
    return *count > 0;
}

bool value_inside_region(contour_set& set, const cip_t& frame, bool samples, double* mean)
{
    double sum = 0.0;
    std::size_t count = 0;
    if (!sum_inside_region(set, frame, samples, &sum, &count))
        return false;
    *mean = sum / static_cast<double>(count);
    return true;
}

outline_statistics measure_outlines(contour_object& object, long frame, const frame_placements& placements,
                                    const cip_t& frame_image, const data_meaning& meaning,
                                    std::optional<surface_summary_t> surface)
{
    outline_statistics s{no_area, no_perimeter, no_centre, no_volume, wxEmptyString};
    const double sx = placements.sx, sy = placements.sy;
    contour_set* set = frame >= 0 && frame <= INT32_MAX ? object.find_set(static_cast<std::int32_t>(frame)) : nullptr;
    if (set && placements.scales_usable()) {
        set->region(1, true);
        const double area = set->area * 100.0 * sx * sy;
        if (set->measured() && std::isfinite(area))
            s.area = wxString::Format("Area: %.3lf sq mm", area);
        const double perimeter = set->perimeter(sy / sx) * 10.0 * sx;
        if (!set->contours.empty() && perimeter > 0.0 && std::isfinite(perimeter))
            s.perimeter = wxString::Format("Perimeter: %.3lf mm", perimeter);
        area3d_t section;
        if (cross_section(*set, placements, &section))
            s.centre = wxString::Format("Centre: (%.1lf, %.1lf, %.1lf) mm", 10.0 * section.centroid.x,
                                        10.0 * section.centroid.y, 10.0 * section.centroid.z);
        double mean = 0.0;
        if (value_inside_region(*set, frame_image, meaning.kind == data_meaning::ct, &mean)) {
            s.data = data_text(mean, meaning);
        }
    }
    if (surface && std::isfinite(surface->centre.x) && std::isfinite(surface->centre.y) &&
        std::isfinite(surface->centre.z))
        s.centre = wxString::Format("Centre: (%.1lf, %.1lf, %.1lf) mm", 10.0 * surface->centre.x,
                                    10.0 * surface->centre.y, 10.0 * surface->centre.z);
    const double volume = surface ? surface->volume : planimetry_volume(object, placements);
    if (!surface)
        object.volume = volume;
    if (volume > 0.0 && std::isfinite(volume))
        s.volume = wxString::Format("Volume: %.3lf ml", volume);
    return s;
}

data_meaning data_meaning_from_session()
{
    data_meaning m;
    if (!res)
        return m;
    if (res->RES_BUF_DICOM->value()) {
        m.kind = data_meaning::ct;
        m.hu_slope = res->RES_DICOM_HUM->value();
        m.hu_offset = res->RES_DICOM_HUB->value();
        m.bone_density = res->RES_DICOM_BMD_PHANTOM->value() != "No";
        m.density_scale = res->RES_DICOM_BMD_SCALE->value();
        m.density_offset = res->RES_DICOM_BMD_OFFSET->value();
    } else if (res->RES_BUF_RF->value() && res->RES_RF_DISPLAY->value() == 3) {
        m.kind = data_meaning::strain;
    }
    return m;
}

outline_statistics measure_outlines_from_session(int object, long frame, std::optional<surface_summary_t> surface)
{
    const std::shared_ptr<object_table>& objects = res ? res->RES_OBJECT->value() : nullptr;
    if (!objects || object < 0 || object >= object_table::size) {
        contour_object none;
        return measure_outlines(none, -1, {}, {}, {});
    }
    const cip_t image = bufp && frame >= 0 && frame < bufp->frames() ? bufp->imagecp(frame) : cip_t{};
    return measure_outlines((*objects)[object], frame, placements_from_session(), image, data_meaning_from_session(),
                            surface);
}

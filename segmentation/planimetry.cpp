#include "planimetry.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/dynabuf.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_geometry.h"
#include "reconstruction/reslice_sweeps.h"
#include "resources/resource_table.h"

bool frame_placements::scales_usable() const
{
    return sx > 0.0 && sy > 0.0 && std::isfinite(sx) && std::isfinite(sy);
}

const frame_placement* frame_placements::at(long frame) const
{
    if (frame < 0 || static_cast<std::size_t>(frame) >= frames.size() || !frames[frame].usable)
        return nullptr;
    return &frames[frame];
}

frame_placements placements_from_session()
{
    frame_placements placements;
    if (!res || !bufp)
        return placements;
    placements.sx = res->RES_XSCALE->value();
    placements.sy = res->RES_YSCALE->value();
    const matrix16d calibration = calibration_from_session();
    const long last = bufp->frames() - 1;
    const std::shared_ptr<multi_sweeps>& sweeps = res->RES_SWEEPS->value();
    const std::vector<long> firsts = kept_sweep_firsts(sweeps ? sweeps->first_frames : std::vector<long>{}, last);
    placements.frames.resize(static_cast<std::size_t>(std::max(0L, bufp->frames())));
    for (long i = 0; i <= last; ++i) {
        frame_placement& p = placements.frames[static_cast<std::size_t>(i)];
        p.usable = frame_transform(bufp->positioncp(i), calibration, &p.image_to_world);
        // Frames before the first boundary belong to the first sweep.
        const auto after = std::upper_bound(firsts.begin(), firsts.end(), i);
        p.sweep = std::max<long>(0, static_cast<long>(after - firsts.begin()) - 1);
    }
    return placements;
}

vertex3d extrapolate_3d_point(const vertex3d& a, const vertex3d& b)
{
    return 2.0 * b - a;
}

std::array<vertex3d, 4> catmull_rom_3d_curve(const vertex3d& p0, const vertex3d& p1, const vertex3d& p2,
                                             const vertex3d& p3)
{
    return {-0.5 * p0 + 1.5 * p1 - 1.5 * p2 + 0.5 * p3, p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3, -0.5 * p0 + 0.5 * p2,
            p1};
}

void interpolate_normal_3d_curves(std::vector<area3d_t>& list)
{
    const std::size_t n = list.size();
    if (n < 3)
        return;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        auto fit = [&](auto member) {
            const vertex3d& p1 = list[i].*member;
            const vertex3d& p2 = list[i + 1].*member;
            const vertex3d p0 = i > 0 ? list[i - 1].*member : extrapolate_3d_point(p2, p1);
            const vertex3d p3 = i + 2 < n ? list[i + 2].*member : extrapolate_3d_point(p1, p2);
            return catmull_rom_3d_curve(p0, p1, p2, p3);
        };
        list[i].centroid_cubic = fit(&area3d_t::centroid);
        list[i].area_cubic = fit(&area3d_t::area_vector);
    }
}

double calculate_3dparametric_volume(const area3d_t& s)
{
    const auto& [a, b, c, d] = s.centroid_cubic;
    const auto& [e, f, g, h] = s.area_cubic;
    (void)d;  // the centroid's constant term has no derivative
    return 3.0 * dot(a, e) / 6.0 + (3.0 * dot(a, f) + 2.0 * dot(b, e)) / 5.0 +
           (3.0 * dot(a, g) + 2.0 * dot(b, f) + dot(c, e)) / 4.0 +
           (3.0 * dot(a, h) + 2.0 * dot(b, g) + dot(c, f)) / 3.0 + (2.0 * dot(b, h) + dot(c, g)) / 2.0 + dot(c, h);
}

double calculate_3dlinear_volume(const area3d_t& first, const area3d_t& second)
{
    return 0.5 * dot(first.area_vector + second.area_vector, second.centroid - first.centroid);
}

bool cross_section(contour_set& set, const frame_placements& placements, area3d_t* out)
{
    const frame_placement* frame = placements.at(set.frame);
    if (!frame || !placements.scales_usable())
        return false;
    if (set.area < 0.0)
        set.region(1, true);
    if (!set.measured())
        return false;
    const matrix16d& m = frame->image_to_world;
    const vertex3d origin = m * vertex3d{0.0, 0.0, 0.0};
    const vertex3d normal = m * vertex3d{0.0, 0.0, 1.0} - origin;  // unit: the transform is rigid
    out->centroid = m * vertex3d{set.centroid_x * placements.sx, set.centroid_y * placements.sy, 0.0};
    out->area_vector = (set.area * placements.sx * placements.sy) * normal;
    return std::isfinite(dot(out->centroid, out->centroid)) && std::isfinite(dot(out->area_vector, out->area_vector));
}

double planimetry_volume(contour_object& object, const frame_placements& placements)
{
    std::map<long, std::vector<area3d_t>> sweeps;  // sets are in frame order, so each list is too
    for (contour_set& set : object.sets) {
        area3d_t section;
        if (cross_section(set, placements, &section))
            sweeps[placements.at(set.frame)->sweep].push_back(section);
    }
    double volume = 0.0;
    for (auto& [sweep, list] : sweeps) {
        if (list.size() == 2) {
            volume += std::fabs(calculate_3dlinear_volume(list[0], list[1]));
        } else if (list.size() > 2) {
            interpolate_normal_3d_curves(list);
            double sum = 0.0;
            for (std::size_t i = 0; i + 1 < list.size(); ++i)
                sum += calculate_3dparametric_volume(list[i]);
            volume += std::fabs(sum);
        }
    }
    return std::isfinite(volume) ? volume : 0.0;
}

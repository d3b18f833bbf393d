#include "landmark_measure.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

#include "common/dynabuf.h"
#include "reconstruction/reslice_frames.h"
#include "resources/resource_table.h"

namespace {

bool finite(const vertex3d& p)
{
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

vertex3d minus(const vertex3d& a, const vertex3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

double length(const vertex3d& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

}  // namespace

std::optional<vertex3d> world_position(const landmark_t& mark, const frame_geometry_t& frames)
{
    if (mark.kind != LMARK_2D)
        return finite(mark.position) ? std::optional<vertex3d>(mark.position) : std::nullopt;
    if (!frames.placement || !std::isfinite(frames.sx) || !std::isfinite(frames.sy))
        return std::nullopt;
    const std::optional<matrix16d> m = frames.placement(mark.index);
    if (!m)
        return std::nullopt;
    const vertex3d p = *m * vertex3d{mark.position.x * frames.sx, mark.position.y * frames.sy, 0.0};
    return finite(p) ? std::optional<vertex3d>(p) : std::nullopt;
}

frame_geometry_t frame_geometry_from_session()
{
    frame_geometry_t g;
    if (!res || !bufp)
        return g;
    g.sx = res->RES_XSCALE->value();
    g.sy = res->RES_YSCALE->value();
    const matrix16d calibration = calibration_from_session();
    g.placement = [calibration](long frame) -> std::optional<matrix16d> {
        if (!bufp || frame < 0 || frame >= bufp->frames())
            return std::nullopt;
        matrix16d m;
        if (!frame_transform(bufp->positioncp(frame), calibration, &m))
            return std::nullopt;
        return m;
    };
    return g;
}

std::optional<double> distance_mm(const std::optional<vertex3d>& a, const std::optional<vertex3d>& b)
{
    if (!a || !b)
        return std::nullopt;
    const double d = 10.0 * length(minus(*a, *b));
    return std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
}

std::optional<double> angle_deg(const std::optional<vertex3d>& a, const std::optional<vertex3d>& apex,
                                const std::optional<vertex3d>& b)
{
    if (!a || !apex || !b)
        return std::nullopt;
    const vertex3d u = minus(*a, *apex), v = minus(*b, *apex);
    const double lu = length(u), lv = length(v);
    if (!(lu > 0.0) || !(lv > 0.0) || !std::isfinite(lu) || !std::isfinite(lv))
        return std::nullopt;
    // Rounding can carry the cosine of a straight angle just past 1.
    const double c = std::clamp((u.x * v.x + u.y * v.y + u.z * v.z) / (lu * lv), -1.0, 1.0);
    return std::acos(c) * 180.0 / std::numbers::pi;
}

wxString measurement_text(const std::optional<double>& value)
{
    if (!value || !std::isfinite(*value))
        return "--.--";
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *value, std::chars_format::fixed, 2);
    return ec == std::errc() ? wxString(buf, static_cast<std::size_t>(end - buf)) : wxString("--.--");
}

std::vector<measurement_row_t> measure(const landmarks& marks, const std::vector<landmark_index>& selected,
                                       const frame_geometry_t& frames)
{
    std::vector<measurement_row_t> rows;
    std::vector<std::optional<vertex3d>> world;
    for (const landmark_index i : selected) {
        if (i >= marks.list.size())
            continue;
        measurement_row_t row;
        row.mark = i;
        const std::optional<vertex3d> p = world_position(marks.list[i], frames);
        if (p)
            row.world_mm = vertex3d{p->x * 10.0, p->y * 10.0, p->z * 10.0};
        const std::size_t k = world.size();
        if (k >= 1)
            row.distance_mm = distance_mm(world[k - 1], p);
        if (k >= 2)
            row.angle_deg = angle_deg(world[k - 2], world[k - 1], p);
        world.push_back(p);
        rows.push_back(row);
    }
    return rows;
}

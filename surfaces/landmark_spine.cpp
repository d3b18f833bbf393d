#include "landmark_spine.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "landmark_list.h"
#include "reconstruction/reslice_geometry.h"

namespace {

struct v3 {
    double x = 0, y = 0, z = 0;
};

v3 of(const vertex3d& p)
{
    return {p.x, p.y, p.z};
}
v3 operator-(const v3& a, const v3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
v3 operator+(const v3& a, const v3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
v3 operator*(double k, const v3& a)
{
    return {k * a.x, k * a.y, k * a.z};
}
double dot(const v3& a, const v3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
v3 cross(const v3& a, const v3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// Nullopt for a vector too short to give a direction (coincident points) or not finite.
std::optional<v3> unit(const v3& a)
{
    const double l = std::sqrt(dot(a, a));
    if (!std::isfinite(l) || l < 1e-9)
        return std::nullopt;
    return (1.0 / l) * a;
}

double degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

// By name, so that spine landmarks read from a recording (saved as plain
// LANDMARK lines) count before their indices were derived.
std::optional<v3> spine_point(const landmarks& marks, int vertebra, int mark)
{
    const wxString name =
        vertebra == spine::reference_vertebra ? spine::reference_name(mark) : spine::landmark_name(vertebra, mark);
    const auto i = find(marks, name);
    if (!i || (marks.list[*i].kind != LMARK_SPINE && marks.list[*i].kind != LMARK_3D))
        return std::nullopt;
    const vertex3d& p = marks.list[*i].position;
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        return std::nullopt;
    return of(p);
}

struct reference_frame {
    v3 lateral, normal;
};

std::optional<reference_frame> reference(const landmarks& marks, spine_reference_mode mode, wxString* status)
{
    const auto left = spine_point(marks, spine::reference_vertebra, spine::left_lower);
    const auto right = spine_point(marks, spine::reference_vertebra, spine::right_lower);
    const auto centre = spine_point(marks, spine::reference_vertebra, spine::central_upper);
    const std::optional<v3> across = left && right ? unit(*right - *left) : std::nullopt;
    if (!across) {
        *status = "No left/right reference";
        return std::nullopt;
    }
    const std::optional<v3> normal = centre ? unit(cross(*right - *left, *centre - *left)) : std::nullopt;
    if (!normal) {  // missing, or on the line through the other two
        *status = "No centre reference";
        return std::nullopt;
    }
    if (mode == spine_reference_mode::left_right) {
        *status = "Using left/right references";
        return reference_frame{*across, *normal};
    }
    const std::optional<v3> up = unit(*centre - 0.5 * (*left + *right));
    const std::optional<v3> lateral = up ? unit(cross(*up, *normal)) : std::nullopt;
    if (!lateral) {
        *status = "No centre reference";
        return std::nullopt;
    }
    *status = "Using centre reference";
    return reference_frame{*lateral, *normal};
}

// The vertebra's left-to-right lamina direction in the reference plane.
std::optional<v3> vertebra_direction(const landmarks& marks, int vertebra, const v3& normal)
{
    const auto left = spine_point(marks, vertebra, spine::left_lamina);
    const auto right = spine_point(marks, vertebra, spine::right_lamina);
    if (!left || !right)
        return std::nullopt;
    const v3 d = *right - *left;
    return unit(d - dot(d, normal) * normal);
}

// asin and acos of a rounded product can see 1 + 1e-16: clamp, never NaN.
double asin_deg(double s)
{
    return degrees(std::asin(std::clamp(s, -1.0, 1.0)));
}
double acos_deg(double c)
{
    return degrees(std::acos(std::clamp(c, -1.0, 1.0)));
}

}  // namespace

spine_assessment_t assess_spine(const landmarks& marks, spine_reference_mode mode,
                                std::optional<std::pair<int, int>> manual)
{
    spine_assessment_t a;
    a.cobb_status = "Not able to calculate Cobb angle";
    const std::optional<reference_frame> frame = reference(marks, mode, &a.reference_status);
    if (!frame)
        return a;
    std::array<std::optional<v3>, spine::vertebra_count> direction;
    for (int v = 0; v < spine::vertebra_count; ++v) {
        const auto d = vertebra_direction(marks, v, frame->normal);
        direction[static_cast<std::size_t>(v)] = d;
        if (d)
            a.tilt[static_cast<std::size_t>(v)] = asin_deg(dot(cross(frame->lateral, *d), frame->normal));
    }
    int upper = -1, lower = -1;
    if (manual) {
        upper = std::min(manual->first, manual->second);
        lower = std::max(manual->first, manual->second);
        if (upper < 0 || lower >= spine::vertebra_count || upper == lower)
            return a;
    } else {
        double widest = -1.0;
        for (int i = 0; i < spine::vertebra_count; ++i)
            for (int j = i + 1; j < spine::vertebra_count; ++j) {
                const auto& ti = a.tilt[static_cast<std::size_t>(i)];
                const auto& tj = a.tilt[static_cast<std::size_t>(j)];
                if (ti && tj && std::abs(*ti - *tj) > widest) {
                    widest = std::abs(*ti - *tj);
                    upper = i;
                    lower = j;
                }
            }
        if (upper < 0)
            return a;
    }
    const auto& du = direction[static_cast<std::size_t>(upper)];
    const auto& dl = direction[static_cast<std::size_t>(lower)];
    if (!du || !dl)
        return a;
    // The two laminae lines taken in opposite senses: parallel vertebrae are
    // 180 degrees apart, which is a Cobb angle of 0.
    const v3 reversed = -1.0 * *dl;
    a.cobb_deg = 180.0 - acos_deg(dot(*du, reversed));
    a.upper = upper;
    a.lower = lower;
    a.cobb_status = wxString::Format(manual ? "Cobb angle is %.1f deg (manual)" : "Cobb angle is %.1f deg (auto)",
                                     *a.cobb_deg);
    return a;
}

bool has_spine_references(const landmarks& marks)
{
    return std::any_of(marks.list.begin(), marks.list.end(), [](const landmark_t& m) {
        return m.kind == LMARK_SPINE && m.vertebra == spine::reference_vertebra;
    });
}

void set_references_from_reslice(landmarks* marks, const reslice_plane& plane)
{
    std::erase_if(marks->list, [](const landmark_t& m) {
        return m.kind == LMARK_SPINE && m.vertebra == spine::reference_vertebra;
    });
    const double a = 0.25 * static_cast<double>(plane.width()) * plane.pixel_size();
    const v3 c = of(plane.centre()), e = of(plane.x_axis()), u = of(plane.up_axis());
    const v3 points[spine::reference_count] = {c - a * e - a * u, c + a * u, c + a * e - a * u};
    for (int r = 0; r < spine::reference_count; ++r) {
        const v3& p = points[r];
        set_spine_landmark(marks, {p.x, p.y, p.z}, spine::reference_vertebra, r);
    }
}

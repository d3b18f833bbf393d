#include "outliers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "common/vertex_math.h"

namespace {

double median(std::vector<double>& v)
{
    const auto middle = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), middle, v.end());
    if (v.size() % 2)
        return *middle;
    return 0.5 * (*middle + *std::max_element(v.begin(), middle));
}

}  // namespace

std::size_t find_outliers(const surface_mesh_t& mesh, long angle_degrees, long distance_hundredths,
                          thickness_results_t* results)
{
    const std::size_t n = mesh.points.size();
    if (results->points() != n || distance_hundredths < 0)
        return 0;
    const double cos_limit = std::cos(std::clamp(double(angle_degrees), 0.0, 180.0) * std::numbers::pi / 180.0);
    const double limit_mm = double(distance_hundredths) / 100.0;
    std::vector<std::vector<std::uint32_t>> neighbours(n);
    for (const surface_triangle_t& t : mesh.triangles)
        for (std::uint32_t a : t.points)
            for (std::uint32_t b : t.points)
                if (a != b && a < n && b < n)
                    neighbours[a].push_back(b);
    const auto& thick = results->values[thickness_results_t::thick];
    const auto& surface = results->values[thickness_results_t::surface];
    auto unit = [&](std::size_t i) {
        const double size = length(mesh.points[i].normal);
        return size > 0.0 && std::isfinite(size) ? (1.0 / size) * mesh.points[i].normal : vertex3d{};
    };
    std::vector<std::size_t> dropped;
    std::vector<double> thicknesses, edges;
    for (std::size_t i = 0; i < n; ++i) {
        if (thick[i] == thickness_unknown)
            continue;
        auto& list = neighbours[i];
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        thicknesses.clear();
        edges.clear();
        const vertex3d normal = unit(i);
        for (std::uint32_t j : list)
            if (thick[j] != thickness_unknown && surface[j] != thickness_unknown && dot(normal, unit(j)) >= cos_limit) {
                thicknesses.push_back(thick[j]);
                edges.push_back(surface[j]);
            }
        if (thicknesses.size() < 2)
            continue;
        if (std::fabs(thick[i] - median(thicknesses)) > limit_mm ||
            (surface[i] != thickness_unknown && std::fabs(surface[i] - median(edges)) > limit_mm))
            dropped.push_back(i);
    }
    for (std::size_t i : dropped)
        results->set(i, point_result_t{});
    return dropped.size();
}

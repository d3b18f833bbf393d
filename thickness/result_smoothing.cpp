#include "result_smoothing.h"

#include <algorithm>
#include <cmath>

#include "thickness/profile_model.h"

namespace {

std::vector<std::vector<std::uint32_t>> neighbours_of(const surface_mesh_t& mesh)
{
    std::vector<std::vector<std::uint32_t>> n(mesh.points.size());
    for (const surface_triangle_t& t : mesh.triangles)
        for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b)
                if (a != b && t.points[std::size_t(a)] < n.size() && t.points[std::size_t(b)] < n.size())
                    n[t.points[std::size_t(a)]].push_back(t.points[std::size_t(b)]);
    for (auto& list : n) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    return n;
}

}  // namespace

void smooth_results(const surface_mesh_t& mesh, std::vector<double>* values, std::vector<double>* errors, int passes,
                    int fill_passes)
{
    const std::size_t n = mesh.points.size();
    if (values->size() != n || errors->size() != n)
        return;
    const auto neighbours = neighbours_of(mesh);
    std::vector<double> v = *values, w(n, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        const double e = (*errors)[i];
        if (v[i] != thickness_unknown && std::isfinite(v[i]) && e != thickness_unknown && e > 0.0 && std::isfinite(e))
            w[i] = 1.0 / (e * e);
    }
    for (int pass = 0; pass < passes; ++pass) {
        std::vector<double> nv(n, thickness_unknown), nw(n, 0.0);
        for (std::size_t i = 0; i < n; ++i) {
            double sum = w[i] * (w[i] > 0.0 ? v[i] : 0.0), weight = w[i];
            for (std::uint32_t j : neighbours[i])
                if (w[j] > 0.0) {
                    sum += w[j] * v[j];
                    weight += w[j];
                }
            if (weight > 0.0) {
                nv[i] = sum / weight;
                nw[i] = weight;
            }
        }
        v.swap(nv);
        w.swap(nw);
    }
    for (int pass = 0; pass < fill_passes; ++pass) {
        std::vector<std::size_t> filled;
        std::vector<double> fv, fw;
        for (std::size_t i = 0; i < n; ++i) {
            if (w[i] > 0.0)
                continue;
            double sum = 0.0, weight = 0.0;
            int count = 0;
            for (std::uint32_t j : neighbours[i])
                if (w[j] > 0.0) {
                    sum += w[j] * v[j];
                    weight += w[j];
                    ++count;
                }
            if (count > 0) {
                filled.push_back(i);
                fv.push_back(sum / weight);
                fw.push_back(0.25 * weight / count);
            }
        }
        if (filled.empty())
            break;  // nothing new reached
        for (std::size_t k = 0; k < filled.size(); ++k) {
            v[filled[k]] = fv[k];
            w[filled[k]] = fw[k];
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        (*values)[i] = w[i] > 0.0 ? v[i] : thickness_unknown;
        (*errors)[i] = w[i] > 0.0 ? 1.0 / std::sqrt(w[i]) : thickness_unknown;
    }
}

// The registration iteration of fit_model: closest points on the warped
// surface through the hash grid, then one Levenberg-Marquardt fit of pose,
// scale and mode weights (the residuals are described in fit_model.h).
#include <algorithm>
#include <array>
#include <cmath>

#include <wx/log.h>

#include "calibration/minpack_drivers.h"
#include "common/interaction.h"
#include "models/fit_model.h"
#include "surfaces/surface_geometry.h"

// A target point and the point of a warped triangle closest to it.
struct ssm_pair_t {
    std::size_t target = 0;
    std::array<std::uint32_t, 3> vertex{};  // model vertices of the triangle
    std::array<double, 3> weight{};         // barycentric weights of the point
    double distance = 0.0;                  // cm
};

namespace {

constexpr double tangential_weight = 0.1;

// The point of triangle abc closest to p, as barycentric weights.
std::array<double, 3> closest_on_triangle(const vertex3d& p, const vertex3d& a, const vertex3d& b, const vertex3d& c)
{
    const vertex3d ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
    const double d1 = dot(ab, ap), d2 = dot(ac, ap);
    if (d1 <= 0.0 && d2 <= 0.0)
        return {1, 0, 0};
    const vertex3d bp = sub(p, b);
    const double d3 = dot(ab, bp), d4 = dot(ac, bp);
    if (d3 >= 0.0 && d4 <= d3)
        return {0, 1, 0};
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0) {
        const double v = d1 / (d1 - d3);
        return {1 - v, v, 0};
    }
    const vertex3d cp = sub(p, c);
    const double d5 = dot(ab, cp), d6 = dot(ac, cp);
    if (d6 >= 0.0 && d5 <= d6)
        return {0, 0, 1};
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0) {
        const double w = d2 / (d2 - d6);
        return {1 - w, 0, w};
    }
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0.0 && (d4 - d3) >= 0.0 && (d5 - d6) >= 0.0) {
        const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
        return {0, 1 - w, w};
    }
    const double sum = va + vb + vc;
    if (!(std::fabs(sum) > 0.0))  // a triangle of no area: its first corner will do
        return {1, 0, 0};
    const double v = vb / sum, w = vc / sum;
    return {1 - v - w, v, w};
}

}  // namespace

std::vector<ssm_pair_t> fit_model::find_pairs() const
{
    std::vector<ssm_pair_t> pairs;
    const double range = settings.search_range;
    std::vector<vertex3d> positions(warped_.points.size());
    for (std::size_t i = 0; i < positions.size(); ++i)
        positions[i] = warped_.points[i].position;
    point_grid_t grid;
    grid.build(positions);
    pairs.reserve(targets_.size());
    for (std::size_t j = 0; j < targets_.size(); ++j) {
        const vertex3d& p = targets_[j];
        double d2 = 0.0;
        const std::int64_t nearest = grid.nearest(p, range, &d2);
        if (nearest < 0)
            continue;
        ssm_pair_t best;
        best.target = j;
        best.vertex = {static_cast<std::uint32_t>(nearest), static_cast<std::uint32_t>(nearest),
                       static_cast<std::uint32_t>(nearest)};
        best.weight = {1, 0, 0};
        double best_d2 = d2;
        // The closest surface point lies on a triangle around the nearest vertex
        // unless the mesh folds sharply there; that is close enough to steer the fit.
        for (std::uint32_t k = ring_start_[static_cast<std::size_t>(nearest)];
             k < ring_start_[static_cast<std::size_t>(nearest) + 1]; ++k) {
            const ssm_triangle_t& t = triangles_[ring_[k]];
            const vertex3d& a = positions[t.points[0]];
            const vertex3d& b = positions[t.points[1]];
            const vertex3d& c = positions[t.points[2]];
            const std::array<double, 3> w = closest_on_triangle(p, a, b, c);
            const vertex3d q = add(add(mul(a, w[0]), mul(b, w[1])), mul(c, w[2]));
            const vertex3d d = sub(q, p);
            if (dot(d, d) < best_d2) {
                best_d2 = dot(d, d);
                best.vertex = t.points;
                best.weight = w;
            }
        }
        best.distance = std::sqrt(best_d2);
        pairs.push_back(best);
    }
    return pairs;
}

ssm_iteration_t fit_model::DoICP()
{
    ssm_iteration_t result;
    if (!loaded()) {
        wxLogError("First load a shape model\n");
        return result;
    }
    if (targets_.empty()) {
        wxLogError("First map some points from one of the objects");
        return result;
    }
    if (!(settings.search_range > 0.0) || !std::isfinite(settings.search_range)) {
        wxLogError("The search range must be above 0; the registration is unchanged.");
        return result;
    }
    const std::vector<ssm_pair_t> pairs = find_pairs();
    result.pairs = pairs.size();
    fit_pairs(pairs, &result);
    return result;
}

void fit_model::fit_pairs(const std::vector<ssm_pair_t>& pairs, ssm_iteration_t* result)
{
    const std::vector<int> used = modes_in_use();
    const std::size_t k_modes = used.size();
    const int n = 7 + static_cast<int>(k_modes);
    const std::size_t count = pairs.size();
    if (count < static_cast<std::size_t>(n)) {
        wxLogError(
            "Only %zu target points lie within the search range of the model, fewer than the %d values to "
            "fit; the registration is unchanged.",
            count, n);
        return;
    }
    const bool lad = settings.type == ssm_registration_t::lad;
    const std::size_t modes = eigenvalues_.size();

    // Where each pair's model point is now, and how it moves with each used
    // mode's weight (per sqrt(eigenvalue)), both in the world.
    std::vector<vertex3d> at(count), normal(count);
    std::vector<double> along(count * 3 * k_modes);
    std::vector<double> distances(count);
    double sum2 = 0.0;
    vertex3d centre;
    for (std::size_t j = 0; j < count; ++j) {
        const ssm_pair_t& p = pairs[j];
        vertex3d q;
        for (int c = 0; c < 3; ++c)
            q = add(q, mul(warped_.points[p.vertex[static_cast<std::size_t>(c)]].position,
                           p.weight[static_cast<std::size_t>(c)]));
        at[j] = q;
        vertex3d nq;
        for (int c = 0; c < 3; ++c)
            nq = add(nq, mul(warped_.points[p.vertex[static_cast<std::size_t>(c)]].normal,
                             p.weight[static_cast<std::size_t>(c)]));
        normal[j] = length(nq) > 0.0 ? mul(nq, 1.0 / length(nq)) : vertex3d{};
        centre = add(centre, q);
        distances[j] = p.distance;
        sum2 += p.distance * p.distance;
        for (std::size_t k = 0; k < k_modes; ++k) {
            const std::size_t m = static_cast<std::size_t>(used[k]);
            double d[3] = {0, 0, 0};
            for (int c = 0; c < 3; ++c) {
                const std::size_t v = p.vertex[static_cast<std::size_t>(c)];
                const double w = p.weight[static_cast<std::size_t>(c)];
                for (std::size_t a = 0; a < 3; ++a)
                    d[a] += w * basis_[(3 * v + a) * modes + m];
            }
            if (reflected_)
                d[0] = -d[0];
            const vertex3d moved = mul(rotate(rotation_, {d[0], d[1], d[2]}), scale_ * std::sqrt(eigenvalues_[m]));
            double* out = &along[(j * k_modes + k) * 3];
            out[0] = moved.x, out[1] = moved.y, out[2] = moved.z;
        }
    }
    centre = mul(centre, 1.0 / static_cast<double>(count));
    result->rms_before = std::sqrt(sum2 / static_cast<double>(count));
    const double sigma = std::min(result->rms_before, settings.search_range);
    std::nth_element(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(count / 2), distances.end());
    const double eps = std::max(distances[count / 2], 1e-4);
    const double prior = k_modes > 0 ? sigma / settings.flexibility : 0.0;
    std::vector<double> standard(k_modes);  // current weights in units of sqrt(eigenvalue)
    for (std::size_t k = 0; k < k_modes; ++k) {
        const std::size_t m = static_cast<std::size_t>(used[k]);
        standard[k] = weights_[m] / std::sqrt(eigenvalues_[m]);
    }

    // x: rotation vector about `centre`, translation, log scale, weight increments.
    const auto moved = [&](const double* x, const rotation_t& r, double grow, std::size_t j) {
        vertex3d q = at[j];
        const double* a = &along[j * k_modes * 3];
        for (std::size_t k = 0; k < k_modes; ++k) {
            const double b = x[7 + k];
            q = {q.x + a[3 * k] * b, q.y + a[3 * k + 1] * b, q.z + a[3 * k + 2] * b};
        }
        const vertex3d turned = rotate(r, sub(q, centre));
        return vertex3d{centre.x + grow * turned.x + x[3], centre.y + grow * turned.y + x[4],
                        centre.z + grow * turned.z + x[5]};
    };
    // The part of the miss along the surface's normal counts in full, the part
    // along the surface only a little: the closest point slides as the model
    // moves, so holding on to it would hold the fit back.
    const auto miss = [&](const rotation_t& r, const vertex3d& q, std::size_t j) {
        const vertex3d d = sub(q, targets_[pairs[j].target]);
        const vertex3d nr = rotate(r, normal[j]);
        const double across = dot(d, nr);
        return add(mul(nr, across), mul(sub(d, mul(nr, across)), tangential_weight));
    };
    const auto add_prior = [&](const double* x, double* f) {
        for (std::size_t k = 0; k < k_modes; ++k)
            f[k] = prior * (standard[k] + x[7 + k]);
    };
    const lmdif_function ssm_error_reg = [&](int, int, const double* x, double* f, int) {
        const rotation_t r = rotation_from_vector({x[0], x[1], x[2]});
        const double grow = std::exp(x[6]);
        for (std::size_t j = 0; j < count; ++j) {
            const vertex3d d = miss(r, moved(x, r, grow, j), j);
            f[3 * j] = d.x;
            f[3 * j + 1] = d.y;
            f[3 * j + 2] = d.z;
        }
        add_prior(x, f + 3 * count);
        return 0;
    };
    const lmdif_function ssm_error_lad_reg = [&](int, int, const double* x, double* f, int) {
        const rotation_t r = rotation_from_vector({x[0], x[1], x[2]});
        const double grow = std::exp(x[6]);
        for (std::size_t j = 0; j < count; ++j) {
            const vertex3d d = miss(r, moved(x, r, grow, j), j);
            f[j] = std::sqrt(2.0 * eps * (std::sqrt(dot(d, d) + eps * eps) - eps));
        }
        add_prior(x, f + count);
        return 0;
    };
    const std::size_t rows = (lad ? count : 3 * count) + k_modes;
    std::vector<double> x(static_cast<std::size_t>(n), 0.0), f(rows);
    const int info =
        ks_lmdif(lad ? ssm_error_lad_reg : ssm_error_reg, static_cast<int>(rows), n, x, f, 1e-8, nullptr, 30 * (n + 1));

    const rotation_t turn = rotation_from_vector({x[0], x[1], x[2]});
    const double grow = std::exp(x[6]);
    state_t next = state();
    next.rotation = multiply(turn, rotation_);
    next.scale = scale_ * grow;
    // The new placement about the origin: grow R_turn (t - centre) + centre + tau.
    next.translation = add(add(mul(rotate(turn, sub(translation_, centre)), grow), centre), {x[3], x[4], x[5]});
    for (std::size_t k = 0; k < k_modes; ++k) {
        const std::size_t m = static_cast<std::size_t>(used[k]);
        next.weights[m] = (standard[k] + x[7 + k]) * std::sqrt(eigenvalues_[m]);
    }
    bool finite = std::isfinite(next.scale + next.translation.x + next.translation.y + next.translation.z);
    for (double v : next.rotation)
        finite = finite && std::isfinite(v);
    for (double w : next.weights)
        finite = finite && std::isfinite(w);
    if (info < 1 || info > 7 || !finite || !(next.scale > 0.0)) {
        wxLogError("The shape model fit gave no usable result; the registration is unchanged.");
        return;
    }
    double after2 = 0.0;
    for (std::size_t j = 0; j < count; ++j) {
        const vertex3d d = sub(moved(x.data(), turn, grow, j), targets_[pairs[j].target]);
        after2 += dot(d, d);
    }
    restore(next);
    result->rms_after = std::sqrt(after2 / static_cast<double>(count));
    result->applied = true;
    matches_.clear();
    matches_.reserve(count);
    for (const ssm_pair_t& p : pairs) {
        vertex3d q;
        for (int c = 0; c < 3; ++c)
            q = add(q, mul(warped_.points[p.vertex[static_cast<std::size_t>(c)]].position,
                           p.weight[static_cast<std::size_t>(c)]));
        matches_.push_back({p.target, q});
    }
}

bool fit_model::register_model(const std::function<void(int, const ssm_iteration_t&)>& each)
{
    const int iterations = std::max(settings.iterations, 0);
    const state_t before = state();
    interaction_t& ui = interaction();
    ui.progress_begin("Shape model registration", wxString::Format("Iteration %i of %i", 1, iterations), iterations);
    bool ok = true;
    for (int i = 0; i < iterations; ++i) {
        if (!ui.progress_update(i, wxString::Format("Iteration %i of %i", i + 1, iterations))) {
            restore(before);
            matches_.clear();
            ok = false;
            break;
        }
        const ssm_iteration_t done = DoICP();
        if (each)
            each(i, done);
        if (!done.applied) {
            ok = false;
            break;
        }
    }
    ui.progress_end();
    return ok;
}

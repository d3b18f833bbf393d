// Bending the chained trajectory back onto the recorded one.
#include <algorithm>
#include <array>
#include <cmath>
#include <new>

#include <wx/log.h>

#include "calibration/minpack_drivers.h"
#include "correction/correction_internal.h"
#include "correction/image_correlation.h"

namespace {

bool allocation_fails = false;

using corners_t = std::array<vertex3d, 4>;

corners_t corners_of(const matrix16d& m, const corners_t& plane)
{
    return {m * plane[0], m * plane[1], m * plane[2], m * plane[3]};
}

double distance(const vertex3d& a, const vertex3d& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// The smooth motion (see the header): in each frame's own plane a lateral
// and an axial shift, polynomials of degree d in t, and a turn about the
// image centre, a cubic in t; 2 (d + 1) + 4 parameters.
struct bending_t {
    int degree = 3;
    vertex3d centre;

    int parameters() const { return 2 * (degree + 1) + 4; }
    matrix16d moved(const double* p, const matrix16d& corrected, double t) const
    {
        double lateral = 0.0, axial = 0.0, turn = 0.0, power = 1.0;
        for (int j = 0; j <= degree; ++j) {
            lateral += p[j] * power;
            axial += p[degree + 1 + j] * power;
            if (j <= 3)
                turn += p[2 * (degree + 1) + j] * power;
            power *= t;
        }
        matrix16d in, back;
        in.forward(centre.x + lateral, centre.y + axial, 0.0, turn, 0.0, 0.0);
        back.forward(-centre.x, -centre.y, 0.0);
        return corrected * in * back;
    }
};

// The parameter of each record: distance travelled by the image centre along
// the corrected poses over the total; by frame order when nothing moved.
std::vector<double> sweep_parameter(const std::vector<corr_t>& list, const vertex3d& centre)
{
    const std::size_t n = list.size();
    std::vector<double> t(n, 0.0);
    for (std::size_t i = 1; i < n; ++i)
        t[i] = t[i - 1] + distance(list[i].corrected * centre, list[i - 1].corrected * centre);
    const double total = n > 1 ? t[n - 1] : 0.0;
    const bool usable = total > 0.0 && std::isfinite(total);
    for (std::size_t i = 0; i < n; ++i)
        t[i] = usable ? t[i] / total : (n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.0);
    return t;
}

}  // namespace

void set_correction_allocation_failure(bool fail)
{
    allocation_fails = fail;
}

bool try_allocate(std::vector<double>& v, std::size_t n)
{
    try {
        if (allocation_fails)
            throw std::bad_alloc();
        v.assign(n, 0.0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool image_correlation::optimise(double* max_a, double* max_b)
{
    if (max_a)
        *max_a = 0.0;
    if (max_b)
        *max_b = 0.0;
    end_progress();
    if (!valid_ || list_.size() < 2) {
        if (list_.size() < 2)
            wxLogWarning("Image-based correction needs at least two frames.");
        invalidate();
        return false;
    }
    double a = 0.0, b = 0.0;
    if (pressure_)
        adjust_pressure(&b);
    if (!adjust_positions(&a)) {
        invalidate();
        return false;
    }
    if (pressure_)
        for (corr_t& r : list_) {  // each frame back up by its compression at depth
            matrix16d up;
            up.forward(0.0, -static_cast<double>(r.axial_shift) * sy_, 0.0);
            r.corrected = r.corrected * up;
        }
    for (corr_t& r : list_) {
        matrix16d change = r.recorded;
        change.invert();
        change = change * r.corrected;
        double v[6];
        change.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        for (int k = 0; k < 6; ++k)
            r.correction[k] = static_cast<float>(v[k]);
    }
    result_ = std::move(list_);
    list_.clear();
    optimised_ = true;
    if (max_a)
        *max_a = a;
    if (max_b)
        *max_b = b;
    wxLogMessage("Maximum data movement:");
    wxLogMessage("%.2lf mm due to position correction", a);
    if (pressure_)
        wxLogMessage("%.2lf mm due to pressure correction", b);
    return true;
}

bool image_correlation::adjust_positions(double* max_a)
{
    wxLogMessage("Optimising corrected positions to recorded positions");
    const long w = list_[0].image.width(), h = list_[0].image.height();
    const corners_t plane{vertex3d{0.0, 0.0, 0.0}, vertex3d{(w - 1) * sx_, 0.0, 0.0}, vertex3d{0.0, (h - 1) * sy_, 0.0},
                          vertex3d{(w - 1) * sx_, (h - 1) * sy_, 0.0}};
    const vertex3d centre{0.5 * w * sx_, 0.5 * h * sy_, 0.0};
    const std::vector<double> t = sweep_parameter(list_, centre);

    std::vector<corners_t> recorded;
    for (const corr_t& r : list_)
        recorded.push_back(corners_of(r.recorded, plane));

    const int m = static_cast<int>(12 * list_.size());
    double best_displacement = 0.0;
    std::vector<double> best;
    int best_degree = 0;
    for (const int degree : {3, 4}) {
        const bending_t bend{degree, centre};
        const int n = bend.parameters();
        std::vector<double> fvec, x;
        if (!try_allocate(fvec, static_cast<std::size_t>(m))) {
            wxLogError("No space to malloc position adjustment error vector.");
            return false;
        }
        if (!try_allocate(x, static_cast<std::size_t>(n))) {
            wxLogError("No space to malloc position adjustment parameter.");
            return false;
        }
        // position_error: every corner of every moved frame against its recorded place.
        const auto position_error = [&](int, int, const double* p, double* f, int) {
            for (std::size_t i = 0; i < list_.size(); ++i) {
                const corners_t c = corners_of(bend.moved(p, list_[i].corrected, t[i]), plane);
                for (std::size_t j = 0; j < 4; ++j) {
                    f[12 * i + 3 * j] = c[j].x - recorded[i][j].x;
                    f[12 * i + 3 * j + 1] = c[j].y - recorded[i][j].y;
                    f[12 * i + 3 * j + 2] = c[j].z - recorded[i][j].z;
                }
            }
            return 0;
        };
        int info = 0;
        try {
            info = ks_lmdif(position_error, m, n, x, fvec, 1e-4);
        } catch (const std::bad_alloc&) {
            wxLogError("No space to malloc position adjustment error vector.");
            return false;
        }
        const bool finite_x = std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
        if (info < 1 || info > 4 || !finite_x) {
            wxLogDebug("The degree %d fit did not converge (status %d).", degree, info);
            continue;
        }
        double displacement = 0.0;  // calc_displacement
        for (std::size_t i = 0; i < list_.size(); ++i) {
            const corners_t c = corners_of(bend.moved(x.data(), list_[i].corrected, t[i]), plane);
            for (std::size_t j = 0; j < 4; ++j)
                displacement = std::max(displacement, distance(c[j], recorded[i][j]));
        }
        if (!std::isfinite(displacement))
            continue;
        if (best.empty() || displacement < best_displacement) {
            best = x;
            best_displacement = displacement;
            best_degree = degree;
        }
    }
    if (best.empty()) {
        wxLogWarning("The corrected positions could not be fitted to the recorded ones: nothing was corrected.");
        return false;
    }
    degree_ = best_degree;
    wxLogMessage("Used %li degree polynomial", static_cast<long>(best_degree));
    const bending_t bend{best_degree, centre};
    for (std::size_t i = 0; i < list_.size(); ++i)
        list_[i].corrected = bend.moved(best.data(), list_[i].corrected, t[i]);
    *max_a = 10.0 * best_displacement;
    return true;
}

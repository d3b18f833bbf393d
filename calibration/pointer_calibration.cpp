#include "pointer_calibration.h"

#include <cmath>

#include "calibration/minpack_drivers.h"
#include "common/matrix16d.h"

namespace {

constexpr double pivot_tolerance = 1e-4;

// Whether the turns between the poses pin the tip down: the rotations'
// differences from the first must span all three directions.
bool turns_determine_tip(const std::vector<matrix16d>& m)
{
    double a[3][3] = {};
    for (std::size_t i = 1; i < m.size(); ++i)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                for (int k = 0; k < 3; ++k) {
                    const double dk_r = m[i][4 * r + k] - m[0][4 * r + k];  // (R_i - R_0), row k, column r
                    const double dk_c = m[i][4 * c + k] - m[0][4 * c + k];
                    a[r][c] += dk_r * dk_c;
                }
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    const double trace = a[0][0] + a[1][1] + a[2][2];
    // A turn of about a degree about the weakest axis is enough; less leaves it to the noise.
    return std::isfinite(det) && trace > 0.0 && det > 1e-9 * trace * trace * trace;
}

}  // namespace

pivot_result_t solve_pivot(const std::vector<pointer_pose_t>& poses)
{
    pivot_result_t result;
    if (poses.size() < 4)
        return result;
    std::vector<matrix16d> m(poses.size());
    for (std::size_t i = 0; i < poses.size(); ++i) {
        for (float v : poses[i])
            if (!std::isfinite(v)) {
                result.message = "No new calibration\nPoints failed to converge";
                return result;
            }
        m[i].forward(poses[i].data());
    }
    if (!turns_determine_tip(m)) {
        result.message = "No new calibration\nPoints failed to converge";
        return result;
    }
    const int n = 3, count = static_cast<int>(m.size()) - 1, rows = 3 * count;
    // Signed components of P_i t - P_1 t: squared ones would minimise the
    // fourth powers and flatten the solve near its minimum.
    const lmdif_function residuals = [&m](int, int, const double* t, double* f, int) {
        const vertex3d first = m[0] * vertex3d{t[0], t[1], t[2]};
        for (std::size_t i = 1; i < m.size(); ++i) {
            const vertex3d q = m[i] * vertex3d{t[0], t[1], t[2]};
            f[3 * (i - 1)] = q.x - first.x;
            f[3 * (i - 1) + 1] = q.y - first.y;
            f[3 * (i - 1) + 2] = q.z - first.z;
        }
        return 0;
    };
    std::vector<double> t(3, 0.0), f(static_cast<std::size_t>(rows));
    result.info = ks_lmdif(residuals, rows, n, t, f, pivot_tolerance);
    double sum = 0.0;
    for (double v : f)
        sum += v * v;
    result.rms = std::sqrt(sum / count);
    result.tip = {t[0], t[1], t[2]};
    const bool converged = result.info >= 1 && result.info <= 4 && std::isfinite(result.rms) &&
                           std::isfinite(t[0] + t[1] + t[2]);
    if (!converged) {
        result.message = "No new calibration\nPoints failed to converge";
    } else if (result.rms >= pivot_rms_limit_cm) {
        result.message = wxString::Format("No new calibration\nRMS error %.2fmm is too large", 10.0 * result.rms);
    } else {
        result.solved = true;
        result.message = wxString::Format("Calibration: (%7.2lf, %7.2lf, %7.2lf) mm\nRMS error %.2fmm, from %4i values\n",
                                          10.0 * t[0], 10.0 * t[1], 10.0 * t[2], 10.0 * result.rms,
                                          int(poses.size())) +
                         (result.info == 4 ? "Weak convergence" : "Good convergence");
    }
    return result;
}

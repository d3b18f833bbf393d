#include "point_calibration.h"

#include <cmath>
#include <numbers>

#include "calibration/minpack_drivers.h"
#include "common/matrix16d.h"

namespace {

constexpr double point_tolerance = 1e-4;
constexpr double rms_limit_cm = 0.2;

double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// The residuals of the observations for a calibration x (6 values) and
// scales: where each tip lies in the image frame, less where its echo says.
// Signed components: squares would minimise fourth powers.
void residuals(const std::vector<point_status_t>& obs, const double* x, double sx, double sy, double* f)
{
    matrix16d cal;
    cal.forward(x[0], x[1], x[2], x[3], x[4], x[5]);
    for (std::size_t i = 0; i < obs.size(); ++i) {
        matrix16d to_image;
        to_image.forward(obs[i].pose.data());
        to_image = to_image * cal;
        to_image.invert();
        const vertex3d q = to_image * obs[i].tip;
        const double phi = radians(obs[i].angle);
        f[3 * i] = q.x - (obs[i].u * sx - stylus_tip_radius_cm * std::sin(phi));
        f[3 * i + 1] = q.y - (obs[i].v * sy + stylus_tip_radius_cm * (1.0 - std::cos(phi)));
        f[3 * i + 2] = q.z;
    }
}

}  // namespace

bool point_solve::run_point_solve(const std::vector<point_status_t>& obs, double scale, double celsius)
{
    solved = false;
    const double k = water_speed_of_sound(celsius) / 1540.0;
    if (obs.size() < 3 || !std::isfinite(k) || !(k > 0.0) || !(scale >= 0.0)) {
        message3 = "Points failed to converge";
        message1 = "No new calibration.";
        return false;
    }
    const int m = 3 * static_cast<int>(obs.size());
    std::vector<double> f(static_cast<std::size_t>(m));
    double fixed_sx = scale, fixed_sy = k * scale;
    std::vector<double> x(6, 0.0);
    info = 0;
    if (scale == 0.0) {
        std::vector<double> x8{0, 0, 0, 0, 0, 0, 1.0, 1.0};
        const lmdif_function with_scales = [&obs](int, int, const double* p, double* r, int) {
            residuals(obs, p, p[6], p[7], r);
            return 0;
        };
        info = ks_lmdif(with_scales, m, 8, x8, f, point_tolerance);
        fixed_sx = std::fabs(x8[6]);
        fixed_sy = std::fabs(x8[7]);
        std::copy(x8.begin(), x8.begin() + 6, x.begin());
    }
    const lmdif_function six = [&obs, &fixed_sx, &fixed_sy](int, int, const double* p, double* r, int) {
        residuals(obs, p, fixed_sx, fixed_sy, r);
        return 0;
    };
    if (scale > 0.0 || (info >= 1 && info <= 4))
        info = ks_lmdif(six, m, 6, x, f, point_tolerance);
    bool finite = std::isfinite(fixed_sx) && std::isfinite(fixed_sy);
    for (double v : x)
        finite = finite && std::isfinite(v);
    // Observations that leave the calibration free (one view repeated, a
    // probe that never moves) fit any of many with no error: no solution.
    const bool determined = finite && solution_determined(six, m, 6, x);
    if (!(info >= 1 && info <= 4) || !determined) {
        message3 = "Points failed to converge";
        message1 = "No new calibration.";
        return false;
    }
    double sum = 0.0;
    axis_rms = {};
    for (std::size_t i = 0; i < f.size(); ++i) {
        axis_rms[i % 3] += f[i] * f[i];
        sum += f[i] * f[i];
    }
    const double n = double(obs.size());
    for (double& a : axis_rms)
        a = std::sqrt(a / n);
    rms = std::sqrt(sum / (3.0 * n));
    const wxString figures = wxString::Format("RMS error %.2fmm (%.2f, %.2f, %.2f)", 10.0 * rms, 10.0 * axis_rms[0],
                                              10.0 * axis_rms[1], 10.0 * axis_rms[2]);
    if (!(rms < rms_limit_cm)) {
        message3 = figures + "\nLarger than allowable range";
        message1 = "No new calibration.";
        return false;
    }
    message3 = figures + (info == 4 ? "\nWeak convergence" : "\nGood convergence");
    message1 = wxString::Format("Calibrated with %i points.", int(obs.size()));
    sx = fixed_sx;
    sy = fixed_sy / k;
    for (int i = 0; i < 6; ++i)
        pose[std::size_t(i)] = x[std::size_t(i)];
    solved = true;
    return true;
}

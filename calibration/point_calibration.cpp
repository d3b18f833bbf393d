#include "point_calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "calibration/minpack_drivers.h"
#include "common/matrix16d.h"

namespace {

constexpr double point_tolerance = 1e-4;
constexpr double rms_limit_cm = 0.2;

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

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

namespace {

// One solve from a start turned by `angles` (degrees): with scale 0 the
// 8-parameter solve and then the 6-parameter one from its result, else the
// 6-parameter one with the scales given.
struct attempt_t {
    int info = 0;
    std::vector<double> x = std::vector<double>(6, 0.0), f;
    double sx = 0.0, sy = 0.0;
    bool usable = false;  // converged to finite values the observations determine
    double rms = 0.0;
};

attempt_t attempt(const std::vector<point_status_t>& obs, double scale, double k, const std::array<double, 3>& angles)
{
    attempt_t a;
    const int m = 3 * static_cast<int>(obs.size());
    a.f.assign(static_cast<std::size_t>(m), 0.0);
    a.sx = scale;
    a.sy = k * scale;
    std::copy(angles.begin(), angles.end(), a.x.begin() + 3);
    if (scale == 0.0) {
        std::vector<double> x8{0, 0, 0, angles[0], angles[1], angles[2], 1.0, 1.0};
        const lmdif_function with_scales = [&obs](int, int, const double* p, double* r, int) {
            residuals(obs, p, p[6], p[7], r);
            return 0;
        };
        a.info = ks_lmdif(with_scales, m, 8, x8, a.f, point_tolerance);
        a.sx = std::fabs(x8[6]);
        a.sy = std::fabs(x8[7]);
        std::copy(x8.begin(), x8.begin() + 6, a.x.begin());
    }
    const double sx = a.sx, sy = a.sy;
    const lmdif_function six = [&obs, sx, sy](int, int, const double* p, double* r, int) {
        residuals(obs, p, sx, sy, r);
        return 0;
    };
    if (scale > 0.0 || (a.info >= 1 && a.info <= 4))
        a.info = ks_lmdif(six, m, 6, a.x, a.f, point_tolerance);
    bool finite = std::isfinite(a.sx) && std::isfinite(a.sy);
    for (double v : a.x)
        finite = finite && std::isfinite(v);
    // Observations that leave the calibration free (one view repeated, a
    // probe that never moves) fit any of many with no error: no solution.
    a.usable = a.info >= 1 && a.info <= 4 && finite && solution_determined(six, m, 6, a.x);
    double sum = 0.0;
    for (double v : a.f)
        sum += v * v;
    a.rms = std::sqrt(sum / double(a.f.size()));
    return a;
}

// The 24 turns of a cube as azimuth, elevation and roll (degrees), no turn first.
std::vector<std::array<double, 3>> cube_turns()
{
    std::vector<std::array<double, 3>> turns;
    std::vector<matrix16d> seen;
    for (double el : {0.0, 90.0, -90.0})
        for (double az : {0.0, 90.0, 180.0, 270.0})
            for (double roll : {0.0, 90.0, 180.0, 270.0}) {
                matrix16d m;
                m.forward(0, 0, 0, az, el, roll);
                const bool repeated = std::any_of(seen.begin(), seen.end(), [&m](const matrix16d& o) {
                    for (int i = 0; i < 16; ++i)
                        if (std::fabs(o[i] - m[i]) > 1e-6)
                            return false;
                    return true;
                });
                if (!repeated) {
                    seen.push_back(m);
                    turns.push_back({az, el, roll});
                }
            }
    return turns;
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
    // From no turn first; a probe whose image lies turned far from its
    // sensor's axes is not reached from there, so the other turns of a cube
    // are tried when that start fails, and the closest fit is kept.
    attempt_t a = attempt(obs, scale, k, {0.0, 0.0, 0.0});
    if (!a.usable || !(a.rms < rms_limit_cm)) {
        static const std::vector<std::array<double, 3>> turns = cube_turns();
        for (std::size_t t = 1; t < turns.size(); ++t) {
            attempt_t b = attempt(obs, scale, k, turns[t]);
            if (b.usable && (!a.usable || b.rms < a.rms))
                a = std::move(b);
        }
    }
    info = a.info;
    if (!a.usable) {
        message3 = "Points failed to converge";
        message1 = "No new calibration.";
        return false;
    }
    const std::vector<double>& x = a.x;
    const std::vector<double>& f = a.f;
    const double fixed_sx = a.sx, fixed_sy = a.sy;
    double sum = 0.0;
    axis_rms = {};
    for (std::size_t i = 0; i < f.size(); ++i) {
        axis_rms[i % 3] += f[i] * f[i];
        sum += f[i] * f[i];
    }
    const double n = double(obs.size());
    for (double& r : axis_rms)
        r = std::sqrt(r / n);
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

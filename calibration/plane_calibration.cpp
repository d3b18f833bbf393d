#include "plane_calibration.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <thread>

#include <wx/log.h>

#include "calibration/minpack_drivers.h"
#include "common/matrix16d.h"
#include "common/speed_of_sound.h"
#include "common/vertex_math.h"

namespace {

constexpr double pi = std::numbers::pi;

// Row-major 3x3.
struct mat3 {
    double v[9] = {};
    vertex3d operator*(const vertex3d& p) const
    {
        return {v[0] * p.x + v[1] * p.y + v[2] * p.z, v[3] * p.x + v[4] * p.y + v[5] * p.z,
                v[6] * p.x + v[7] * p.y + v[8] * p.z};
    }
    vertex3d transposed_times(const vertex3d& p) const
    {
        return {v[0] * p.x + v[3] * p.y + v[6] * p.z, v[1] * p.x + v[4] * p.y + v[7] * p.z,
                v[2] * p.x + v[5] * p.y + v[8] * p.z};
    }
    mat3 operator*(const mat3& b) const
    {
        mat3 r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.v[3 * i + j] = v[3 * i] * b.v[j] + v[3 * i + 1] * b.v[3 + j] + v[3 * i + 2] * b.v[6 + j];
        return r;
    }
};

// One accepted line as the solver reads it: the end points with the depth
// corrected for the water's speed of sound, and the frame's pose [R | T].
struct datar_t {
    double x1, y1k, x2, y2k, dx, dyk;
    mat3 rotation;
    vertex3d translation;
};

// The calibration rotation Rz(azimuth) Ry(elevation) Rx(roll) and its
// derivatives by each angle (radians).
struct rotation_t {
    mat3 r, d_az, d_el, d_roll;

    rotation_t(double az, double el, double roll)
    {
        const double ca = std::cos(az), sa = std::sin(az), ce = std::cos(el), se = std::sin(el);
        const double cr = std::cos(roll), sr = std::sin(roll);
        const mat3 rz{{ca, -sa, 0, sa, ca, 0, 0, 0, 1}}, drz{{-sa, -ca, 0, ca, -sa, 0, 0, 0, 0}};
        const mat3 ry{{ce, 0, se, 0, 1, 0, -se, 0, ce}}, dry{{-se, 0, ce, 0, 0, 0, -ce, 0, -se}};
        const mat3 rx{{1, 0, 0, 0, cr, -sr, 0, sr, cr}}, drx{{0, 0, 0, 0, -sr, -cr, 0, cr, -sr}};
        r = rz * ry * rx;
        d_az = drz * ry * rx;
        d_el = rz * dry * rx;
        d_roll = rz * ry * drx;
    }
};

// The plane's unit normal n(alpha, beta) and its derivatives.
struct normal_t {
    vertex3d n, d_alpha, d_beta;

    normal_t(double alpha, double beta)
    {
        const double ca = std::cos(alpha), sa = std::sin(alpha), cb = std::cos(beta), sb = std::sin(beta);
        n = {-sa, ca * sb, ca * cb};
        d_alpha = {-ca, -sa * sb, -sa * cb};
        d_beta = {0, ca * cb, -ca * sb};
    }
};

bool all_finite(const std::vector<double>& v)
{
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    return true;
}

double rms_of(const std::vector<double>& f)
{
    double s = 0.0;
    for (double v : f)
        s += v * v;
    return std::sqrt(s / double(f.size()));
}

// Elevation back into [-pi/2, pi/2] by the equivalent rotation (azimuth and
// roll turned by pi), all three wrapped.
void normalise_angles(double* az, double* el, double* roll)
{
    *az = clamp_angle(*az);
    *el = clamp_angle(*el);
    *roll = clamp_angle(*roll);
    if (*el > pi / 2 || *el < -pi / 2) {
        *el = (*el > 0 ? pi : -pi) - *el;
        *az = clamp_angle(*az + pi);
        *roll = clamp_angle(*roll + pi);
    }
}

class plane_stages {
public:
    plane_stages(std::vector<datar_t> data, double sx, double sy) : data_(std::move(data)), sx_(sx), sy_(sy) {}

    int lines() const { return int(data_.size()); }

    // Stage 1: x = (alpha, beta, az, el, roll). Each line's direction must lie in the plane.
    int stage1(std::vector<double>& x, double* rms) const
    {
        const int m = lines();
        std::vector<double> f(std::size_t(std::max(m, 1))), jac(std::size_t(std::max(m, 1)) * 5);
        std::vector<int> ipvt(5);
        const lmder_function fcn = [this](int, int, const double* p, double* fvec, double* fjac, int ld, int iflag) {
            const normal_t n(p[0], p[1]);
            const rotation_t rc(p[2], p[3], p[4]);
            for (std::size_t i = 0; i < data_.size(); ++i) {
                const datar_t& d = data_[i];
                const vertex3d q{d.dx, d.dyk, 0.0};
                const vertex3d u = d.rotation * (rc.r * q);
                if (iflag == 1) {
                    fvec[i] = dot(n.n, u);
                } else if (iflag == 2) {
                    const vertex3d w = d.rotation.transposed_times(n.n);
                    fjac[i] = dot(n.d_alpha, u);
                    fjac[i + std::size_t(ld)] = dot(n.d_beta, u);
                    fjac[i + 2 * std::size_t(ld)] = dot(w, rc.d_az * q);
                    fjac[i + 3 * std::size_t(ld)] = dot(w, rc.d_el * q);
                    fjac[i + 4 * std::size_t(ld)] = dot(w, rc.d_roll * q);
                } else {
                    wxLogDebug("Unusual iflag in target function of stage 1 optimisation.");
                }
            }
            return 0;
        };
        const int info = ks_lmder(fcn, m, 5, x, f, jac, m, tolerance(), ipvt);
        x[0] = clamp_angle(x[0]);
        x[1] = clamp_angle(x[1]);
        normalise_angles(&x[2], &x[3], &x[4]);
        *rms = rms_of(f);
        return info;
    }

    // Stage 2: x = (d, tx, ty, tz) with the normal and rotation of stage 1
    // held; each end point must lie on the plane.
    int stage2(const std::vector<double>& st1, std::vector<double>& x, double* rms) const
    {
        const int m = 2 * lines();
        std::vector<double> f(std::size_t(std::max(m, 1))), jac(std::size_t(std::max(m, 1)) * 4);
        std::vector<int> ipvt(4);
        const normal_t n(st1[0], st1[1]);
        const rotation_t rc(st1[2], st1[3], st1[4]);
        const lmder_function fcn = [this, &n, &rc](int, int, const double* p, double* fvec, double* fjac, int ld,
                                                   int iflag) {
            const vertex3d t{p[1], p[2], p[3]};
            for (std::size_t i = 0; i < data_.size(); ++i) {
                const datar_t& d = data_[i];
                const vertex3d w = d.rotation.transposed_times(n.n);
                for (int e = 0; e < 2; ++e) {
                    const std::size_t row = 2 * i + std::size_t(e);
                    if (iflag == 1) {
                        const vertex3d s = rc.r * end_point(d, e);
                        fvec[row] = dot(w, s + t) + dot(n.n, d.translation) + p[0];
                    } else if (iflag == 2) {
                        fjac[row] = 1.0;
                        fjac[row + std::size_t(ld)] = w.x;
                        fjac[row + 2 * std::size_t(ld)] = w.y;
                        fjac[row + 3 * std::size_t(ld)] = w.z;
                    } else {
                        wxLogDebug("Unusual iflag in target function of stage 2 optimisation.");
                    }
                }
            }
            return 0;
        };
        const int info = ks_lmder(fcn, m, 4, x, f, jac, m, tolerance(), ipvt);
        *rms = rms_of(f);
        return info;
    }

    // Stage 3: x = (d, alpha, beta, tx, ty, tz, az, el, roll), all free.
    // A stage-3 result the lines leave undetermined (identical lines, poses
    // that never turn the probe) is refused: any value would fit them.
    int stage3(std::vector<double>& x, std::vector<double>* residuals, bool* determined) const
    {
        const int m = 2 * lines();
        std::vector<double>& f = *residuals;
        f.assign(std::size_t(std::max(m, 1)), 0.0);
        std::vector<double> jac(std::size_t(std::max(m, 1)) * 9);
        std::vector<int> ipvt(9);
        const lmder_function fcn = [this](int, int, const double* p, double* fvec, double* fjac, int ld, int iflag) {
            const normal_t n(p[1], p[2]);
            const rotation_t rc(p[6], p[7], p[8]);
            const vertex3d t{p[3], p[4], p[5]};
            for (std::size_t i = 0; i < data_.size(); ++i) {
                const datar_t& d = data_[i];
                const vertex3d w = d.rotation.transposed_times(n.n);
                for (int e = 0; e < 2; ++e) {
                    const std::size_t row = 2 * i + std::size_t(e);
                    const vertex3d q = end_point(d, e);
                    const vertex3d s = rc.r * q;
                    const vertex3d in_sensor = s + t;
                    if (iflag == 1) {
                        fvec[row] = dot(w, in_sensor) + dot(n.n, d.translation) + p[0];
                    } else if (iflag == 2) {
                        const vertex3d world = d.rotation * in_sensor + d.translation;
                        const double column[9] = {1.0,
                                                  dot(n.d_alpha, world),
                                                  dot(n.d_beta, world),
                                                  w.x,
                                                  w.y,
                                                  w.z,
                                                  dot(w, rc.d_az * q),
                                                  dot(w, rc.d_el * q),
                                                  dot(w, rc.d_roll * q)};
                        for (int c = 0; c < 9; ++c)
                            fjac[row + std::size_t(c) * std::size_t(ld)] = column[c];
                    } else {
                        wxLogDebug("Unusual iflag in target function of stage 3 optimisation.");
                    }
                }
            }
            return 0;
        };
        const int info = ks_lmder(fcn, m, 9, x, f, jac, m, tolerance(), ipvt);
        // MINPACK leaves the R of the Jacobian's pivoted QR in its upper
        // square, diagonal of falling magnitude: a vanishing last element
        // means a direction the residuals do not see.
        *determined = info >= 1 && std::fabs(jac[8 + 8 * std::size_t(m)]) > 1e-8 * std::fabs(jac[0]);
        x[1] = clamp_angle(x[1]);
        x[2] = clamp_angle(x[2]);
        normalise_angles(&x[6], &x[7], &x[8]);
        return info;
    }

private:
    static double tolerance() { return std::sqrt(minpack_epsilon()); }

    vertex3d end_point(const datar_t& d, int e) const
    {
        return e == 0 ? vertex3d{sx_ * d.x1, sy_ * d.y1k, 0.0} : vertex3d{sx_ * d.x2, sy_ * d.y2k, 0.0};
    }

    std::vector<datar_t> data_;
    double sx_, sy_;
};

std::vector<datar_t> solver_data(const std::vector<frame_status_t>& lines, double k)
{
    std::vector<datar_t> data;
    data.reserve(lines.size());
    for (const frame_status_t& l : lines) {
        bool finite = std::isfinite(l.x1) && std::isfinite(l.x2) && std::isfinite(l.y1) && std::isfinite(l.y2);
        for (float v : l.position)
            finite = finite && std::isfinite(v);
        if (!finite) {
            wxLogWarning("A calibration line with a non-finite end point or pose was left out.");
            continue;
        }
        matrix16d pose;
        pose.forward(l.position.data());
        datar_t d{l.x1, l.y1 * k, l.x2, l.y2 * k, double(l.x2) - l.x1, (double(l.y2) - l.y1) * k, {}, {}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                d.rotation.v[3 * r + c] = pose.m[4 * c + r];
        d.translation = {pose.m[12], pose.m[13], pose.m[14]};
        data.push_back(d);
    }
    return data;
}

// A trial from stage 3's result: failed unless it converged (info 1 to 3) to
// finite values the lines determine.
plane_solve::trial_t record_trial(const std::vector<double>& x, const std::vector<double>& f, int info, bool determined)
{
    plane_solve::trial_t t;
    t.info = info;
    if (info < 1 || info > 3 || !determined || !all_finite(x) || !all_finite(f))
        return t;
    const normal_t n(x[1], x[2]);
    t.a = n.n.x;
    t.b = n.n.y;
    t.c = n.n.z;
    t.d = x[0] * dot(n.n, n.n);
    t.tx = x[3];
    t.ty = x[4];
    t.tz = x[5];
    t.azimuth = x[6] * 180.0 / pi;
    t.elevation = x[7] * 180.0 / pi;
    t.roll = x[8] * 180.0 / pi;
    t.rms = rms_of(f);
    return t;
}

// The random start of a pair of trials, drawn in the solve's order: the
// angles, then stage 2's plane offset and translation for the trial and for
// its mirror image.
struct pair_start_t {
    std::vector<double> stage1, stage2, mirror_stage2;
};

std::vector<pair_start_t> draw_starts(std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const auto u = [&] { return uniform(rng); };
    std::vector<pair_start_t> starts(plane_solve::trial_count / 2);
    for (pair_start_t& s : starts) {
        s.stage1 = {u() * pi - pi / 2, 2 * u() * pi - pi, 2 * u() * pi - pi, u() * pi - pi / 2, 2 * u() * pi - pi};
        for (auto* st2 : {&s.stage2, &s.mirror_stage2})
            for (int i = 0; i < 4; ++i)
                st2->push_back(30.0 * u() - 15.0);
    }
    return starts;
}

// Stage 2 from the drawn plane offset and translation, then stage 3 from the
// first two; the trial is what stage 3 found.
plane_solve::trial_t finish_trial(const plane_stages& stages, const std::vector<double>& st1, std::vector<double> st2,
                                  std::vector<double>* result)
{
    double rms = 0.0;
    stages.stage2(st1, st2, &rms);
    *result = {st2[0], st1[0], st1[1], st2[1], st2[2], st2[3], st1[2], st1[3], st1[4]};
    std::vector<double> f;
    bool determined = false;
    const int info = stages.stage3(*result, &f, &determined);
    return record_trial(*result, f, info, determined);
}

// A trial from the random start and one from the mirror image of its result.
void run_pair(const plane_stages& stages, const pair_start_t& start, double image_width_cm, plane_solve::trial_t* trial,
              plane_solve::trial_t* mirror)
{
    std::vector<double> st1 = start.stage1, result;
    double rms = 0.0;
    stages.stage1(st1, &rms);
    *trial = finish_trial(stages, st1, start.stage2, &result);
    if (!all_finite(result)) {
        *mirror = {};
        return;
    }
    // The image flipped left to right about its middle. Negating the first
    // and third columns keeps a rotation that maps the image plane to the
    // same plane.
    matrix16d cal;
    cal.forward(result[3], result[4], result[5], result[6] * 180 / pi, result[7] * 180 / pi, result[8] * 180 / pi);
    for (int r = 0; r < 3; ++r) {
        cal.m[12 + r] += image_width_cm * cal.m[r];
        cal.m[r] = -cal.m[r];
        cal.m[8 + r] = -cal.m[8 + r];
    }
    double t[3], az = 0, el = 0, roll = 0;
    cal.decompose(&t[0], &t[1], &t[2], &az, &el, &roll);
    std::vector<double> mirrored{start.stage1[0], start.stage1[1], az * pi / 180, el * pi / 180, roll * pi / 180};
    stages.stage1(mirrored, &rms);
    *mirror = finish_trial(stages, mirrored, start.mirror_stage2, &result);
}

}  // namespace

matrix16d plane_solve::trial_t::calibration_matrix() const
{
    matrix16d m;
    m.forward(tx, ty, tz, azimuth, elevation, roll);
    return m;
}

double clamp_angle(double a)
{
    if (!std::isfinite(a))
        return a;
    a = std::fmod(a, 2 * pi);
    while (a > pi)
        a -= 2 * pi;
    while (a < -pi)
        a += 2 * pi;
    return a;
}

int plane_stage3(const std::vector<frame_status_t>& lines, double sx, double sy, double celsius, std::vector<double>& x,
                 double* rms)
{
    if (x.size() != 9)
        return 0;
    const plane_stages stages(solver_data(lines, water_depth_factor(celsius)), sx, sy);
    std::vector<double> f;
    bool determined = false;
    const int info = stages.stage3(x, &f, &determined);
    *rms = rms_of(f);
    return info;
}

std::vector<std::array<double, 2>> line_residuals(const std::vector<frame_status_t>& lines, const plane_solve& solve,
                                                  int trial, double celsius)
{
    std::vector<std::array<double, 2>> out;
    if (trial < 0 || trial >= plane_solve::trial_count)
        return out;
    const plane_solve::trial_t& t = solve.trials[std::size_t(trial)];
    const double k = water_depth_factor(celsius);
    const matrix16d cal = t.calibration_matrix();
    for (const frame_status_t& l : lines) {
        matrix16d pose;
        pose.forward(l.position.data());
        const matrix16d placed = pose * cal;
        const auto distance = [&](double x, double y) {
            const vertex3d p = placed * vertex3d{solve.sx * x, solve.sy * k * y, 0.0};
            return t.a * p.x + t.b * p.y + t.c * p.z + t.d;
        };
        out.push_back({distance(l.x1, l.y1), distance(l.x2, l.y2)});
    }
    return out;
}

bool solve_scale_lines(const scale_lines_t& lines, double* sx, double* sy, wxString* error)
{
    const auto& e = lines.ends;
    for (double v : e)
        if (!(v >= 0.0)) {
            *error = "Step 3 must be completed before solving for spatial calibration.";
            return false;
        }
    const double dx1 = e[2] - e[0], dy1 = e[3] - e[1], dx2 = e[6] - e[4], dy2 = e[7] - e[5];
    if ((dx1 == 0.0 && dy1 == 0.0) || (dx2 == 0.0 && dy2 == 0.0)) {
        *error = "Some of the line end points are coincident: please repeat step 3.";
        return false;
    }
    const double overlap = (std::fabs(dx1) * std::fabs(dx2) + std::fabs(dy1) * std::fabs(dy2)) /
                           (std::hypot(dx1, dy1) * std::hypot(dx2, dy2));
    if (overlap >= 0.5) {
        *error = "The lines are not sufficiently orthogonal: please repeat step 3.";
        return false;
    }
    const double l1 = lines.length1_cm, l2 = lines.length2_cm;
    const double det = dx1 * dx1 * dy2 * dy2 - dy1 * dy1 * dx2 * dx2;
    const double sx2 = (l1 * l1 * dy2 * dy2 - l2 * l2 * dy1 * dy1) / det;
    const double sy2 = (l2 * l2 * dx1 * dx1 - l1 * l1 * dx2 * dx2) / det;
    // Lines whose pixel lengths cannot both match their lengths give a
    // negative square; a scale of 0 or NaN would only make every trial fail.
    if (!(l1 > 0.0) || !(l2 > 0.0) || !std::isfinite(sx2) || !std::isfinite(sy2) || !(sx2 > 0.0) || !(sy2 > 0.0)) {
        *error = "The scale lines do not agree with their lengths: please check the lengths and repeat step 3.";
        return false;
    }
    *sx = std::sqrt(sx2);
    *sy = std::sqrt(sy2);
    return true;
}

bool plane_solve::run_plane_solve(const std::vector<frame_status_t>& lines, double scale_x, double scale_y,
                                  double celsius, long image_width)
{
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count() /
        100;
    return run_plane_solve(lines, scale_x, scale_y, celsius, image_width, std::uint64_t(ticks));
}

bool plane_solve::run_plane_solve(const std::vector<frame_status_t>& lines, double scale_x, double scale_y,
                                  double celsius, long image_width, std::uint64_t seed)
{
    solved = false;
    best = -1;
    trials = {};
    sx = scale_x;
    sy = scale_y;
    const double c = water_speed_of_sound(celsius);
    wxLogDebug("Speed of sound %f m/s in water at temperature %f celcius", c, celsius);
    const double k = c / 1540.0;
    const plane_stages stages(solver_data(lines, k), sx, sy);
    message1 = wxString::Format("Calibrated with %li frames.", long(stages.lines()));

    const bool usable = std::isfinite(sx) && std::isfinite(sy) && sx > 0.0 && sy > 0.0 && std::isfinite(k);
    if (usable) {
        const std::vector<pair_start_t> starts = draw_starts(seed);
        // The pairs are independent: a few run side by side, each writing its
        // own two trials, so the result never depends on timing.
        std::atomic<int> next{0};
        const auto work = [&] {
            for (int p = next++; p < trial_count / 2; p = next++)
                run_pair(stages, starts[std::size_t(p)], double(image_width) * sx, &trials[std::size_t(2 * p)],
                         &trials[std::size_t(2 * p + 1)]);
        };
        const unsigned lanes = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        std::vector<std::jthread> workers;
        for (unsigned l = 1; l < lanes; ++l)
            workers.emplace_back(work);
        work();
    }

    for (int i = 0; i < trial_count; ++i) {
        const trial_t& t = trials[std::size_t(i)];
        if (t.rms != -1.0 && (best < 0 || t.rms < trials[std::size_t(best)].rms))
            best = i;
    }
    if (best >= 0 && trials[std::size_t(best)].rms < 1e10) {
        message3 = wxString::Format("RMS error = %f cm", trials[std::size_t(best)].rms);
        solved = true;
        return true;
    }
    best = -1;
    message3 = trials[0].info == 4 ? "Convergence too weak." : "Failed to converge.";
    return false;
}

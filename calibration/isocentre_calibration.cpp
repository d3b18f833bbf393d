#include "isocentre_calibration.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <random>
#include <algorithm>
#include <vector>

#include "calibration/minpack_drivers.h"
#include "common/matrix16d.h"

const char* const isocentre_give_up_text =
    " Unable to determine the isocentre location.\n\n Please clear the current "
    "points and try again, ensuring that "
    "the\ncorrect button is pressed for the pointer location each time.\n\n "
    "Note that Kestrane expects a "
    "right-handed isocentre coordinate system.";

namespace {

constexpr double pi = std::numbers::pi;
constexpr double isocentre_tolerance = 1e-4;
constexpr int isocentre_attempts = 100;
// The distance to a face weighs little: the lasers fix the middles, the faces
// only the side.
constexpr double face_weight = 1e-3;

struct fiducial_t {
    int face;  // 0 to 4
    vertex3d p;
};

matrix16d pose_matrix(const double* x)
{
    matrix16d m;
    m.forward(x[0], x[1], x[2], x[3] * 180 / pi, x[4] * 180 / pi, x[5] * 180 / pi);
    return m;
}

// Which coordinates lie in the face (two) and which across it (one).
struct face_axes {
    int in1, in2, across;
};
constexpr face_axes axes_of[5] = {{0, 1, 2}, {1, 2, 0}, {0, 2, 1}, {1, 2, 0}, {0, 1, 2}};

double coordinate(const vertex3d& q, int axis)
{
    return axis == 0 ? q.x : axis == 1 ? q.y : q.z;
}

void residuals(const std::vector<fiducial_t>& fiducials, const double* x, double* f)
{
    const matrix16d m = pose_matrix(x);
    for (std::size_t i = 0; i < fiducials.size(); ++i) {
        const int face = fiducials[i].face;
        const vertex3d q = m * fiducials[i].p;
        const face_axes& a = axes_of[face];
        f[3 * i] = coordinate(q, a.in1);
        f[3 * i + 1] = coordinate(q, a.in2);
        f[3 * i + 2] =
            (coordinate(q, a.across) - isocentre_face_middles[std::size_t(face)][std::size_t(a.across)]) * face_weight;
    }
}

// Each fiducial on its face's side of the middle: a mirror-image fit puts some
// on the other.
bool on_their_sides(const std::vector<fiducial_t>& fiducials, const double* x)
{
    const matrix16d m = pose_matrix(x);
    for (const fiducial_t& fid : fiducials) {
        const int across = axes_of[fid.face].across;
        const double v = coordinate(m * fid.p, across);
        const double face = isocentre_face_middles[std::size_t(fid.face)][std::size_t(across)];
        if (!(face < 0 ? v <= 0.0 : v >= 0.0))
            return false;
    }
    return true;
}

}  // namespace

isocentre_result_t solve_isocentre(const std::array<std::optional<vertex3d>, 5>& given)
{
    const auto ticks =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count() /
        100;
    return solve_isocentre(given, std::uint64_t(ticks));
}

isocentre_result_t solve_isocentre(const std::array<std::optional<vertex3d>, 5>& given, std::uint64_t seed)
{
    isocentre_result_t result;
    std::vector<fiducial_t> fiducials;
    for (int i = 0; i < 5; ++i) {
        const auto& p = given[std::size_t(i)];
        if (p && std::isfinite(p->x) && std::isfinite(p->y) && std::isfinite(p->z))
            fiducials.push_back({i, *p});
    }
    if (fiducials.size() < 4)
        return result;
    result.started = true;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const auto u = [&] { return uniform(rng); };
    const int m = 3 * int(fiducials.size());
    const lmdif_function fcn = [&fiducials](int, int, const double* x, double* f, int) {
        residuals(fiducials, x, f);
        return 0;
    };
    std::vector<double> x(6), f(static_cast<std::size_t>(m));
    for (int attempt = 0; attempt < isocentre_attempts; ++attempt) {
        x = {400 * u() - 200,   400 * u() - 200,   400 * u() - 200,
             2 * pi * u() - pi, pi * u() - pi / 2, 2 * pi * u() - pi};
        result.info = ks_lmdif(fcn, m, 6, x, f, isocentre_tolerance);
        bool finite = true;
        for (double v : x)
            finite = finite && std::isfinite(v);
        if (result.info >= 1 && result.info <= 4 && finite && on_their_sides(fiducials, x.data()) &&
            solution_determined(fcn, m, 6, x)) {
            double sum = 0.0;
            for (std::size_t i = 0; i < fiducials.size(); ++i)
                sum += f[3 * i] * f[3 * i] + f[3 * i + 1] * f[3 * i + 1];
            result.rms = std::sqrt(sum / double(2 * fiducials.size()));
            result.pose = {x[0], x[1], x[2], x[3] * 180 / pi, x[4] * 180 / pi, x[5] * 180 / pi};
            result.solved = true;
            result.message = wxString::Format("Calibration: (%7.2lf, %7.2lf, %7.2lf) mm\nRMS Error %.2lf mm\n",
                                              10 * x[0], 10 * x[1], 10 * x[2], 10 * result.rms) +
                             (result.info == 4 ? "Weak convergence" : "Good convergence");
            return result;
        }
    }
    result.gave_up = true;
    result.message = "No new calibration\nPoints failed to converge";
    return result;
}

wxString isocentre_fiducial_name(int n)
{
    return wxString::Format("Fiducial Isocentre %i", n);
}

std::array<std::optional<vertex3d>, 5> isocentre_fiducials(const landmarks& marks)
{
    std::array<std::optional<vertex3d>, 5> out;
    for (int n = 1; n <= 5; ++n)
        for (const landmark_t& l : marks.list)
            if (l.kind == LMARK_FIDUCIAL && l.name == isocentre_fiducial_name(n))
                out[std::size_t(n - 1)] = l.position;
    return out;
}

void set_isocentre_fiducial(landmarks* marks, int n, const vertex3d& p)
{
    if (n < 1 || n > 5)
        return;
    const wxString name = isocentre_fiducial_name(n);
    for (landmark_t& l : marks->list)
        if (l.kind == LMARK_FIDUCIAL && l.name == name) {
            l.position = p;
            return;
        }
    landmark_t l;
    l.position = p;
    l.name = name;
    l.kind = LMARK_FIDUCIAL;
    marks->list.push_back(l);
}

void clear_isocentre_fiducials(landmarks* marks)
{
    std::erase_if(marks->list, [](const landmark_t& l) {
        return l.kind == LMARK_FIDUCIAL && l.name.StartsWith("Fiducial Isocentre ");
    });
}

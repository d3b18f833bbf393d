#include "similarity.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

rotation_t identity_rotation()
{
    return {1, 0, 0, 0, 1, 0, 0, 0, 1};
}

rotation_t multiply(const rotation_t& a, const rotation_t& b)
{
    rotation_t c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            c[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    return c;
}

vertex3d rotate(const rotation_t& r, const vertex3d& v)
{
    return {r[0] * v.x + r[1] * v.y + r[2] * v.z, r[3] * v.x + r[4] * v.y + r[5] * v.z,
            r[6] * v.x + r[7] * v.y + r[8] * v.z};
}

rotation_t rotation_from_vector(const vertex3d& w)
{
    const double angle = std::sqrt(w.x * w.x + w.y * w.y + w.z * w.z);
    // Near zero the series keeps the derivative that the solver's differences see.
    const double a = angle < 1e-8 ? 1.0 - angle * angle / 6.0 : std::sin(angle) / angle;
    const double b = angle < 1e-8 ? 0.5 - angle * angle / 24.0 : (1.0 - std::cos(angle)) / (angle * angle);
    const double x = w.x, y = w.y, z = w.z;
    return {1 - b * (y * y + z * z), -a * z + b * x * y,      a * y + b * x * z,
            a * z + b * x * y,       1 - b * (x * x + z * z), -a * x + b * y * z,
            -a * y + b * x * z,      a * x + b * y * z,       1 - b * (x * x + y * y)};
}

rotation_t rotation_of(const matrix16d& m)
{
    return {m[0], m[4], m[8], m[1], m[5], m[9], m[2], m[6], m[10]};
}

matrix16d rigid_matrix(const rotation_t& r, const vertex3d& t)
{
    matrix16d m;
    m[0] = r[0], m[4] = r[1], m[8] = r[2];
    m[1] = r[3], m[5] = r[4], m[9] = r[5];
    m[2] = r[6], m[6] = r[7], m[10] = r[8];
    m[12] = t.x, m[13] = t.y, m[14] = t.z;
    return m;
}

double rotation_angle_degrees(const rotation_t& r)
{
    const double c = std::clamp((r[0] + r[4] + r[8] - 1.0) / 2.0, -1.0, 1.0);
    return std::acos(c) * 180.0 / std::numbers::pi;
}

void symmetric_eigen(int n, const double* matrix, double* values, double* vectors)
{
    double a[16], v[16];
    for (int i = 0; i < n * n; ++i)
        a[i] = matrix[i];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            v[i * n + j] = i == j ? 1.0 : 0.0;
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q)
                off += a[p * n + q] * a[p * n + q];
        if (off < 1e-30)
            break;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q) {
                const double apq = a[p * n + q];
                if (std::fabs(apq) < 1e-300)
                    continue;
                const double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < n; ++k) {  // columns p and q
                    const double akp = a[k * n + p], akq = a[k * n + q];
                    a[k * n + p] = c * akp - s * akq;
                    a[k * n + q] = s * akp + c * akq;
                }
                for (int k = 0; k < n; ++k) {  // rows p and q
                    const double apk = a[p * n + k], aqk = a[q * n + k];
                    a[p * n + k] = c * apk - s * aqk;
                    a[q * n + k] = s * apk + c * aqk;
                }
                for (int k = 0; k < n; ++k) {
                    const double vkp = v[k * n + p], vkq = v[k * n + q];
                    v[k * n + p] = c * vkp - s * vkq;
                    v[k * n + q] = s * vkp + c * vkq;
                }
            }
    }
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        order[static_cast<std::size_t>(i)] = i;
    std::sort(order.begin(), order.end(), [&](int x, int y) { return a[x * n + x] > a[y * n + y]; });
    for (int c = 0; c < n; ++c) {
        const int from = order[static_cast<std::size_t>(c)];
        values[c] = a[from * n + from];
        for (int r = 0; r < n; ++r)
            vectors[r * n + c] = v[r * n + from];
    }
}

namespace {

vertex3d centroid(std::span<const vertex3d> p)
{
    vertex3d c;
    for (const vertex3d& v : p)
        c = {c.x + v.x, c.y + v.y, c.z + v.z};
    const double n = static_cast<double>(p.size());
    return {c.x / n, c.y / n, c.z / n};
}

}  // namespace

bool spans_plane(std::span<const vertex3d> points)
{
    if (points.size() < 3)
        return false;
    const vertex3d c = centroid(points);
    double cov[9] = {};
    for (const vertex3d& p : points) {
        const double d[3] = {p.x - c.x, p.y - c.y, p.z - c.z};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                cov[3 * i + j] += d[i] * d[j];
    }
    double values[3], vectors[9];
    symmetric_eigen(3, cov, values, vectors);
    return std::isfinite(values[0]) && values[0] > 0.0 && values[1] > 1e-6 * values[0];
}

bool best_similarity(std::span<const vertex3d> a, std::span<const vertex3d> b, rotation_t* r, double* s, vertex3d* t)
{
    if (a.size() != b.size() || !spans_plane(a) || !spans_plane(b))
        return false;
    const vertex3d ca = centroid(a), cb = centroid(b);
    double m[9] = {};  // m[3i + j] = sum of a_i b_j, centred
    double spread = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const double p[3] = {a[k].x - ca.x, a[k].y - ca.y, a[k].z - ca.z};
        const double q[3] = {b[k].x - cb.x, b[k].y - cb.y, b[k].z - cb.z};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[3 * i + j] += p[i] * q[j];
        spread += p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
    }
    const double sxx = m[0], sxy = m[1], sxz = m[2], syx = m[3], syy = m[4], syz = m[5], szx = m[6], szy = m[7],
                 szz = m[8];
    const double n[16] = {sxx + syy + szz, syz - szy, szx - sxz, sxy - syx,       syz - szy,        sxx - syy - szz,
                          sxy + syx,       szx + sxz, szx - sxz, sxy + syx,       -sxx + syy - szz, syz + szy,
                          sxy - syx,       szx + sxz, syz + szy, -sxx - syy + szz};
    double values[4], vectors[16];
    symmetric_eigen(4, n, values, vectors);
    const double w = vectors[0], x = vectors[4], y = vectors[8], z = vectors[12];
    *r = {w * w + x * x - y * y - z * z, 2 * (x * y - w * z),           2 * (x * z + w * y),
          2 * (x * y + w * z),           w * w - x * x + y * y - z * z, 2 * (y * z - w * x),
          2 * (x * z - w * y),           2 * (y * z + w * x),           w * w - x * x - y * y + z * z};
    double along = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        const vertex3d ra = rotate(*r, {a[k].x - ca.x, a[k].y - ca.y, a[k].z - ca.z});
        along += ra.x * (b[k].x - cb.x) + ra.y * (b[k].y - cb.y) + ra.z * (b[k].z - cb.z);
    }
    *s = along / spread;
    const vertex3d rc = rotate(*r, ca);
    *t = {cb.x - *s * rc.x, cb.y - *s * rc.y, cb.z - *s * rc.z};
    return std::isfinite(*s) && *s > 0.0 && std::isfinite(t->x + t->y + t->z);
}

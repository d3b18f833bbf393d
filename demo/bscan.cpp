#include "bscan.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

double dot(const vertex3d& a, const vertex3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

vertex3d minus(const vertex3d& a, const vertex3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

vertex3d along(const vertex3d& a, double t, const vertex3d& d)
{
    return {a.x + t * d.x, a.y + t * d.y, a.z + t * d.z};
}

constexpr double infinity = std::numeric_limits<double>::infinity();

// The part of a row, in pixel steps u, that lies in a shape.
struct span {
    double lo = -infinity, hi = infinity;

    bool empty() const { return !(lo <= hi); }
    span operator&(const span& o) const { return {std::max(lo, o.lo), std::min(hi, o.hi)}; }
};

// lo <= c + u*d <= hi
span linear_span(double c, double d, double lo, double hi)
{
    if (d == 0.0)
        return (c >= lo && c <= hi) ? span{} : span{1.0, 0.0};
    const double a = (lo - c) / d, b = (hi - c) / d;
    return d > 0.0 ? span{a, b} : span{b, a};
}

// a*u^2 + 2*b*u + c <= 0 with a >= 0 up to rounding; the two roots are taken
// in the form that stays accurate when a is tiny, as for a row almost along a tube.
span quadratic_span(double a, double b, double c)
{
    if (a <= 0.0) {
        if (b == 0.0)
            return c <= 0.0 ? span{} : span{1.0, 0.0};
        return b > 0.0 ? span{-infinity, -c / (2.0 * b)} : span{-c / (2.0 * b), infinity};
    }
    const double disc = b * b - a * c;
    if (disc < 0.0)
        return {1.0, 0.0};
    const double q = -(b + std::copysign(std::sqrt(disc), b));
    if (q == 0.0)
        return {0.0, 0.0};  // b = 0 and c = 0: a single touching point at u = 0
    const double r1 = q / a, r2 = c / q;
    return {std::min(r1, r2), std::max(r1, r2)};
}

struct ellipsoid_rows {
    vertex3d axis[3];  // shape axes divided by their semi-axes
    vertex3d centre;
    std::uint8_t label;
};

struct tube_rows {
    vertex3d start, unit_axis;
    double length, radius2;
    std::uint8_t label;
};

// Everything a row needs, worked out once per frame.
class row_labeller {
public:
    row_labeller(const phantom& body, const float* pose, const probe_setup& probe)
        : width_(probe.width), skin_point_(body.skin.point)
    {
        const matrix16d m = image_to_world(pose, probe);
        origin_ = {m[12], m[13], m[14]};
        step_u_ = {m[0] * probe.sx, m[1] * probe.sx, m[2] * probe.sx};
        step_v_ = {m[4] * probe.sy, m[5] * probe.sy, m[6] * probe.sy};
        skin_normal_ = body.skin.normal;
        const double n = std::sqrt(dot(skin_normal_, skin_normal_));
        skin_half_ = n > 0.0 ? 0.5 * body.skin.thickness * n : -1.0;
        for (std::size_t k = 0; k < body.ellipsoids.size(); ++k) {
            const ellipsoid_shape& e = body.ellipsoids[k];
            if (!(e.semi[0] > 0.0 && e.semi[1] > 0.0 && e.semi[2] > 0.0))
                continue;
            const matrix16d f = e.frame();
            ellipsoid_rows r{};
            for (int c = 0; c < 3; ++c)
                r.axis[c] = {f[4 * c] / e.semi[c], f[4 * c + 1] / e.semi[c], f[4 * c + 2] / e.semi[c]};
            r.centre = e.centre;
            r.label = ellipsoid_label(k);
            ellipsoids_.push_back(r);
        }
        for (std::size_t k = 0; k < body.tubes.size(); ++k) {
            const tube_shape& t = body.tubes[k];
            const vertex3d axis = minus(t.end, t.start);
            const double length = std::sqrt(dot(axis, axis));
            if (!(length > 0.0))
                continue;
            tube_rows r{};
            r.start = t.start;
            r.unit_axis = {axis.x / length, axis.y / length, axis.z / length};
            r.length = length;
            r.radius2 = t.radius * t.radius;
            r.label = tube_label(body, k);
            tubes_.push_back(r);
        }
    }

    // v: the row's depth in rows, fractional for rows of compressed tissue.
    void label_row(double v, std::uint8_t* row) const
    {
        std::fill(row, row + width_, label_background);
        const vertex3d r0 = along(origin_, v, step_v_);
        if (skin_half_ >= 0.0) {
            const double h = dot(minus(r0, skin_point_), skin_normal_);
            fill(row, linear_span(h, dot(step_u_, skin_normal_), -skin_half_, skin_half_), label_skin);
        }
        for (const ellipsoid_rows& e : ellipsoids_) {
            const vertex3d d0 = minus(r0, e.centre);
            const vertex3d q0{dot(e.axis[0], d0), dot(e.axis[1], d0), dot(e.axis[2], d0)};
            const vertex3d dq{dot(e.axis[0], step_u_), dot(e.axis[1], step_u_), dot(e.axis[2], step_u_)};
            fill(row, quadratic_span(dot(dq, dq), dot(q0, dq), dot(q0, q0) - 1.0), e.label);
        }
        for (const tube_rows& t : tubes_) {
            const vertex3d g0 = minus(r0, t.start);
            const double t0 = dot(g0, t.unit_axis), tu = dot(step_u_, t.unit_axis);
            const span radial = quadratic_span(dot(step_u_, step_u_) - tu * tu, dot(g0, step_u_) - t0 * tu,
                                               dot(g0, g0) - t0 * t0 - t.radius2);
            fill(row, radial & linear_span(t0, tu, 0.0, t.length), t.label);
        }
    }

private:
    void fill(std::uint8_t* row, const span& s, std::uint8_t label) const
    {
        if (s.empty())
            return;
        const double last = static_cast<double>(width_ - 1);
        const double lo = std::max(std::ceil(s.lo), 0.0), hi = std::min(std::floor(s.hi), last);
        if (lo <= hi)
            std::fill(row + static_cast<long>(lo), row + static_cast<long>(hi) + 1, label);
    }

public:
    const vertex3d& origin() const { return origin_; }
    const vertex3d& step_u() const { return step_u_; }
    const vertex3d& step_v() const { return step_v_; }

private:
    long width_;
    vertex3d skin_point_, origin_, step_u_, step_v_, skin_normal_;
    double skin_half_;
    std::vector<ellipsoid_rows> ellipsoids_;
    std::vector<tube_rows> tubes_;
};

// Quantiles of a Rayleigh variable scaled to mean 1, picked by 12 random bits.
constexpr int speckle_bits = 12;
const std::array<float, 1 << speckle_bits>& speckle_table()
{
    static const auto table = [] {
        std::array<float, 1 << speckle_bits> t{};
        double sum = 0.0;
        for (std::size_t k = 0; k < t.size(); ++k) {
            const double q = (static_cast<double>(k) + 0.5) / static_cast<double>(t.size());
            const double r = std::sqrt(-2.0 * std::log1p(-q));
            t[k] = static_cast<float>(r);
            sum += r;
        }
        const double mean = sum / static_cast<double>(t.size());
        for (float& v : t)
            v = static_cast<float>(v / mean);
        return t;
    }();
    return table;
}

std::uint64_t splitmix64(std::uint64_t& state)
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

// The grey level of each label of the phantom's rows.
std::array<float, 256> label_levels(const phantom& body)
{
    std::array<float, 256> level{};
    level[label_background] = static_cast<float>(body.background);
    level[label_skin] = static_cast<float>(body.skin.level);
    for (std::size_t k = 0; k < body.ellipsoids.size(); ++k)
        level[ellipsoid_label(k)] = static_cast<float>(body.ellipsoids[k].level);
    for (std::size_t k = 0; k < body.tubes.size(); ++k)
        level[tube_label(body, k)] = static_cast<float>(body.tubes[k].level);
    return level;
}

bool usable(const phantom& body, const float* pose, const probe_setup& probe)
{
    return pose && probe.width > 0 && probe.height > 0 && body.ellipsoids.size() + body.tubes.size() <= max_shapes;
}

}  // namespace

cip_t render_labels(const phantom& body, const float* pose, const probe_setup& probe)
{
    if (!usable(body, pose, probe))
        return {};
    cip_t image = cip_t::make_8bit(probe.width, probe.height);
    if (image.empty())
        return image;
    const row_labeller labeller(body, pose, probe);
    for (long v = 0; v < probe.height; ++v)
        labeller.label_row(static_cast<double>(v), image.pixels() + v * probe.width);
    return image;
}

cip_t render_bscan(const phantom& body, const float* pose, const probe_setup& probe, std::uint64_t seed)
{
    if (!usable(body, pose, probe))
        return {};
    cip_t image = cip_t::make_8bit(probe.width, probe.height);
    if (image.empty())
        return image;
    const row_labeller labeller(body, pose, probe);

    const std::array<float, 256> level = label_levels(body);

    const auto& speckle = speckle_table();
    constexpr std::uint64_t index_mask = (1u << speckle_bits) - 1;
    constexpr int draws_per_word = 64 / speckle_bits;
    std::uint64_t state = seed;
    std::uint64_t word = 0;
    int left = 0;
    std::vector<std::uint8_t> labels(static_cast<std::size_t>(probe.width));
    for (long v = 0; v < probe.height; ++v) {
        labeller.label_row(static_cast<double>(v), labels.data());
        const float gain = static_cast<float>(std::exp(-body.attenuation * static_cast<double>(v) * probe.sy));
        std::array<float, 256> row_level;
        for (std::size_t k = 0; k < row_level.size(); ++k)
            row_level[k] = level[k] * gain;
        std::uint8_t* out = image.pixels() + v * probe.width;
        for (long u = 0; u < probe.width; ++u) {
            if (left == 0) {
                word = splitmix64(state);
                left = draws_per_word;
            }
            const float r = speckle[word & index_mask];
            word >>= speckle_bits;
            --left;
            const float grey = row_level[labels[static_cast<std::size_t>(u)]] * r + 0.5f;
            out[u] = static_cast<std::uint8_t>(grey >= 1.0f ? std::min(grey, 255.0f) : 1.0f);  // NaN -> 1
        }
    }
    return image;
}

namespace {

// Tissue speckle: a lattice of Rayleigh values fixed in the body, blended
// trilinearly, and averaged across the beam's thickness along the image
// normal, as a real beam blurs the scatterers it passes through.
class tissue_speckle_field {
public:
    tissue_speckle_field(const tissue_speckle& s, const vertex3d& step_u, const vertex3d& step_v) : s_(s)
    {
        vertex3d n{step_u.y * step_v.z - step_u.z * step_v.y, step_u.z * step_v.x - step_u.x * step_v.z,
                   step_u.x * step_v.y - step_u.y * step_v.x};
        const double length = std::sqrt(dot(n, n));
        const int count = std::clamp(static_cast<int>(std::lround(s.beam / s.grain)), 1, 6);
        double total = 0.0;
        for (int k = 0; k < count; ++k) {
            const double offset = count > 1 ? s.beam * (static_cast<double>(k) / (count - 1) - 0.5) : 0.0;
            offsets_.push_back(length > 0.0 ? vertex3d{n.x * offset / length, n.y * offset / length,
                                                       n.z * offset / length}
                                            : vertex3d{0.0, 0.0, 0.0});
            weights_.push_back(1.0 + std::min(k, count - 1 - k));  // heavier in the middle of the beam
            total += weights_.back();
        }
        for (double& w : weights_)
            w /= total;
    }

    float at(const vertex3d& p) const
    {
        double sum = 0.0;
        for (std::size_t k = 0; k < offsets_.size(); ++k)
            sum += weights_[k] * point(along(p, 1.0, offsets_[k]));
        return static_cast<float>(sum);
    }

private:
    double point(const vertex3d& p) const
    {
        const double gx = p.x / s_.grain, gy = p.y / s_.grain, gz = p.z / s_.grain;
        const double fx = std::floor(gx), fy = std::floor(gy), fz = std::floor(gz);
        const double tx = gx - fx, ty = gy - fy, tz = gz - fz;
        const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy),
                   iz = static_cast<std::int64_t>(fz);
        double sum = 0.0;
        for (int c = 0; c < 8; ++c) {
            const int dx = c & 1, dy = (c >> 1) & 1, dz = (c >> 2) & 1;
            const double weight = (dx ? tx : 1.0 - tx) * (dy ? ty : 1.0 - ty) * (dz ? tz : 1.0 - tz);
            sum += weight * lattice(ix + dx, iy + dy, iz + dz);
        }
        return sum;
    }

    float lattice(std::int64_t x, std::int64_t y, std::int64_t z) const
    {
        std::uint64_t state = s_.seed ^ (static_cast<std::uint64_t>(x) * 0x9e3779b97f4a7c15ULL) ^
                              (static_cast<std::uint64_t>(y) * 0xc2b2ae3d27d4eb4fULL) ^
                              (static_cast<std::uint64_t>(z) * 0x165667b19e3779f9ULL);
        return speckle_table()[splitmix64(state) & ((1u << speckle_bits) - 1)];
    }

    tissue_speckle s_;
    std::vector<vertex3d> offsets_;
    std::vector<double> weights_;
};

}  // namespace

cip_t render_tissue_bscan(const phantom& body, const float* pose, const probe_setup& probe,
                          const std::vector<double>& row_depth, const tissue_speckle& speckle)
{
    if (!usable(body, pose, probe) || static_cast<long>(row_depth.size()) != probe.height ||
        !(speckle.grain > 0.0 && speckle.beam >= 0.0))
        return {};
    cip_t image = cip_t::make_8bit(probe.width, probe.height);
    if (image.empty())
        return image;
    const row_labeller labeller(body, pose, probe);
    const tissue_speckle_field field(speckle, labeller.step_u(), labeller.step_v());
    const std::array<float, 256> level = label_levels(body);
    std::vector<std::uint8_t> labels(static_cast<std::size_t>(probe.width));
    for (long v = 0; v < probe.height; ++v) {
        const double depth = row_depth[static_cast<std::size_t>(v)];
        labeller.label_row(depth, labels.data());
        const float gain = static_cast<float>(std::exp(-body.attenuation * static_cast<double>(v) * probe.sy));
        const vertex3d r0 = along(labeller.origin(), depth, labeller.step_v());
        std::uint8_t* out = image.pixels() + v * probe.width;
        for (long u = 0; u < probe.width; ++u) {
            const float r = field.at(along(r0, static_cast<double>(u), labeller.step_u()));
            const float grey = level[labels[static_cast<std::size_t>(u)]] * gain * r + 0.5f;
            out[u] = static_cast<std::uint8_t>(grey >= 1.0f ? std::min(grey, 255.0f) : 1.0f);
        }
    }
    return image;
}

cip_t render_tissue_labels(const phantom& body, const float* pose, const probe_setup& probe,
                           const std::vector<double>& row_depth)
{
    if (!usable(body, pose, probe) || static_cast<long>(row_depth.size()) != probe.height)
        return {};
    cip_t image = cip_t::make_8bit(probe.width, probe.height);
    if (image.empty())
        return image;
    const row_labeller labeller(body, pose, probe);
    for (long v = 0; v < probe.height; ++v)
        labeller.label_row(row_depth[static_cast<std::size_t>(v)], image.pixels() + v * probe.width);
    return image;
}

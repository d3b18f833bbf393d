#include "water_bath.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "common/speed_of_sound.h"
#include "common/vertex_math.h"

namespace {

// The floor's row at a column of an image placed by `image` (image plane to world).
double row_on_floor(const water_bath_t& bath, const matrix16d& image, double at_column)
{
    const double across = dot(bath.normal, column(image, 0)) * bath.probe.sx;
    const double down = dot(bath.normal, column(image, 1)) * bath.probe.sy * bath.depth_factor();
    if (down == 0.0)
        return std::numeric_limits<double>::quiet_NaN();
    return -(dot(bath.normal, column(image, 3)) + bath.d + across * at_column) / down;
}

// Speckle and noise drawn from tables of quantiles by 12 random bits at a
// time: a frame needs a million draws.
constexpr int table_bits = 12;
struct noise_tables_t {
    std::array<double, 1 << table_bits> rayleigh{}, normal{};  // mean 1; mean 0, deviation 1
};

const noise_tables_t& noise_tables()
{
    static const noise_tables_t tables = [] {
        noise_tables_t t;
        constexpr std::size_t n = 1 << table_bits;
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const double q = (double(k) + 0.5) / double(n);
            t.rayleigh[k] = std::sqrt(-2.0 * std::log1p(-q));
            sum += t.rayleigh[k];
            // The normal quantile by bisection of erfc: the table is built once.
            double lo = -8.0, hi = 8.0;
            for (int i = 0; i < 60; ++i) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < q ? lo : hi) = mid;
            }
            t.normal[k] = 0.5 * (lo + hi);
        }
        for (double& v : t.rayleigh)
            v *= double(n) / sum;
        return t;
    }();
    return tables;
}

struct random_bits {
    std::uint64_t state;
    std::uint64_t word = 0;
    int left = 0;

    std::size_t next()
    {
        if (left == 0) {
            std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
            z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
            z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
            word = z ^ (z >> 31);
            left = 64 / table_bits;
        }
        const std::size_t v = std::size_t(word & ((1u << table_bits) - 1));
        word >>= table_bits;
        --left;
        return v;
    }
};

matrix16d image_to_world(const water_bath_t& bath, const float* pose)
{
    matrix16d m;
    m.forward(pose);
    return m * bath.probe.calibration_matrix();
}

}  // namespace

double water_bath_t::depth_factor() const
{
    return water_depth_factor(celsius);
}

water_bath_t make_water_bath(std::uint64_t seed, double celsius, long width, long height)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> angle(20.0, 70.0), shift(-3.0, 3.0), tilt(-0.06, 0.06), unit(0.0, 1.0);
    const auto signed_angle = [&] { return unit(rng) < 0.5 ? -angle(rng) : angle(rng); };
    water_bath_t bath;
    bath.celsius = celsius;
    bath.probe.width = width;
    bath.probe.height = height;
    bath.probe.calibration = {shift(rng), shift(rng), shift(rng), signed_angle(), signed_angle(), signed_angle()};
    // About 7 cm across and 5 cm deep, pixels a little taller than wide.
    bath.probe.sx = (0.0105 + 0.002 * unit(rng)) * 640.0 / double(std::max(width, 1L));
    bath.probe.sy = bath.probe.sx * (0.85 + 0.1 * unit(rng));
    const vertex3d n{tilt(rng), tilt(rng), 1.0};
    bath.normal = (1.0 / length(n)) * n;
    bath.d = 10.0;
    const double w = double(width), h = double(height);
    bath.scale_line_ends = {0.1 * w, 0.2 * h, 0.9 * w, 0.25 * h, 0.45 * w, 0.08 * h, 0.5 * w, 0.92 * h};
    const auto& e = bath.scale_line_ends;
    bath.scale_length1_cm = std::hypot(bath.probe.sx * (e[2] - e[0]), bath.probe.sy * (e[3] - e[1]));
    bath.scale_length2_cm = std::hypot(bath.probe.sx * (e[6] - e[4]), bath.probe.sy * (e[7] - e[5]));
    return bath;
}

std::vector<std::array<float, 6>> water_bath_poses(const water_bath_t& bath, int count, std::uint64_t seed)
{
    std::vector<std::array<float, 6>> poses;
    if (count < 1 || bath.probe.width < 2 || bath.probe.height < 121)
        return poses;
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> spin(-180.0, 180.0), tilt(-30.0, 30.0), spot(-4.0, 4.0), unit(0.0, 1.0);
    const double k = bath.depth_factor(), w = double(bath.probe.width), h = double(bath.probe.height);
    matrix16d to_sensor = bath.probe.calibration_matrix();
    to_sensor.invert();
    // The image looking straight down: across along x, depth along -z.
    const double straight_down[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
    for (int tries = 0; int(poses.size()) < count && tries < 100 * count; ++tries) {
        matrix16d turn;
        turn.forward(0, 0, 0, spin(rng), tilt(rng), tilt(rng));
        matrix16d image = turn * matrix16d(straight_down);
        // Put the floor under the image's middle column at a random depth.
        const double px = spot(rng), py = spot(rng);
        const vertex3d on_floor{px, py, -(bath.d + bath.normal.x * px + bath.normal.y * py) / bath.normal.z};
        const double depth_rows = h * (0.3 + 0.4 * unit(rng));
        const vertex3d origin = on_floor - (0.5 * w * bath.probe.sx) * column(image, 0) -
                                (depth_rows * bath.probe.sy * k) * column(image, 1);
        image[12] = origin.x;
        image[13] = origin.y;
        image[14] = origin.z;
        const double r0 = row_on_floor(bath, image, 0.0), r1 = row_on_floor(bath, image, w - 1.0);
        if (!(r0 >= 60.0 && r0 <= h - 60.0 && r1 >= 60.0 && r1 <= h - 60.0))
            continue;
        const matrix16d sensor = image * to_sensor;
        double p[6];
        sensor.decompose(&p[0], &p[1], &p[2], &p[3], &p[4], &p[5]);
        poses.push_back({float(p[0]), float(p[1]), float(p[2]), float(p[3]), float(p[4]), float(p[5])});
    }
    return poses;
}

double floor_row(const water_bath_t& bath, const float* pose, double column)
{
    return row_on_floor(bath, image_to_world(bath, pose), column);
}

cip_t render_floor_bscan(const water_bath_t& bath, const float* pose, std::uint64_t seed)
{
    const long width = bath.probe.width, height = bath.probe.height;
    cip_t image = cip_t::make_8bit(width, height);
    if (image.empty())
        return image;
    const auto& draws = noise_tables();
    random_bits bits{seed};
    const matrix16d placed = image_to_world(bath, pose);
    for (long x = 0; x < width; ++x) {
        const double floor = row_on_floor(bath, placed, double(x));
        for (long y = 0; y < height; ++y) {
            // The part of this row's pixel (y - 0.5 to y + 0.5) below the floor.
            const double below = std::isfinite(floor) ? std::clamp(double(y) + 0.5 - floor, 0.0, 1.0) : 0.0;
            const double under = std::max(double(y) - floor, 0.0);
            // A specular echo is less speckled than tissue.
            const double echo = (50.0 + 150.0 * std::exp(-under / 4.0)) * (0.7 + 0.3 * draws.rayleigh[bits.next()]);
            const double grey =
                8.0 * draws.rayleigh[bits.next()] * (1.0 - below) + echo * below + 2.0 * draws.normal[bits.next()];
            image.pixels()[y * width + x] = std::uint8_t(std::clamp(std::lround(grey), 1L, 255L));
        }
    }
    return image;
}

#include "water_bath.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

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

matrix16d image_to_world(const water_bath_t& bath, const float* pose)
{
    matrix16d m;
    m.forward(pose);
    return m * bath.probe.calibration_matrix();
}

}  // namespace

double water_bath_t::depth_factor() const
{
    // The speed of sound in water (m/s) at the bath's temperature, over the scanner's 1540.
    const double t = celsius;
    const double c = 1402.385 + 5.038813 * t - 0.05799136 * t * t + 0.0003287156 * t * t * t -
                     1.398845e-6 * t * t * t * t + 2.78786e-9 * t * t * t * t * t;
    return c / 1540.0;
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
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 2.0), gaussian(0.0, 1.0);
    const auto rayleigh = [&] {
        const double a = gaussian(rng), b = gaussian(rng);
        return std::sqrt(0.5 * (a * a + b * b)) * 1.1284;  // mean 1
    };
    const matrix16d placed = image_to_world(bath, pose);
    for (long x = 0; x < width; ++x) {
        const double floor = row_on_floor(bath, placed, double(x));
        for (long y = 0; y < height; ++y) {
            // The part of this row's pixel (y - 0.5 to y + 0.5) below the floor.
            const double below = std::isfinite(floor) ? std::clamp(double(y) + 0.5 - floor, 0.0, 1.0) : 0.0;
            const double under = std::max(double(y) - floor, 0.0);
            // A specular echo is less speckled than tissue.
            const double echo = (50.0 + 150.0 * std::exp(-under / 4.0)) * (0.7 + 0.3 * rayleigh());
            const double grey = 8.0 * rayleigh() * (1.0 - below) + echo * below + noise(rng);
            image.pixels()[y * width + x] = std::uint8_t(std::clamp(std::lround(grey), 1L, 255L));
        }
    }
    return image;
}

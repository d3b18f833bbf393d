#include "sweep.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace {

// A slow wobble: `cycles` periods over the whole pass.
double wave(double amplitude, double cycles, double phase, double s)
{
    return amplitude * std::sin(2.0 * std::numbers::pi * cycles * s + phase);
}

}  // namespace

matrix16d probe_setup::calibration_matrix() const
{
    matrix16d m;
    m.forward(calibration[0], calibration[1], calibration[2], calibration[3], calibration[4], calibration[5]);
    return m;
}

probe_setup demo_probe(long width, long height)
{
    probe_setup p;
    // A sensor clipped to the handle: a few cm above and beside the image
    // origin, mounted a few degrees off square.
    p.calibration = {2.3, -4.1, 1.2, 2.5, -1.5, 3.0};
    p.width = width;
    p.height = height;
    p.sx = width > 0 ? demo_image_width_cm / static_cast<double>(width) : 0.0;
    p.sy = height > 0 ? demo_image_depth_cm / static_cast<double>(height) : 0.0;
    return p;
}

std::array<double, 6> demo_sweep_pose(double s, const probe_setup& probe)
{
    // The image's own axes in the body: across -> +y, down -> +z, so its normal is +x,
    // the direction of travel.
    matrix16d upright;
    upright.forward(0.0, 0.0, 0.0, 90.0, 0.0, 90.0);
    // The hand rocks the probe about the middle of its face, not the image corner.
    matrix16d face_centre;
    face_centre.inverse(0.5 * static_cast<double>(probe.width) * probe.sx, 0.0, 0.0);
    const matrix16d image_to_hand = upright * face_centre;
    matrix16d sensor_to_image = probe.calibration_matrix();
    sensor_to_image.invert();

    // Slow at both ends and quicker mid-way, as a hand starts and stops.
    const double progress = s - 0.3 * std::sin(2.0 * std::numbers::pi * s) / (2.0 * std::numbers::pi);
    const double x = -0.5 * demo_sweep_length_cm + demo_sweep_length_cm * progress;
    const double y = 0.25 * s + wave(0.08, 1.3, 0.4, s);  // sideways drift
    const double z = wave(0.03, 2.1, 1.1, s);             // changing pressure
    const double twist = wave(2.5, 1.1, 2.0, s);
    const double fan = wave(3.0, 0.9, 0.3, s) + wave(1.0, 2.7, 4.1, s);
    const double rock = wave(2.0, 1.6, 5.2, s);
    matrix16d hand;
    hand.forward(x, y, z, twist, fan, rock);
    const matrix16d sensor = hand * image_to_hand * sensor_to_image;

    std::array<double, 6> v{};
    sensor.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    return v;
}

std::vector<sweep_pose> demo_sweep(int frames, const probe_setup& probe)
{
    std::vector<sweep_pose> out;
    if (frames < 1)
        return out;
    out.reserve(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double s = frames > 1 ? static_cast<double>(i) / (frames - 1) : 0.0;
        const std::array<double, 6> v = demo_sweep_pose(s, probe);
        sweep_pose p;
        p.pose = counted_array_ptr<float>(6);
        for (int k = 0; k < 6; ++k)
            p.pose[static_cast<std::size_t>(k)] = static_cast<float>(v[static_cast<std::size_t>(k)]);
        p.time = demo_first_time + static_cast<std::uint64_t>(i) * demo_frame_ticks;
        out.push_back(std::move(p));
    }
    return out;
}

matrix16d image_to_world(const float* pose, const probe_setup& probe)
{
    matrix16d m;
    m.forward(pose);
    return m * probe.calibration_matrix();
}

// Sampling a stack of slices as a volume: values linear in space are found
// exactly anywhere inside an oblique stack (bilinear in each slice, linear
// between slices); padding, the outside and slices that are not parallel
// give no value; profiles include both ends.
#include <gtest/gtest.h>

#include <random>

#include "common/vertex_math.h"
#include "volumes/slice_volume.h"

namespace {

constexpr long w = 9, h = 7, n = 5;
constexpr double pixel = 0.1, spacing = 0.25;  // cm
constexpr double az = 30, el = 10, roll = 5;

// Slice k's pose: one turn for all, origins stepped along the normal.
counted_array_ptr<float> pose_of(long k)
{
    matrix16d m;
    m.forward(1.0, -2.0, 3.0, az, el, roll);
    const vertex3d o = column(m, 3) + (spacing * double(k)) * column(m, 2);
    counted_array_ptr<float> p(6);
    const float values[] = {float(o.x), float(o.y), float(o.z), float(az), float(el), float(roll)};
    std::copy(std::begin(values), std::end(values), p.get());
    return p;
}

double stored_value(double x, double y, double k)
{
    return 1000 + 10 * x + 20 * y + 30 * k;
}

slice_volume_t::source_t stack(std::optional<std::uint16_t> padding = std::nullopt)
{
    slice_volume_t::source_t s;
    for (long k = 0; k < n; ++k) {
        cip_t f = cip_t::make_16bit(w, h);
        for (long y = 0; y < h; ++y)
            for (long x = 0; x < w; ++x)
                f.samples()[y * w + x] = std::uint16_t(stored_value(double(x), double(y), double(k)));
        s.frames.push_back(f);
        s.poses.push_back(pose_of(k));
    }
    s.calibration.identity();
    s.xscale = s.yscale = pixel;
    s.slope = 2.0;
    s.offset = -1024.0;
    s.padding = padding;
    return s;
}

TEST(SliceVolume, LinearValuesAreFoundExactlyInsideAnObliqueStack)
{
    wxString why;
    auto v = slice_volume_t::build(stack(), &why);
    ASSERT_TRUE(v) << why;
    matrix16d m;
    m.forward(1.0, -2.0, 3.0, az, el, roll);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> ux(0, w - 1), uy(0, h - 1), uk(0, n - 1);
    for (int i = 0; i < 200; ++i) {
        const double x = ux(rng), y = uy(rng), k = uk(rng);
        const vertex3d p = m * vertex3d{x * pixel, y * pixel, k * spacing};
        const auto s = v->sample(p);
        ASSERT_TRUE(s) << x << " " << y << " " << k;
        EXPECT_NEAR(*s, 2.0 * stored_value(x, y, k) - 1024.0, 1e-2) << x << " " << y << " " << k;
    }
    // Pixel centres at whole numbers, the edges included.
    EXPECT_NEAR(*v->interp(4, w - 1, h - 1), stored_value(w - 1, h - 1, 4), 1e-9);
    EXPECT_FALSE(v->interp(4, w - 0.9, 0));
    EXPECT_FALSE(v->interp(n, 0, 0));
    // Beyond the last slice, or beside the frames: nothing.
    EXPECT_FALSE(v->sample(m * vertex3d{0.3, 0.3, (n - 1) * spacing + 0.01}));
    EXPECT_FALSE(v->sample(m * vertex3d{-0.05, 0.3, spacing}));

    // A profile through the stack, both ends sampled.
    const vertex3d a = m * vertex3d{0.2, 0.3, 0.0}, b = m * vertex3d{0.6, 0.3, (n - 1) * spacing};
    double values[5];
    char valid[5];
    v->sample_on_line(a, b, 5, values, valid);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(valid[i]) << i;
        EXPECT_NEAR(values[i], 2.0 * stored_value(2 + i, 3, i) - 1024.0, 1e-2) << i;
    }
}

TEST(SliceVolume, PaddingAndUnusableStacksGiveNoValue)
{
    wxString why;
    auto s = stack(std::uint16_t(stored_value(4, 3, 2)));
    auto v = slice_volume_t::build(s, &why);
    ASSERT_TRUE(v) << why;
    EXPECT_FALSE(v->interp(2, 4.5, 3.5));  // next to the padded pixel
    EXPECT_TRUE(v->interp(2, 5.5, 3.5));
    EXPECT_TRUE(v->interp(1, 4.0, 3.0));  // the value pads only where it is the stored value

    auto turned = stack();
    turned.poses[3][4] += 5.0f;
    EXPECT_FALSE(slice_volume_t::build(turned, &why));
    EXPECT_TRUE(why.Contains("not parallel")) << why;
    auto missing = stack();
    missing.poses[1] = counted_array_ptr<float>();
    EXPECT_FALSE(slice_volume_t::build(missing, &why));
    auto empty = stack();
    empty.frames.clear();
    empty.poses.clear();
    EXPECT_FALSE(slice_volume_t::build(empty, &why));
}

}  // namespace

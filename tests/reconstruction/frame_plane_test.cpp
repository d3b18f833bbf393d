// Reslices that should give back exactly what the frames hold: a plane lying
// in a frame reproduces every pixel (the first row and column included), a
// stack exported along its own frames gives one slice per frame, and
// interpolated samples of a ramp are unbiased.
#include <cmath>

#include <gtest/gtest.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "reconstruction/voxel_export.h"
#include "synthetic_sweep.h"

namespace {

constexpr long frame_w = 60, frame_h = 40;
constexpr double pixel = 0.01;

// Distinct values everywhere, never 0 (which would read back as 1).
cip_t patterned_frame(int seed)
{
    return painted_image(frame_w, frame_h, [seed](long u, long v) {
        return std::uint8_t(1 + (u * 7 + v * 13 + seed * 31) % 250);
    });
}

// A plane in the frame z = z0 whose pixel grid lies on the frame's.
reslice_settings frame_aligned_plane(double z0)
{
    reslice_settings s = plane_at({0.0, 0.0, 1.0}, {frame_w * pixel / 2, frame_h * pixel / 2, z0}, frame_w, false,
                                  0.001);
    s.height = frame_h;
    return s;
}

// Catches a frame rectangle that loses row 0 and column 0 (or gains a row
// past the last): every mode and slab combination must give the frame back.
TEST(FramePlane, ResliceInAFramesPlaneReproducesEveryPixel)
{
    const cip_t image = patterned_frame(0);
    const reslice_source src = source_of(pixel, {flat_frame(image, 0.0, 0.0, 0.0)});
    const struct {
        bool linear;
        double slab_half;
        reslice_compounding_t compounding;
        double bscan_half;
    } cases[] = {
        {false, 0.0, reslice_compounding_t::maximum, 0.0},
        {false, 0.0, reslice_compounding_t::maximum, 0.001},
        {true, 0.0, reslice_compounding_t::maximum, 0.001},
        {false, 0.03, reslice_compounding_t::maximum, 0.001},
        {true, 0.03, reslice_compounding_t::minimum, 0.001},
        {false, 0.03, reslice_compounding_t::average, 0.05},  // every plane of the slab meets the frame
    };
    for (const auto& c : cases) {
        reslice_settings s = frame_aligned_plane(0.0);
        s.linear = c.linear;
        s.slice_half_thickness = c.slab_half;
        s.compounding = c.compounding;
        s.bscan_half_thickness = c.bscan_half;
        const reslice_internals r = built(src, s);
        long wrong = 0;
        for (long v = 0; v < frame_h; ++v)
            for (long u = 0; u < frame_w; ++u)
                wrong += r.pixel(u, v) != image.pixels()[v * frame_w + u];
        EXPECT_EQ(wrong, 0) << "linear " << c.linear << ", slab " << c.slab_half << ", first pixels "
                            << int(r.pixel(0, 0)) << " " << int(r.pixel(0, 1)) << " " << int(r.pixel(1, 0));
    }
}

// 30 frames 0.02 cm apart exported 0.02 cm apart: 0.58 / 0.02 is a hair below
// 29 in floating point, and a plain floor dropped the last frame's slice.
// Each slice is its frame, first row and column included.
TEST(FramePlane, ExportAlongTheFramesGivesOneSlicePerFrame)
{
    constexpr int frames = 30;
    constexpr double gap = 0.02;
    reslice_source src = source_of(pixel);
    for (int i = 0; i < frames; ++i)
        src.frames.push_back(flat_frame(patterned_frame(i), 0.0, 0.0, i * gap));
    wxString dir = wxFileName::CreateTempFileName("ks_plane");
    wxRemoveFile(dir);
    ASSERT_TRUE(wxFileName::Mkdir(dir));
    voxel_export_request request;
    request.settings = frame_aligned_plane(0.0);
    request.step = 1;
    request.spacing = gap;
    request.path = dir + "/stack.ks";
    const voxel_layout_t layout = plan_voxel_export(src, request);
    ASSERT_TRUE(layout.ok);
    EXPECT_EQ(layout.slices, frames);
    ASSERT_TRUE(export_voxels(src, voxel_header_t{}, request));
    wxFile kvi(dir + "/stack.kvi");
    std::string data(static_cast<std::size_t>(kvi.Length()), '\0');
    ASSERT_EQ(kvi.Read(data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ASSERT_EQ(data.size(), std::size_t(frames * frame_w * frame_h));
    for (int i = 0; i < frames; ++i) {
        const cip_t expected = patterned_frame(i);
        EXPECT_EQ(data.compare(std::size_t(i * frame_w * frame_h), std::size_t(frame_w * frame_h),
                               reinterpret_cast<const char*>(expected.pixels()), std::size_t(frame_w * frame_h)),
                  0)
            << "slice " << i;
    }
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}

struct ramp_error_t {
    double mean = 0.0, worst = 0.0;
    long samples = 0;
};

// Compares a reslice of frames holding the ramp 10 + u + v with the ramp
// itself at every reslice pixel well inside the frames.
ramp_error_t ramp_error(const reslice_source& src, const reslice_settings& s)
{
    const reslice_internals r = built(src, s);
    ramp_error_t e;
    for (long y = 0; y < r.height(); ++y)
        for (long x = 0; x < r.width(); ++x) {
            const vertex3d p = r.reslice_to_world(x, y, 0.0);
            const double u = p.x / pixel, v = p.y / pixel;
            if (u < 2 || v < 2 || u > 97 || v > 97 || r.pixel(x, y) == 0)
                continue;
            const double error = r.pixel(x, y) - (10.0 + u + v);
            e.mean += error;
            e.worst = std::max(e.worst, std::fabs(error));
            ++e.samples;
        }
    e.mean /= std::max(1L, e.samples);
    return e;
}

// Catches sums and weights truncated instead of rounded: the reslice of a ramp
// read about one grey level low on average.
TEST(FramePlane, InterpolatedRampIsUnbiased)
{
    const cip_t ramp = painted_image(100, 100, [](long u, long v) { return std::uint8_t(10 + u + v); });
    // One frame, the plane in it but turned and shifted so samples fall between pixels.
    reslice_settings in_plane = plane_at({0.0, 0.0, 1.0}, {0.503, 0.497, 0.0}, 80, false, 0.001, {0.3, 1.0, 0.0});
    const ramp_error_t single = ramp_error(source_of(pixel, {flat_frame(ramp, 0.0, 0.0, 0.0)}), in_plane);
    ASSERT_GT(single.samples, 3000);
    EXPECT_LT(std::fabs(single.mean), 0.1);
    EXPECT_LE(single.worst, 0.55);

    // A stack of the same ramp cut by a tilted plane in linear mode.
    reslice_source stack = source_of(pixel);
    for (int i = 0; i <= 10; ++i)
        stack.frames.push_back(flat_frame(ramp, 0.0, 0.0, 0.1 * i));
    const reslice_settings tilted = plane_at({0.2, 0.3, 1.0}, {0.5, 0.5, 0.5}, 80, true, 0.1, {0.0, 1.0, -0.3});
    const ramp_error_t oblique = ramp_error(stack, tilted);
    ASSERT_GT(oblique.samples, 3000);
    EXPECT_LT(std::fabs(oblique.mean), 0.15);
    EXPECT_LE(oblique.worst, 1.0);
}

}  // namespace

// The reconstruction controls of a voxel export: slab thickness and hole
// filling against a sweep with gaps, frames' black borders kept out, averaged
// in-plane steps, and bytes that never depend on the thread count.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "reconstruction/voxel_export.h"
#include "reconstruction/voxel_hole_fill.h"
#include "synthetic_sweep.h"

namespace {

constexpr double pixel = 0.02;  // cm, frames and reslice alike

std::string read_bytes(const wxString& path)
{
    std::ifstream in(path.ToStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class VoxelReconstruction : public ::testing::Test {
protected:
    wxString dir;
    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_recon");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }
    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }

    // The voxels of a recording-type export (the slices' bytes, in order).
    std::string exported(const reslice_source& src, voxel_export_request r, const wxString& name)
    {
        r.path = path(name + ".ks");
        r.type = voxel_output_t::recording;
        EXPECT_TRUE(export_voxels(src, voxel_header_t{}, r)) << name;
        return read_bytes(path(name + ".kvi"));
    }
};

// The sweep's grey level at world (x, y, z) cm: a ramp both across the frames and along the sweep.
double analytic(const vertex3d& p)
{
    return 30.0 + 100.0 * p.x / 1.2 + 80.0 * p.z / 1.5;
}

// Flat 60 x 60 frames (1.2 cm square from the origin): dense from z = 0 to 0.5
// cm, 0.5 mm apart, then freehand gaps of 2.5, 2.5, 2 and 3 mm up to 1.5 cm.
reslice_source gappy_sweep()
{
    std::vector<double> depths;
    for (int i = 0; i <= 10; ++i)
        depths.push_back(0.05 * i);
    for (double z : {0.75, 1.0, 1.2, 1.5})
        depths.push_back(z);
    reslice_source src = source_of(pixel);
    for (double z : depths) {
        const cip_t img = painted_image(60, 60, [z](long u, long v) {
            return std::uint8_t(std::lround(analytic({u * pixel, v * pixel, z})));
        });
        src.frames.push_back(flat_frame(img, 0.0, 0.0, z));
    }
    return src;
}

// Slices across the frames (normal along x); in-plane 2 cm along the sweep, from z = -0.25.
voxel_export_request across_gappy_sweep(double slab)
{
    voxel_export_request r;
    r.settings = plane_at({1.0, 0.0, 0.0}, {0.6, 0.6, 0.75}, 100, true, slab, {0.0, 1.0, 0.0});
    r.step = 1;
    r.spacing = 0.04;
    return r;
}

struct voxel_census {
    long empty_inside = 0, dense_checked = 0, dense_off = 0, filled_far_outside = 0;
};

// Empty voxels inside the swept box, misfits to the analytic ramp where frames
// are dense, and voxels with data farther than `reach` cm from any frame.
voxel_census census(const std::string& data, const voxel_export_request& r, double reach)
{
    const reslice_plane plane(r.settings, pixel);
    const long n = r.settings.width;
    voxel_census c;
    for (long s = 0; static_cast<std::size_t>((s + 1) * n * n) <= data.size(); ++s)
        for (long j = 0; j < n; ++j)
            for (long i = 0; i < n; ++i) {
                const auto v = static_cast<std::uint8_t>(data[static_cast<std::size_t>((s * n + j) * n + i)]);
                const vertex3d p = plane.reslice_to_world(double(i), double(j), -0.6 + s * r.spacing);
                // A pixel's cell reaches half a pixel past the frame's first and last pixel centres.
                const bool across = p.x > 0.0 && p.x < 1.17 && p.y > 0.0 && p.y < 1.17;
                if (across && p.z > 0.0 && p.z < 1.5 && v == 0)
                    ++c.empty_inside;
                if (across && p.x > 0.05 && p.y > 0.05 && p.z > 0.05 && p.z < 0.45) {
                    ++c.dense_checked;
                    c.dense_off += std::fabs(v - analytic(p)) > 2.0;
                }
                if ((p.z < -reach || p.z > 1.5 + reach) && v != 0)
                    ++c.filled_far_outside;
            }
    return c;
}

// Catches a slab option that does not reach the frames, a hole filling that
// leaves gaps, changes voxels that had data, or spreads past its distance.
TEST_F(VoxelReconstruction, GappySweepIsFilledInsideAndExactWhereDense)
{
    const reslice_source src = gappy_sweep();
    // The usual slab, 0.6 of the 0.5 mm median gap, leaves bands of holes in the 2-3 mm gaps.
    const voxel_export_request thin = across_gappy_sweep(0.03);
    const voxel_census holes = census(exported(src, thin, "thin"), thin, 0.2);
    EXPECT_GT(holes.empty_inside, 1000);

    // A 1 mm slab leaves 0.5 mm in the middle of the 3 mm gap; filling within 0.6 mm closes it.
    voxel_export_request filled = across_gappy_sweep(0.1);
    filled.fill_holes = 0.06;
    const std::string data = exported(src, filled, "filled");
    ASSERT_EQ(data.size(), 31u * 100 * 100);  // x from 0 to 1.2 cm, 0.4 mm apart
    const voxel_census c = census(data, filled, 0.1 + 0.06 + pixel);
    EXPECT_EQ(c.empty_inside, 0);
    EXPECT_GT(c.dense_checked, 30000);
    EXPECT_EQ(c.dense_off, 0);
    EXPECT_EQ(c.filled_far_outside, 0);
}

// Catches a fill that picks a farther voxel, reads filled voxels as sources,
// or loses slices at the ends of the stream.
TEST(VoxelHoleFill, NearestDataWithinTheRadiusAcrossSlices)
{
    // 5 x 1 voxels, 1 mm in-plane, slices 3 mm apart, radius 3.5 mm.
    std::vector<std::vector<std::uint8_t>> out;
    voxel_hole_filler_t filler(5, 1, 0.1, 0.3, 0.35, [&out](long i, const std::vector<std::uint8_t>& s) {
        EXPECT_EQ(i, long(out.size()));
        out.push_back(s);
        return true;
    });
    ASSERT_TRUE(filler.ok());
    ASSERT_TRUE(filler.add({9, 0, 0, 0, 0}));
    ASSERT_TRUE(filler.add({0, 0, 0, 0, 0}));
    ASSERT_TRUE(filler.add({0, 0, 0, 0, 7}));
    ASSERT_TRUE(filler.finish());
    ASSERT_EQ(out.size(), 3u);
    // In-plane 1..3 mm from the 9; 4 mm is beyond, and the 7 two slices on is 6 mm away.
    EXPECT_EQ(out[0], (std::vector<std::uint8_t>{9, 9, 9, 9, 0}));
    // One slice over: sqrt(1 + 9) = 3.2 mm reaches, sqrt(4 + 9) = 3.6 mm does not.
    EXPECT_EQ(out[1], (std::vector<std::uint8_t>{9, 9, 0, 7, 7}));
    EXPECT_EQ(out[2], (std::vector<std::uint8_t>{0, 7, 7, 7, 7}));

    voxel_hole_filler_t bad(5, 1, 0.1, 0.3, std::nan(""), [](long, const std::vector<std::uint8_t>&) { return true; });
    EXPECT_FALSE(bad.ok());
}

// Frames from a scanner: a 6-pixel black border round grey data of 80 and up.
reslice_source bordered_sweep()
{
    reslice_source src = source_of(pixel);
    for (int k = 0; k <= 20; ++k) {
        const cip_t img = painted_image(60, 60, [](long u, long v) {
            const bool border = u < 6 || v < 6 || u >= 54 || v >= 54;
            return std::uint8_t(border ? 0 : 80 + (u + v) % 100);
        });
        src.frames.push_back(flat_frame(img, 0.0, 0.0, 0.05 * k));
    }
    return src;
}

long count_of(const std::string& data, std::uint8_t value)
{
    return static_cast<long>(std::count(data.begin(), data.end(), static_cast<char>(value)));
}

// Catches a black border read as data (a zero becomes 1) when the frames are
// masked or clipped, and a clip that keeps out the data inside it.
TEST_F(VoxelReconstruction, MaskedOrClippedBorderStaysOut)
{
    voxel_export_request r;
    r.settings = plane_at({1.0, 0.0, 0.0}, {0.6, 0.6, 0.5}, 80, true, 0.03);
    r.step = 2;
    r.spacing = 0.04;
    reslice_source src = bordered_sweep();
    EXPECT_GT(count_of(exported(src, r, "plain"), 1), 1000) << "without a mask the border is data";

    src.zero_is_no_data = true;
    const std::string masked = exported(src, r, "masked");
    EXPECT_EQ(count_of(masked, 1), 0);

    src.zero_is_no_data = false;
    src.clip = frame_clip{6, 6, 48, 48};
    const std::string clipped = exported(src, r, "clipped");
    EXPECT_EQ(count_of(clipped, 1), 0);
    // The clip shrinks the volume to the data: 48 pixels (0.96 cm) across, slices 0.4 mm apart.
    EXPECT_EQ(clipped.size() / (40u * 40u), 25u);
    EXPECT_GT(clipped.size() - count_of(clipped, 0), clipped.size() / 5) << "the data inside the clip stays";
}

double variance(const std::string& data)
{
    double sum = 0.0, sum2 = 0.0;
    for (char c : data) {
        const double v = static_cast<std::uint8_t>(c);
        sum += v;
        sum2 += v * v;
    }
    const double n = static_cast<double>(data.size());
    return sum2 / n - (sum / n) * (sum / n);
}

// Catches a step that keeps every K-th pixel's speckle instead of averaging the K x K pixels.
TEST_F(VoxelReconstruction, AveragingStepSmoothsACheckerboardSkippingKeepsIt)
{
    reslice_source src = source_of(pixel);
    const cip_t board = painted_image(61, 61, [](long u, long v) { return std::uint8_t((u + v) % 2 ? 150 : 50); });
    src.frames.push_back(flat_frame(board, 0.0, 0.0, 0.0));
    src.bilinear = false;
    voxel_export_request r;
    // The frame's own plane, pixel for pixel; 49 pixels keep the box within the frame.
    r.settings = plane_at({0.0, 0.0, 1.0}, {0.6, 0.6, 0.0}, 49, false, 0.01);
    r.step = 3;
    r.spacing = 0.06;
    r.step_rule = voxel_step_rule_t::skip;
    const std::string skipped = exported(src, r, "skipped");
    r.step_rule = voxel_step_rule_t::average;
    const std::string averaged = exported(src, r, "averaged");
    ASSERT_EQ(skipped.size(), 17u * 17u);
    ASSERT_EQ(averaged.size(), skipped.size());
    EXPECT_NEAR(variance(skipped), 2500.0, 1.0);  // every kept pixel 50 or 150
    // A 3 x 3 box holds five of one colour and four of the other: 94 or 106.
    EXPECT_NEAR(variance(averaged), 31.0, 5.0);
}

// Catches results that depend on how many slices are built at once, with the
// averaging and the hole filling that follow the building.
TEST_F(VoxelReconstruction, ThreadCountNeverChangesTheBytes)
{
    const reslice_source src = gappy_sweep();
    voxel_export_request r = across_gappy_sweep(0.08);
    r.step = 2;
    r.spacing = 0.03;
    r.fill_holes = 0.1;
    r.threads = 1;
    const std::string one = exported(src, r, "one");
    r.threads = 2;
    const std::string two = exported(src, r, "two");
    r.threads = 3;
    const std::string three = exported(src, r, "three");
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(one == two);
    EXPECT_TRUE(one == three);
}

// Catches out-of-range controls reaching the export instead of a clear refusal.
TEST(VoxelReconstructionPlan, BadControlsAreRefused)
{
    voxel_export_request r = across_gappy_sweep(0.03);
    const reslice_source src = gappy_sweep();
    for (double fill : {-0.1, std::nan(""), double(INFINITY)}) {
        r.fill_holes = fill;
        EXPECT_FALSE(plan_voxel_export(src, r).ok) << fill;
    }
    r.fill_holes = 0.0;
    r.threads = voxel_max_threads + 1;
    EXPECT_FALSE(plan_voxel_export(src, r).ok);
    r.threads = 2;
    EXPECT_TRUE(plan_voxel_export(src, r).ok);
}

}  // namespace

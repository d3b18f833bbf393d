// Voxel volumes swept from hand-placed frames: the slices must be the reslices
// at their depths, placed where the reslice says, in every output type.
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/image.h>

#include "common/interaction.h"
#include "reconstruction/voxel_export.h"
#include "resources/core_session.h"
#include "resources/recording_file.h"
#include "synthetic_sweep.h"

namespace {

using namespace sphere;

// Slices across the frames (normal along x), the data -1 .. 1 cm deep along it.
reslice_settings across_frames(long size)
{
    return plane_at({1.0, 0.0, 0.0}, {}, size, false, spacing / 2);
}

std::string read_bytes(const wxString& path)
{
    std::ifstream in(path.ToStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The reslice of `settings` moved by z along its normal, built directly.
std::vector<std::uint8_t> direct_reslice(const reslice_source& src, reslice_settings s, double z)
{
    s.centre = s.centre + z * s.normal;
    s.up = s.up + z * s.normal;
    return built(src, s).image();
}

class VoxelExport : public ::testing::Test {
protected:
    wxString dir;
    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_vox");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }
    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }

    voxel_export_request request(const wxString& name, voxel_output_t type, int step, double d, long size = 100) const
    {
        voxel_export_request r;
        r.settings = across_frames(size);
        r.step = step;
        r.spacing = d;
        r.path = path(name);
        r.type = type;
        return r;
    }
};

// Catches slices that are not the reslice at depth zmin + i d, or a wrong slice count.
TEST_F(VoxelExport, StepOneSlicesAreTheReslicesByteForByte)
{
    const reslice_source src = sphere_sweep();
    ASSERT_TRUE(export_voxels(src, voxel_header_t{}, request("vol.ks", voxel_output_t::recording, 1, 0.1)));
    const std::string data = read_bytes(path("vol.kvi"));
    const std::size_t slice_bytes = 100 * 100;
    ASSERT_EQ(data.size(), 21 * slice_bytes);  // frames span x = -1 .. 1: floor(2 / 0.1) + 1 slices
    for (int i = 0; i < 21; ++i) {
        const std::vector<std::uint8_t> expected = direct_reslice(src, across_frames(100), -1.0 + 0.1 * i);
        EXPECT_EQ(data.compare(i * slice_bytes, slice_bytes, std::string(expected.begin(), expected.end())), 0)
            << "slice " << i;
    }
}

// Catches rounding the output size up or keeping the wrong pixels for k > 1 when skipping,
// and a slice count that ignores the floor (one slice when the spacing exceeds the depth).
TEST_F(VoxelExport, StepThreeKeepsEveryThirdPixelOfEveryThirdRow)
{
    const reslice_source src = sphere_sweep();
    EXPECT_EQ(voxel_output_size(100, 3), 34);
    voxel_export_request skipping = request("vol.ks", voxel_output_t::recording, 3, 0.5);
    skipping.step_rule = voxel_step_rule_t::skip;
    ASSERT_TRUE(export_voxels(src, voxel_header_t{}, skipping));
    const std::string data = read_bytes(path("vol.kvi"));
    ASSERT_EQ(data.size(), 5u * 34 * 34);  // floor(2 / 0.5) + 1 slices of 34 x 34
    const std::vector<std::uint8_t> full = direct_reslice(src, across_frames(100), -1.0 + 0.5 * 2);
    for (long j = 0; j < 34; ++j)
        for (long i = 0; i < 34; ++i)
            ASSERT_EQ(std::uint8_t(data[2 * 34 * 34 + j * 34 + i]), full[3 * j * 100 + 3 * i]) << i << "," << j;

    const voxel_layout_t layout = plan_voxel_export(src, request("vol.ks", voxel_output_t::recording, 1, 5.0));
    ASSERT_TRUE(layout.ok);
    EXPECT_EQ(layout.slices, 1);
    EXPECT_NEAR(layout.zmin, -1.0, 1e-9);
    EXPECT_NEAR(layout.zmax, 1.0, 1e-9);
}

// Catches background written as anything but 0, in the recording and every image type.
TEST_F(VoxelExport, UncoveredPixelsAreZeroInEveryOutputType)
{
    const reslice_source src = sphere_sweep();
    // 150 pixels of 0.02 cm span 3 cm; the data only 2 cm, so the corner is 25 pixels from any frame.
    ASSERT_TRUE(export_voxels(src, voxel_header_t{}, request("vol", voxel_output_t::recording, 1, 1.0, 150)));
    const std::string data = read_bytes(path("vol.kvi"));
    ASSERT_EQ(data.size(), 3u * 150 * 150);
    EXPECT_EQ(data[150 * 150 + 0], 0);
    EXPECT_NE(data[150 * 150 + 75 * 150 + 75], 0) << "the middle is covered";
    const std::pair<voxel_output_t, const char*> types[] = {
        {voxel_output_t::bmp, "s.bmp"}, {voxel_output_t::png, "s.png"},
        {voxel_output_t::jpeg, "s.jpeg"}, {voxel_output_t::tiff, "s.tiff"}};
    for (const auto& [type, name] : types) {
        ASSERT_TRUE(export_voxels(src, voxel_header_t{}, request(name, type, 1, 1.0, 150))) << name;
        wxImage img;
        ASSERT_TRUE(img.LoadFile(voxel_slice_path(path(name), 1, type))) << name;
        ASSERT_EQ(img.GetWidth(), 150);
        EXPECT_EQ(img.GetRed(0, 0), 0) << name;
        EXPECT_GT(img.GetRed(75, 75), 100) << name << ": the sphere's middle is 200";
    }
}

// Catches image slices that lose their number or extension, and a recording
// name left without its extension (or its image data file misnamed).
TEST_F(VoxelExport, OutputsAreNamedFromThePath)
{
    EXPECT_EQ(voxel_slice_path("/d/scan.png", 12, voxel_output_t::png), "/d/scan12.png");
    EXPECT_EQ(voxel_slice_path("/d/scan", 3, voxel_output_t::tiff), "/d/scan3.tiff");
    EXPECT_EQ(voxel_recording_path("/d/vol.ks"), "/d/vol.ks");
    ASSERT_TRUE(export_voxels(sphere_sweep(), voxel_header_t{}, request("scan.png", voxel_output_t::png, 2, 1.0)));
    ASSERT_TRUE(export_voxels(sphere_sweep(), voxel_header_t{}, request("vol", voxel_output_t::recording, 1, 1.0)));
    for (const auto& [name, made] : {std::pair<const char*, bool>{"scan0.png", true}, {"scan2.png", true},
                                     {"scan3.png", false}, {"scan.png", false}, {"vol.ks", true}, {"vol.kvi", true},
                                     {"vol", false}})
        EXPECT_EQ(wxFileExists(path(name)), made) << name;
    // A recording is never written under an image data file's name.
    EXPECT_FALSE(export_voxels(sphere_sweep(), voxel_header_t{}, request("vol.kvi", voxel_output_t::recording, 1, 1.0)));
    EXPECT_FALSE(wxFileExists(path("vol.kvii")));
}

// Cancels the export at its third slice.
class cancel_at_third : public headless_interaction_t {
public:
    bool progress_update(int value, const wxString&) override { return value < 2; }
};

// Catches an interrupted export that damages the recording it was to replace.
TEST_F(VoxelExport, InterruptedExportLeavesTheOldFileWhole)
{
    {
        std::ofstream(path("vol.ks").ToStdString()) << "old";
    }
    cancel_at_third cancel;
    interaction_t* before = set_interaction(&cancel);
    const bool ok = export_voxels(sphere_sweep(), voxel_header_t{}, request("vol.ks", voxel_output_t::recording, 1, 0.1));
    set_interaction(before);
    EXPECT_FALSE(ok);
    EXPECT_EQ(read_bytes(path("vol.ks")), "old");
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left);
    EXPECT_EQ(left.size(), 1u) << "temporary files removed";
}

// Catches wrong size estimates or wrong step and spacing behind the 28 rows.
TEST(VoxelResolutionRows, SizesFollowTheEstimates)
{
    // D = 2.05 cm at 0.02 cm: floor(103.5) = 103 slices of 1024 x 1024 bytes = 103 Mb at one pixel width;
    // D / 1 mm: floor(21.5) = 21 Mb at 1 mm.
    const std::vector<voxel_resolution_row_t> rows = voxel_resolution_rows(2.05, 1024, 1024, 0.02);
    ASSERT_EQ(rows.size(), 28u);
    EXPECT_EQ(rows[0].text, "Resolution and spacing =  1 pixel widths       (size = 103.00Mb)");
    EXPECT_EQ(rows[2].text, "Resolution and spacing =  3 pixel widths       (size =  3.81Mb)");
    EXPECT_EQ(rows[3].step, 4);
    EXPECT_DOUBLE_EQ(rows[3].spacing, 4 * 0.02);
    EXPECT_EQ(rows[8].text, "Resolution = 1 pixel width, spacing =  1 mm   (size = 21.00Mb)");
    EXPECT_EQ(rows[27].text, "Resolution = 1 pixel width, spacing = 20 mm   (size =  1.05Mb)");
    EXPECT_EQ(rows[27].step, 1);
    EXPECT_NEAR(rows[27].spacing, 2.0, 1e-12);
}

}  // namespace

// Volume files written for other programs, read back by this program's own
// readers (the other programs' readers are the tool tests' job): 16-bit
// values of both signs in little-endian order, raw and gzip-encoded data
// streamed in pieces, the axes and origin; and a volume that is not finished
// never replaces the file it was meant to.
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "volumes/volume_files.h"
#include "volumes/volume_files_out.h"

namespace {

constexpr long w = 5, h = 3, d = 4;  // odd sizes: a row or slice misplaced shows

std::int16_t value_at(long i, long j, long k)
{
    return static_cast<std::int16_t>(-3000 + 997 * i + 131 * j + 1543 * k);  // both signs, both bytes vary
}

class VolumeFilesOut : public ::testing::Test {
protected:
    wxString dir;
    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_volout");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }
    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }

    static volume_file_header_t header(volume_file_type_t type, bool gzip)
    {
        volume_file_header_t hd;
        hd.type = type;
        hd.gzip = gzip;
        hd.voxel = volume_voxel_t::int16;
        hd.width = w;
        hd.height = h;
        hd.depth = d;
        hd.spacing_mm = {0.5, 0.75, 2.0};
        hd.origin_mm = {-12.5, 30.25, 7.0};
        return hd;
    }

    static bool write(const wxString& file, const volume_file_header_t& hd, long slices)
    {
        volume_file_writer_t out(file, hd);
        std::vector<std::int16_t> slice(static_cast<std::size_t>(w * h));
        for (long k = 0; k < slices; ++k) {
            for (long j = 0; j < h; ++j)
                for (long i = 0; i < w; ++i)
                    slice[static_cast<std::size_t>(j * w + i)] = value_at(i, j, k);
            if (!out.write_slice(slice.data()))
                return false;
        }
        return out.commit();
    }
};

void expect_values(const volume_t& v)
{
    ASSERT_EQ(v.width, w);
    ASSERT_EQ(v.height, h);
    ASSERT_EQ(v.depth, d);
    for (long k = 0; k < d; ++k)
        for (long j = 0; j < h; ++j)
            for (long i = 0; i < w; ++i) {
                const std::size_t at = static_cast<std::size_t>((k * h + j) * w + i);
                EXPECT_EQ(v.slope * v.voxels[at] + v.intercept, value_at(i, j, k)) << i << " " << j << " " << k;
            }
}

// Catches a wrong byte order or sign, a lost or doubled piece of the gzip stream, or header fields the
// readers take differently (sizes, spacing, origin).
TEST_F(VolumeFilesOut, SixteenBitVolumesReadBackRawAndCompressed)
{
    const struct {
        const char* name;
        volume_file_type_t type;
        bool gzip;
    } cases[] = {{"a.nrrd", volume_file_type_t::nrrd, false},
                 {"b.nrrd", volume_file_type_t::nrrd, true},
                 {"c.mha", volume_file_type_t::metaimage, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write(path(c.name), header(c.type, c.gzip), d));
        volume_t v;
        wxString why;
        ASSERT_TRUE(read_volume_file(path(c.name), &v, &why)) << why;
        expect_values(v);
        EXPECT_EQ(v.spacing_mm, (std::array<double, 3>{0.5, 0.75, 2.0}));
        EXPECT_EQ(v.origin_mm, (std::array<double, 3>{-12.5, 30.25, 7.0}));
    }
}

// Catches NRRD space directions written per row instead of per axis, or without the spacing in them.
TEST_F(VolumeFilesOut, TurnedNrrdAxesReadBackWithTheirSpacing)
{
    volume_file_header_t hd = header(volume_file_type_t::nrrd, false);
    const double c = std::cos(0.3), s = std::sin(0.3);
    hd.axes = {c, s, 0, -s, c, 0, 0, 0, 1};
    ASSERT_TRUE(write(path("turned.nrrd"), hd, d));
    volume_t v;
    wxString why;
    ASSERT_TRUE(read_nrrd(path("turned.nrrd"), &v, &why)) << why;
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(v.axes[i], hd.axes[i], 1e-12) << i;
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(v.spacing_mm[i], hd.spacing_mm[i], 1e-12) << i;
    expect_values(v);
}

std::string contents(const wxString& file)
{
    std::ifstream in(file.ToStdString(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Catches a short volume committed as if whole, a slice past the end taken, and temporary files left behind.
TEST_F(VolumeFilesOut, AnUnfinishedVolumeLeavesTheOldFileAlone)
{
    const wxString target = path("kept.nii");
    std::ofstream(target.ToStdString()) << "the earlier volume";
    for (const volume_file_type_t type :
         {volume_file_type_t::nrrd, volume_file_type_t::metaimage, volume_file_type_t::nifti}) {
        EXPECT_FALSE(write(target, header(type, type == volume_file_type_t::nifti), d - 1));
        EXPECT_FALSE(write(target, header(type, false), d + 1));
    }
    EXPECT_EQ(contents(target), "the earlier volume");
    wxArrayString left;
    wxDir::GetAllFiles(dir, &left);
    EXPECT_EQ(left.size(), 1u);
}

// Catches a header that NIfTI cannot hold written anyway (its sizes are 16-bit), and axes
// that readers keeping a rotation would turn into something else.
TEST_F(VolumeFilesOut, HeadersTheFormatsCannotHoldAreRefused)
{
    volume_file_header_t wide = header(volume_file_type_t::nifti, false);
    wide.width = 40000;
    EXPECT_FALSE(volume_file_writer_t(path("wide.nii"), wide).ok());
    volume_file_header_t skew = header(volume_file_type_t::nrrd, false);
    skew.axes = {1, 0, 0, 0.5, 0.5, 0, 0, 0, 1};
    EXPECT_FALSE(volume_file_writer_t(path("skew.nrrd"), skew).ok());
    EXPECT_FALSE(wxFileName::FileExists(path("wide.nii")));
    EXPECT_FALSE(wxFileName::FileExists(path("skew.nrrd")));
}

}  // namespace

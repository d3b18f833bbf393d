// A folder of DICOM files made into a recording: series told apart, slices
// ordered through space whatever their file names, a link loop that does
// not trap the search, frames placed and windowed as the files say, and a
// failed import that leaves the recording held as it was.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"
#include "support/session_fixture.h"
#include "volumes/dicom_series.h"
#include "volumes/dicom_writer.h"

namespace {

class DicomSeriesTest : public SessionTest {
protected:
    wxString why_;

    // A 4 x 3 slice of series `uid` at height z (mm), its values from `base`.
    void write_slice(const wxString& name, const std::string& uid, double z, std::uint16_t base)
    {
        dicom_writer_t w;
        w.meta("1.2.840.10008.1.2.1");
        w.text(0x0020, 0x000E, "UI", uid);
        w.text(0x0020, 0x0032, "DS", "5\\-3\\" + std::to_string(z));
        w.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\0.6\\-0.8");
        w.us(0x0028, 0x0010, 3);
        w.us(0x0028, 0x0011, 4);
        w.text(0x0028, 0x0030, "DS", "0.5\\0.8");
        w.text(0x0028, 0x1050, "DS", "100");
        w.text(0x0028, 0x1051, "DS", "256");
        std::vector<std::uint16_t> px;
        for (std::uint16_t i = 0; i < 12; ++i)
            px.push_back(std::uint16_t(base + i));
        w.pixels(px);
        std::filesystem::create_directories(std::filesystem::path(path(name).ToStdString()).parent_path());
        std::ofstream(path(name).ToStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(w.bytes.data()), std::streamsize(w.bytes.size()));
    }
};

TEST_F(DicomSeriesTest, FolderToRecording)
{
    write_slice("data/z_first.dcm", "1.1", 20.0, 50);
    write_slice("data/a_last.dcm", "1.1", -10.0, 60);
    write_slice("data/deeper/m_middle.dcm", "1.1", 5.0, 70);
    write_slice("data/other.dcm", "2.2", 0.0, 80);
    std::ofstream(path("data/notes.txt").ToStdString()) << "not an image";
    std::filesystem::create_directory_symlink(path("data").ToStdString(), path("data/deeper/loop").ToStdString());

    const std::vector<wxString> files = find_data_files(path("data"));
    EXPECT_EQ(files.size(), 5u);  // the loop is not followed
    long skipped = 0;
    const std::vector<dicom_series_t> series = group_dicom_series(files, &skipped);
    EXPECT_EQ(skipped, 1);
    ASSERT_EQ(series.size(), 2u);
    const dicom_series_t& s = series[0].uid == "1.1" ? series[0] : series[1];
    ASSERT_EQ(s.slices.size(), 3u);
    // Ordered along the normal (0, 0.8, 0.6) x (1, 0, 0): the positions' z decide here.
    EXPECT_TRUE(s.slices[0].location < s.slices[1].location && s.slices[1].location < s.slices[2].location);
    EXPECT_TRUE(s.description(1).StartsWith("1: DICOM series of 3 frames, file '")) << s.description(1);

    ASSERT_TRUE(import_dicom_series(s, std::nullopt, &why_)) << why_;
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), 4);
    EXPECT_EQ(res->RES_BUF_HEIGHT->value(), 3);
    EXPECT_DOUBLE_EQ(res->RES_XSCALE->value(), 0.08);  // between columns
    EXPECT_DOUBLE_EQ(res->RES_YSCALE->value(), 0.05);  // between rows
    for (long f = 0; f < 3; ++f) {
        const auto pose = dicom_slice_pose(s.slices[std::size_t(f)].image, 0);
        const counted_array_ptr<float> p = bufp->positioncp(f);
        for (std::size_t k = 0; k < 6; ++k)
            EXPECT_NEAR(p[k], pose[k], 1e-4) << f << " " << k;
    }
    // Window 100 / 256 at slope 1: level = v - 100 + 127.
    const cip_t first = bufp->imagecp(0);
    const int base = 60;  // the lowest slice, written last
    EXPECT_EQ(first.pixels()[0], base - 100 + 127);
    EXPECT_EQ(first.pixels()[11], base + 11 - 100 + 127);

    // A slice gone before the import: refused, the recording held stays.
    std::filesystem::remove(s.slices[1].path.ToStdString());
    EXPECT_FALSE(import_dicom_series(s, std::nullopt, &why_));
    EXPECT_TRUE(why_.Contains("m_middle.dcm")) << why_;
    EXPECT_EQ(bufp->frames(), 3);
}

}  // namespace

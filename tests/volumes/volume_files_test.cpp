// MetaImage and NRRD volumes: signed and unsigned voxels, raw and
// compressed, either byte order, attached and detached data, NRRD's other
// spaces brought into DICOM's frame; a volume made into a recording; and
// headers that must be refused, each with its reason.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/dynabuf.h"
#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "resources/resource_table.h"
#include "support/deflate.h"
#include "support/session_fixture.h"
#include "volumes/dicom_window.h"
#include "volumes/dicom_loader.h"
#include "volumes/volume_files.h"

namespace {

constexpr long nx = 4, ny = 3, nz = 2;

std::vector<std::uint8_t> voxel_bytes(bool big)
{
    std::vector<std::uint8_t> b;
    for (long i = 0; i < nx * ny * nz; ++i) {
        const std::uint16_t v = std::uint16_t(std::int16_t(-1000 + 150 * i));
        b.push_back(big ? std::uint8_t(v >> 8) : std::uint8_t(v));
        b.push_back(big ? std::uint8_t(v) : std::uint8_t(v >> 8));
    }
    return b;
}

class VolumeFilesTest : public SessionTest {
protected:
    wxString write(const wxString& name, const std::string& header, const std::vector<std::uint8_t>& data = {})
    {
        std::ofstream out(path(name).ToStdString(), std::ios::binary);
        out << header;
        out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return path(name);
    }
    void expect_values(const volume_t& v)
    {
        ASSERT_EQ(v.voxels.size(), std::size_t(nx * ny * nz));
        for (std::size_t i = 0; i < v.voxels.size(); ++i)
            EXPECT_EQ(v.voxels[i] * v.slope + v.intercept, -1000.0 + 150.0 * double(i)) << i;
    }
    static std::string mha(const std::string& extra, const std::string& file = "LOCAL")
    {
        return "ObjectType = Image\nNDims = 3\nBinaryData = True\nDimSize = 4 3 2\nElementSpacing = 0.5 0.8 2.5\n"
               "Offset = -10 20 30\nElementType = MET_SHORT\n" +
               extra + "ElementDataFile = " + file + "\n";
    }
};

TEST_F(VolumeFilesTest, MetaImageInEveryForm)
{
    volume_t v;
    wxString why;
    ASSERT_TRUE(read_metaimage(write("a.mha", mha(""), voxel_bytes(false)), &v, &why)) << why;
    EXPECT_EQ(v.width, nx);
    EXPECT_EQ(v.height, ny);
    EXPECT_EQ(v.depth, nz);
    EXPECT_EQ(v.spacing_mm[1], 0.8);
    EXPECT_EQ(v.origin_mm[2], 30.0);
    expect_values(v);
    ASSERT_TRUE(
        read_metaimage(write("b.mha", mha("CompressedData = True\n"), deflated(voxel_bytes(false), false)), &v, &why))
        << why;
    expect_values(v);
    ASSERT_TRUE(read_metaimage(write("c.mha", mha("BinaryDataByteOrderMSB = True\n"), voxel_bytes(true)), &v, &why))
        << why;
    expect_values(v);
    write("d.raw", "", voxel_bytes(false));
    ASSERT_TRUE(read_metaimage(write("d.mhd", mha("", "d.raw")), &v, &why)) << why;
    expect_values(v);
}

TEST_F(VolumeFilesTest, NrrdInEveryFormAndSpace)
{
    const std::string head =
        "NRRD0004\ntype: short\ndimension: 3\nsizes: 4 3 2\n"
        "space directions: (0.5,0,0) (0,0.8,0) (0,0,2.5)\nspace origin: (-10,20,30)\n";
    volume_t v;
    wxString why;
    ASSERT_TRUE(read_nrrd(
        write("a.nrrd", head + "space: left-posterior-superior\nendian: little\nencoding: raw\n\n", voxel_bytes(false)),
        &v, &why))
        << why;
    expect_values(v);
    EXPECT_EQ(v.spacing_mm[2], 2.5);
    ASSERT_TRUE(read_nrrd(write("b.nrrd", head + "space: left-anterior-superior\nendian: big\nencoding: gzip\n\n",
                                deflated(voxel_bytes(true), true)),
                          &v, &why))
        << why;
    expect_values(v);
    // Anterior turned into posterior: the y axis and origin change sign.
    EXPECT_EQ(v.origin_mm[1], -20.0);
    EXPECT_EQ(v.axes[4], -1.0);
    write("c.raw", "", voxel_bytes(false));
    ASSERT_TRUE(read_nrrd(write("c.nhdr", head + "encoding: raw\ndata file: c.raw\n"), &v, &why)) << why;
    expect_values(v);
}

TEST_F(VolumeFilesTest, HeadersThatMustBeRefused)
{
    volume_t v;
    wxString why;
    const auto refused = [&](const wxString& file, bool nrrd, const char* reason) {
        EXPECT_FALSE(nrrd ? read_nrrd(file, &v, &why) : read_metaimage(file, &v, &why)) << file;
        EXPECT_TRUE(why.Contains(reason)) << why;
    };
    const auto data = voxel_bytes(false);
    refused(write("z.mha", "DimSize = 4 0 2\nElementType = MET_SHORT\nElementDataFile = LOCAL\n", data), false,
            "whole numbers from 1 on");
    refused(write("s.mha", mha("").replace(mha("").find("0.5 0.8"), 7, "-1 0.8"), data), false, "positive");
    refused(write("short.mha", mha(""), {data.begin(), data.begin() + 10}), false, "where 48 are needed");
    refused(write("up.mhd", mha("", "../secret.raw")), false, "plain file name");
    refused(write("list.mhd", mha("", "LIST")), false, "list of files");
    refused(write("turned.mha", mha("TransformMatrix = 0 1 0 1 0 0 0 0 1\n"), data), false, "TransformMatrix");
    refused(write("float.mha", "DimSize = 4 3 2\nElementType = MET_FLOAT\nElementDataFile = LOCAL\n", data), false,
            "MET_FLOAT");
    refused(write("bad.mha", mha("CompressedData = True\n"), data), false, "compressed data give");
    refused(write("x.nrrd", "NRRX0004\n"), true, "does not begin with NRRD000");
    refused(write("f.nrrd", "NRRD0004\ntype: float\ndimension: 3\nsizes: 4 3 2\nencoding: raw\n\n", data), true,
            "float");
    refused(write("e.nrrd", "NRRD0004\ntype: short\ndimension: 3\nsizes: 4 3 2\nencoding: bzip2\n\n", data), true,
            "bzip2");
    refused(write("d.nrrd",
                  "NRRD0004\ntype: short\ndimension: 3\nsizes: 4 3 2\nspace directions: (0,0,0) (0,1,0) (0,0,1)\n"
                  "encoding: raw\n\n",
                  data),
            true, "zero");
}

// An Analyze 7.5 header: 348 bytes, little endian.
std::string analyze_header(int datatype, int bitpix, float vox_offset, float pixdim_x = 0.5f)
{
    std::string h(348, '\0');
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            h[at + std::size_t(k)] = char(v >> (8 * k));
    };
    const auto put16 = [&](std::size_t at, int v) {
        h[at] = char(v);
        h[at + 1] = char(v >> 8);
    };
    const auto putf = [&](std::size_t at, float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        put32(at, u);
    };
    put32(0, 348);
    put32(32, 16384);
    h[38] = 'r';
    put16(40, 3);
    put16(42, nx);
    put16(44, ny);
    put16(46, nz);
    put16(70, datatype);
    put16(72, bitpix);
    putf(80, pixdim_x);
    putf(84, 0.8f);
    putf(88, 2.5f);
    putf(108, vox_offset);
    return h;
}

TEST_F(VolumeFilesTest, AnalyzeVolumes)
{
    volume_t v;
    wxString why;
    write("a.img", "", voxel_bytes(false));
    ASSERT_TRUE(read_analyze(write("a.hdr", analyze_header(4, 16, 0.0f)), &v, &why)) << why;
    expect_values(v);
    EXPECT_EQ(v.spacing_mm[0], 0.5);
    // Slices 6 bytes apart (a negative offset), and a leading offset.
    std::vector<std::uint8_t> gapped = voxel_bytes(false);
    gapped.insert(gapped.begin() + 24, 6, 0xEE);
    write("b.img", "", gapped);
    ASSERT_TRUE(read_analyze(write("b.hdr", analyze_header(4, 16, -6.0f)), &v, &why)) << why;
    expect_values(v);
    std::vector<std::uint8_t> led = voxel_bytes(false);
    led.insert(led.begin(), 10, 0xEE);
    write("c.img", "", led);
    ASSERT_TRUE(read_analyze(write("c.hdr", analyze_header(4, 16, 10.0f)), &v, &why)) << why;
    expect_values(v);
    // Refusals: a swapped or foreign header, a type with the wrong bit count,
    // data too short, spacing zero, an offset that is not a number.
    std::string swapped = analyze_header(4, 16, 0.0f);
    std::reverse(swapped.begin(), swapped.begin() + 4);
    EXPECT_FALSE(read_analyze(write("d.hdr", swapped), &v, &why));
    EXPECT_TRUE(why.Contains("not an Analyze 7.5 header")) << why;
    EXPECT_FALSE(read_analyze(write("a.hdr", analyze_header(4, 8, 0.0f)), &v, &why));
    EXPECT_TRUE(why.Contains("data type 4 with 8 bits")) << why;
    EXPECT_FALSE(read_analyze(write("a.hdr", analyze_header(4, 16, 30.0f)), &v, &why));
    EXPECT_TRUE(why.Contains("where 78 are needed")) << why;
    EXPECT_FALSE(read_analyze(write("a.hdr", analyze_header(4, 16, 0.0f, 0.0f)), &v, &why));
    EXPECT_TRUE(why.Contains("positive")) << why;
    EXPECT_FALSE(read_analyze(write("a.hdr", analyze_header(4, 16, NAN)), &v, &why));
    EXPECT_TRUE(why.Contains("offset is not a number")) << why;
}

TEST_F(VolumeFilesTest, AVolumeBecomesARecording)
{
    volume_t v;
    wxString why;
    ASSERT_TRUE(read_metaimage(write("a.mha", mha(""), voxel_bytes(false)), &v, &why)) << why;
    res->RES_DICOM_WIN_CENTRE->write(-900.0);
    res->RES_DICOM_WIN_WIDTH->write(256.0);
    ASSERT_TRUE(load_volume_file(path("a.mha")));
    ASSERT_EQ(bufp->frames(), nz);
    EXPECT_TRUE(res->RES_BUF_DICOM->value());
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "a.ks");
    EXPECT_DOUBLE_EQ(res->RES_XSCALE->value(), 0.05);
    EXPECT_DOUBLE_EQ(res->RES_YSCALE->value(), 0.08);
    // -1000 HU lies 100 below the window's centre of -900 (grey 127); 256 wide: one grey a unit.
    EXPECT_EQ(bufp->imagecp(0).pixels()[0], 127 - 100);
    // Kept as read, signed values shifted by 32768.
    EXPECT_EQ(bufp->imagecp(0).samples()[0], v.voxels[0]);
    // A volume file is not read again from a recording: only 8-bit frames can be saved.
    EXPECT_FALSE(recording_io->try_write_kestrane_file(path("a.ks")));
    EXPECT_TRUE(recording_io->save_as(path("b.ks"), true, true));
    // Slice 1 lies one spacing (2.5 mm) above slice 0, both at the origin's corner.
    matrix16d a, b;
    a.forward(bufp->positioncp(0).get());
    b.forward(bufp->positioncp(1).get());
    EXPECT_LT(length(column(a, 3) - vertex3d{-1.0, 2.0, 3.0}), 1e-5);
    EXPECT_LT(length(column(b, 3) - vertex3d{-1.0, 2.0, 3.25}), 1e-5);
}

}  // namespace

// QCT volumes and ordinary image files made into recordings: slices placed
// by their records or stacked, values kept (signed TIFF shifted like DICOM),
// sequences offered beside DICOM series; damaged QCT files refused with the
// reason at every cut and for each unusable field.
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <tiffio.h>
#include <wx/image.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "resources/resource_table.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"
#include "volumes/dicom_loader.h"
#include "volumes/qct_file.h"
#include "volumes/slice_recording.h"

namespace {

struct qct_slice_t {
    std::int32_t width, height, first;
    float dx, dy, z;
    std::uint16_t base;
};

// A QCT file: the header, n offsets, the dates, then each record and its pixels.
std::vector<std::uint8_t> qct_file(const std::vector<qct_slice_t>& slices)
{
    std::vector<std::uint8_t> b(40 + 4 * slices.size() + 304, 0);
    auto put32 = [&b](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    auto putf = [&](std::size_t at, float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        put32(at, u);
    };
    put32(32, 1);
    put32(36, std::uint32_t(slices.size()));
    const std::size_t dates = 40 + 4 * slices.size();
    put32(dates + 140, 1970 * 512 + 3 * 32 + 9);   // born 09/03/1970
    put32(dates + 300, 2024 * 512 + 11 * 32 + 2);  // scanned 02/11/2024
    for (std::size_t k = 0; k < slices.size(); ++k) {
        const qct_slice_t& s = slices[k];
        const std::size_t at = b.size();
        put32(40 + 4 * k, std::uint32_t(at));
        b.resize(at + 128 + 2 * std::size_t(std::max(0, s.width * s.height)), 0);
        put32(at, 1);
        put32(at + 8, std::uint32_t(s.width));
        put32(at + 12, std::uint32_t(s.height));
        put32(at + 16, std::uint32_t(s.first));
        putf(at + 24, s.dx);
        putf(at + 28, s.dy);
        putf(at + 36, 2.5f);
        putf(at + 40, s.z);
        for (std::int32_t i = 0; i < s.width * s.height; ++i) {
            b[at + 128 + 2 * std::size_t(i)] = std::uint8_t(s.base + i);
            b[at + 129 + 2 * std::size_t(i)] = std::uint8_t((s.base + i) >> 8);
        }
    }
    return b;
}

class QctAndImagesTest : public SessionTest {
protected:
    wxString write(const wxString& name, const std::vector<std::uint8_t>& bytes)
    {
        std::ofstream(path(name).ToStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path(name);
    }
    const std::vector<qct_slice_t> good_ = {{4, 3, 0, 0.5f, 0.8f, -20.0f, 0},  // a scout before slice 0
                                            {4, 3, 1, 0.5f, 0.8f, -5.0f, 1000},
                                            {4, 3, 0, 0.5f, 0.8f, 0.0f, 1100},
                                            {6, 3, 0, 0.5f, 0.8f, 2.5f, 1150},  // another size
                                            {4, 3, 0, 0.5f, 0.8f, 7.5f, 1200}};
};

TEST_F(QctAndImagesTest, QctSlicesArePlacedByTheirRecords)
{
    const wxString file = write("scan.qct", qct_file(good_));
    ASSERT_TRUE(looks_like_qct(file));
    log_capture log;
    ASSERT_TRUE(try_read_other_file(file));
    EXPECT_TRUE(log.contains("Scanned on 02/11/2024, DOB 09/03/1970"));
    EXPECT_TRUE(log.contains("Ignored a further 1 frames"));
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_DOUBLE_EQ(res->RES_DICOM_HUB->value(), -1000.0);
    EXPECT_NEAR(res->RES_XSCALE->value(), 0.05, 1e-8);  // single-precision millimetres in the file
    EXPECT_NEAR(res->RES_YSCALE->value(), 0.08, 1e-8);
    const float z[] = {-0.5f, 0.0f, 0.75f};
    const std::uint16_t base[] = {1000, 1100, 1200};
    for (long f = 0; f < 3; ++f) {
        matrix16d m;
        m.forward(bufp->positioncp(f).get());
        EXPECT_LT(length(column(m, 3) - vertex3d{0, 0, z[f]}), 1e-6) << f;
        EXPECT_EQ(bufp->imagecp(f).samples()[5], base[f] + 5);
    }
}

TEST_F(QctAndImagesTest, DamagedQctFilesAreRefusedWithTheReason)
{
    slice_stack_t stack;
    long ignored = 0;
    wxString scan, why;
    // Every cut of a good file: refused or read, never past the end.
    const std::vector<std::uint8_t> whole = qct_file(good_);
    for (std::size_t cut = 0; cut < whole.size(); cut += 5) {
        write("cut.qct", {whole.begin(), whole.begin() + long(cut)});
        EXPECT_FALSE(read_qct(path("cut.qct"), &stack, &ignored, &scan, &why)) << cut;
    }
    auto refused = [&](std::vector<qct_slice_t> slices, const char* reason) {
        write("bad.qct", qct_file(slices));
        EXPECT_FALSE(read_qct(path("bad.qct"), &stack, &ignored, &scan, &why)) << reason;
        EXPECT_TRUE(why.Contains(reason)) << why;
    };
    refused({{4, 3, 0, 0.5f, 0.8f, 0.0f, 0}}, "no record is marked");
    refused({{4, 0, 1, 0.5f, 0.8f, 0.0f, 0}}, "unusable record");  // no pixels: not a slice
    refused({{4, 3, 1, 0.0f, 0.8f, 0.0f, 0}}, "unusable record");  // pixels of no size
    refused({{4, 3, 1, 0.5f, 0.8f, std::nanf(""), 0}}, "unusable record");
    std::vector<std::uint8_t> b = qct_file({{4, 3, 1, 0.5f, 0.8f, 0.0f, 0}});
    b[36] = 0;  // no records
    write("bad.qct", b);
    EXPECT_FALSE(read_qct(path("bad.qct"), &stack, &ignored, &scan, &why));
    b = qct_file({{4, 3, 1, 0.5f, 0.8f, 0.0f, 0}});
    b[40 + 3] = 0x7F;  // the record's offset far past the end
    write("bad.qct", b);
    EXPECT_FALSE(read_qct(path("bad.qct"), &stack, &ignored, &scan, &why));
    EXPECT_TRUE(why.Contains("outside the file")) << why;
    b = qct_file({{4, 3, 1, 0.5f, 0.8f, 0.0f, 0}});
    b[b.size() - 128 - 24 + 8] = 200;  // a width whose pixels run past the end
    write("bad.qct", b);
    EXPECT_FALSE(read_qct(path("bad.qct"), &stack, &ignored, &scan, &why));
    EXPECT_TRUE(why.Contains("past the end")) << why;
}

// A folder of PNG, BMP and TIFF images: sequences by size; a two-page
// signed 16-bit TIFF keeps its values like signed DICOM.
TEST_F(QctAndImagesTest, ImageFilesBecomeSequences)
{
    wxFileName::Mkdir(path("pictures"));
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxInitAllImageHandlers();
    for (int k = 0; k < 3; ++k) {
        wxImage image(5, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                image.SetRGB(x, y, 10 * k + x, 10 * k + x, 10 * k + x);
        ASSERT_TRUE(image.SaveFile(path(wxString::Format("pictures/p%d.png", k)), wxBITMAP_TYPE_PNG));
    }
    wxImage odd(7, 2);
    odd.SetRGB(0, 0, 30, 60, 90);
    ASSERT_TRUE(odd.SaveFile(path("pictures/q.bmp"), wxBITMAP_TYPE_BMP));
    {
        TIFF* t = TIFFOpen(path("pictures/stack.tif").ToStdString().c_str(), "w");
        ASSERT_NE(t, nullptr);
        for (int page = 0; page < 2; ++page) {
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3u);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2u);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 16);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_INT);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            for (std::uint32_t y = 0; y < 2; ++y) {
                std::int16_t row[3] = {std::int16_t(-1000 + page), std::int16_t(y), std::int16_t(3000)};
                TIFFWriteScanline(t, row, y, 0);
            }
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
    }
    class choosing_t : public headless_interaction_t {
    public:
        int pick = 0;
        std::vector<wxString> offered;
        std::optional<int> ask_choice(const wxString&, const wxString&, const std::vector<wxString>& c) override
        {
            offered = c;
            return pick;
        }
    } ui;
    interaction_t* previous = set_interaction(&ui);
    ASSERT_TRUE(load_dicom_files(path("pictures")));
    ASSERT_EQ(ui.offered.size(), 3u);
    EXPECT_EQ(ui.offered[0], "1: Sequence of 3 images, file 'p0.png', size 5 x 4.");
    EXPECT_EQ(ui.offered[1], "2: image 'q.bmp', size 7 x 2.");
    EXPECT_EQ(ui.offered[2], "3: Sequence of 2 images, file 'stack.tif', size 3 x 2.");
    ASSERT_EQ(bufp->frames(), 3);
    EXPECT_EQ(bufp->imagecp(2).samples()[4], 24);
    matrix16d m;
    m.forward(bufp->positioncp(2).get());
    EXPECT_LT(length(column(m, 3) - vertex3d{0, 0, 0.2}), 1e-6);  // 1 mm apart

    ui.pick = 2;
    ASSERT_TRUE(load_dicom_files(path("pictures")));
    ASSERT_EQ(bufp->frames(), 2);
    EXPECT_EQ(bufp->imagecp(1).samples()[0], std::uint16_t(-999 + 32768));
    EXPECT_EQ(bufp->imagecp(1).samples()[5], std::uint16_t(3000 + 32768));
    EXPECT_DOUBLE_EQ(res->RES_DICOM_HUB->value(), -32768.0);
    // Not DICOM files that can be read again: only 8-bit frames can be saved.
    EXPECT_FALSE(recording_io->try_write_kestrane_file(res->RES_ASCII_FILENAME->value().GetFullPath()));
    set_interaction(previous);
}

}  // namespace

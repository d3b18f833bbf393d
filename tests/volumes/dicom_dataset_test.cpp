// Reading DICOM slices written in every plain encoding: the same attributes,
// Hounsfield values and pose from each; what an icon sequence or a long-VR
// element must not disturb; the slice geometry; and refusals, never crashes,
// for damaged files of every length.
#include <cmath>
#include <numbers>
#include <random>

#include <gtest/gtest.h>
#include <zlib.h>

#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "volumes/dicom_dataset.h"
#include "volumes/dicom_image.h"
#include "volumes/dicom_writer.h"

namespace {

constexpr long rows = 5, columns = 6;

// Signed 12-bit CT values in a 16-bit word, the padding among them.
std::vector<std::int16_t> stored_values()
{
    std::vector<std::int16_t> v;
    for (long i = 0; i < rows * columns; ++i)
        v.push_back(std::int16_t(-1024 + 97 * i));
    v[7] = -2000;  // padding
    return v;
}

// An oblique slice with unequal spacing; an icon sequence with its own small
// image before the real pixel data; a UR element; a second series number.
void write_slice(dicom_writer_t& w)
{
    w.text(0x0008, 0x0060, "CS", "CT");
    w.element(0x0008, 0x0120, "UR", std::vector<std::uint8_t>{'h', 't', 't', 'p', ':', '/', '/', 'x'});
    w.text(0x0018, 0x0050, "DS", "2.5");
    w.text(0x0020, 0x000E, "UI", "1.2.3.4");
    w.text(0x0020, 0x0032, "DS", "-10.5\\20.25\\33");
    const double c = std::cos(0.3), s = std::sin(0.3);
    w.text(0x0020, 0x0037, "DS", std::to_string(c) + "\\" + std::to_string(s) + "\\0\\0\\0\\-1");
    w.us(0x0028, 0x0002, 1);
    w.text(0x0028, 0x0004, "CS", "MONOCHROME2");
    w.us(0x0028, 0x0010, rows);
    w.us(0x0028, 0x0011, columns);
    w.text(0x0028, 0x0030, "DS", "0.7\\0.9");
    w.us(0x0028, 0x0100, 16);
    w.us(0x0028, 0x0101, 12);
    w.us(0x0028, 0x0102, 11);
    w.us(0x0028, 0x0103, 1);
    w.ss(0x0028, 0x0120, -2000);
    w.text(0x0028, 0x1050, "DS", "40");
    w.text(0x0028, 0x1051, "DS", "400");
    w.text(0x0028, 0x1052, "DS", "-1024");
    w.text(0x0028, 0x1053, "DS", "1");
    w.begin_sequence(0x0088, 0x0200);
    w.begin_item();
    w.us(0x0028, 0x0010, 2);
    w.us(0x0028, 0x0011, 2);
    w.pixels({1, 2, 3, 4});
    w.end_item();
    w.end_sequence();
    std::vector<std::uint16_t> px;
    for (std::int16_t v : stored_values())
        px.push_back(std::uint16_t(v) & 0x0FFF);  // 12 bits stored
    w.pixels(px);
}

struct read_t {
    dicom_dataset_t ds;
    dicom_image_t image;
    std::vector<std::uint16_t> pixels;
};

read_t read_back(const std::vector<std::uint8_t>& bytes)
{
    read_t r;
    wxString why;
    EXPECT_TRUE(parse_dicom(bytes, &r.ds, &why)) << why;
    EXPECT_TRUE(read_dicom_image(r.ds, &r.image, &why)) << why;
    EXPECT_TRUE(decode_native_frame(r.ds, r.image, 0, &r.pixels, &why)) << why;
    return r;
}

std::vector<std::uint8_t> deflated(const dicom_writer_t& plain, std::size_t meta_end)
{
    std::vector<std::uint8_t> out(plain.bytes.begin(), plain.bytes.begin() + long(meta_end));
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<std::uint8_t> buffer(plain.bytes.size() * 2 + 64);
    z.next_in = const_cast<Bytef*>(plain.bytes.data() + meta_end);
    z.avail_in = uInt(plain.bytes.size() - meta_end);
    z.next_out = buffer.data();
    z.avail_out = uInt(buffer.size());
    deflate(&z, Z_FINISH);
    out.insert(out.end(), buffer.begin(), buffer.begin() + long(z.total_out));
    deflateEnd(&z);
    return out;
}

TEST(DicomRead, EveryPlainEncodingGivesTheSameSlice)
{
    std::vector<std::vector<std::uint8_t>> files;
    for (const auto& [ts, big, explicit_vr] :
         std::vector<std::tuple<std::string, bool, bool>>{{"1.2.840.10008.1.2.1", false, true},
                                                          {"1.2.840.10008.1.2", false, false},
                                                          {"1.2.840.10008.1.2.2", true, true}}) {
        dicom_writer_t w;
        w.big = big;
        w.explicit_vr = explicit_vr;
        w.meta(ts);
        write_slice(w);
        files.push_back(w.bytes);
    }
    {  // no preamble or meta group: the encoding guessed element by element
        dicom_writer_t w;
        write_slice(w);
        files.push_back(w.bytes);
    }
    {  // deflated explicit little endian
        dicom_writer_t w;
        w.meta("1.2.840.10008.1.2.1.99");
        const std::size_t meta_end = w.bytes.size();
        write_slice(w);
        files.push_back(deflated(w, meta_end));
    }
    const std::vector<std::int16_t> stored = stored_values();
    for (std::size_t f = 0; f < files.size(); ++f) {
        const read_t r = read_back(files[f]);
        const dicom_image_t& im = r.image;
        // The icon's 2 x 2 image does not replace the slice's.
        EXPECT_EQ(im.rows, rows) << f;
        EXPECT_EQ(im.columns, columns) << f;
        EXPECT_TRUE(im.signed_pixels) << f;
        EXPECT_EQ(im.modality, "CT");
        EXPECT_EQ(im.series_uid, "1.2.3.4");
        // Pixel Spacing's first value is the spacing between rows.
        EXPECT_EQ(im.row_spacing_mm, 0.7);
        EXPECT_EQ(im.column_spacing_mm, 0.9);
        ASSERT_EQ(r.pixels.size(), std::size_t(rows * columns)) << f;
        for (std::size_t i = 0; i < r.pixels.size(); ++i)
            EXPECT_EQ(r.pixels[i] * im.slope + im.intercept, stored[i] * 1.0 - 1024.0) << f << " " << i;
        ASSERT_TRUE(im.padding) << f;
        EXPECT_EQ(*im.padding, r.pixels[7]) << f;
        EXPECT_EQ(im.window_width.value_or(0), 400.0);
    }
}

// Pixel (c, r) of the slice lies at position + c column spacing along the
// row direction + r row spacing along the column direction.
TEST(DicomRead, SlicePosesPlacePixelsWhereTheFileSays)
{
    dicom_writer_t w;
    w.meta("1.2.840.10008.1.2.1");
    write_slice(w);
    const read_t r = read_back(w.bytes);
    matrix16d m;
    const auto pose = dicom_slice_pose(r.image, 0);
    m.forward(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    const double c = std::cos(0.3), s = std::sin(0.3);
    for (double col : {0.0, 5.0})
        for (double row : {0.0, 4.0}) {
            const vertex3d got = m * vertex3d{col * 0.09, row * 0.07, 0.0};
            const vertex3d want{(-10.5 + col * 0.9 * c) / 10, (20.25 + col * 0.9 * s) / 10, (33 - row * 0.7) / 10};
            EXPECT_LT(length(got - want), 1e-6) << col << " " << row;
        }
    // Without orientation: unturned at (x, y, -z) / 10; later frames a spacing further.
    dicom_image_t bare = r.image;
    bare.orientation.reset();
    bare.spacing_between_mm = 3.0;
    const auto p = dicom_slice_pose(bare, 2);
    EXPECT_NEAR(p[0], -1.05, 1e-12);
    EXPECT_NEAR(p[1], 2.025, 1e-12);
    EXPECT_NEAR(p[2], -(33 + 6) / 10.0, 1e-12);
    EXPECT_NEAR(p[3] * p[3] + p[4] * p[4] + p[5] * p[5], 0.0, 1e-18);
}

TEST(DicomRead, DamagedFilesAreRefusedWithAReason)
{
    dicom_writer_t w;
    w.meta("1.2.840.10008.1.2.1");
    write_slice(w);
    // Every shorter file: refused, or read to a smaller data set; never a crash.
    for (std::size_t n = 0; n < w.bytes.size(); ++n) {
        const std::vector<std::uint8_t> cut(w.bytes.begin(), w.bytes.begin() + long(n));
        dicom_dataset_t ds;
        wxString why;
        if (!parse_dicom(cut, &ds, &why)) {
            EXPECT_FALSE(why.empty()) << n;
            continue;
        }
        dicom_image_t im;
        std::vector<std::uint16_t> px;
        if (read_dicom_image(ds, &im, &why) && !decode_native_frame(ds, im, 0, &px, &why)) {
            EXPECT_FALSE(why.empty());
        }
    }
    // A length beyond the end.
    dicom_writer_t bad;
    bad.meta("1.2.840.10008.1.2.1");
    bad.text(0x0008, 0x0060, "CS", "CT");
    bad.bytes[bad.bytes.size() - 4] = 0x7F;  // the CS length
    dicom_dataset_t ds;
    wxString why;
    EXPECT_FALSE(parse_dicom(bad.bytes, &ds, &why));
    EXPECT_TRUE(why.Contains("(0008,0060) is longer than the data left")) << why;
    // Sequences nested beyond reason.
    dicom_writer_t deep;
    deep.meta("1.2.840.10008.1.2.1");
    for (int i = 0; i < 40; ++i) {
        deep.begin_sequence(0x0040, 0x0260);
        deep.begin_item();
    }
    EXPECT_FALSE(parse_dicom(deep.bytes, &ds, &why));
    // Pixel data shorter than the image, or than the frames counted: refused on reading.
    dicom_writer_t shortp;
    shortp.meta("1.2.840.10008.1.2.1");
    shortp.us(0x0028, 0x0010, 2);
    shortp.us(0x0028, 0x0011, 2);
    shortp.text(0x0028, 0x0008, "IS", "2");
    shortp.pixels({1, 2, 3, 4, 5, 6, 7});
    ASSERT_TRUE(parse_dicom(shortp.bytes, &ds, &why)) << why;
    dicom_image_t im;
    EXPECT_FALSE(read_dicom_image(ds, &im, &why));
    EXPECT_TRUE(why.Contains("fewer than the 2 frames")) << why;
    shortp.bytes.resize(shortp.bytes.size() - 12 - 14);  // the pixel element again, whole
    shortp.pixels({1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_TRUE(parse_dicom(shortp.bytes, &ds, &why)) << why;
    ASSERT_TRUE(read_dicom_image(ds, &im, &why)) << why;
    std::vector<std::uint16_t> px;
    EXPECT_TRUE(decode_native_frame(ds, im, 1, &px, &why));
    EXPECT_FALSE(decode_native_frame(ds, im, 2, &px, &why));
    EXPECT_FALSE(decode_native_frame(ds, im, -1, &px, &why));
    // Depths and colours that cannot be read.
    dicom_writer_t deep_bits;
    deep_bits.meta("1.2.840.10008.1.2.1");
    deep_bits.us(0x0028, 0x0010, 2);
    deep_bits.us(0x0028, 0x0011, 2);
    deep_bits.us(0x0028, 0x0100, 32);
    ASSERT_TRUE(parse_dicom(deep_bits.bytes, &ds, &why));
    EXPECT_FALSE(read_dicom_image(ds, &im, &why));
    EXPECT_TRUE(why.Contains("32 bits")) << why;
    // Random bytes: refused or read, never out of bounds.
    std::mt19937 rng(3);
    for (int k = 0; k < 200; ++k) {
        std::vector<std::uint8_t> noise(std::size_t(rng() % 600));
        for (auto& b : noise)
            b = std::uint8_t(rng());
        parse_dicom(noise, &ds, &why);
    }
}

// Multi-frame files: an enhanced file's geometry, rescale and window come
// from its functional groups, each frame at its own (unevenly spaced)
// position; a plain multi-frame file steps by Spacing Between Slices, and by
// the slice thickness only with a warning.
TEST(DicomRead, MultiFrameFilesPlaceEachFrame)
{
    const double z[] = {0.0, 2.5, 7.0};
    dicom_writer_t d;
    d.meta("1.2.840.10008.1.2.1");
    d.us(0x0028, 0x0010, 2);
    d.us(0x0028, 0x0011, 3);
    d.text(0x0028, 0x0008, "IS", "3");
    d.us(0x0028, 0x0103, 1);
    d.begin_sequence(0x5200, 0x9229);  // shared
    d.begin_item();
    d.begin_sequence(0x0028, 0x9110);
    d.begin_item();
    d.text(0x0028, 0x0030, "DS", "0.4\\0.6");
    d.text(0x0018, 0x0050, "DS", "5");
    d.end_item();
    d.end_sequence();
    d.begin_sequence(0x0020, 0x9116);
    d.begin_item();
    d.text(0x0020, 0x0037, "DS", "0\\1\\0\\0\\0\\-1");
    d.end_item();
    d.end_sequence();
    d.begin_sequence(0x0028, 0x9145);
    d.begin_item();
    d.text(0x0028, 0x1052, "DS", "-1024");
    d.text(0x0028, 0x1053, "DS", "2");
    d.end_item();
    d.end_sequence();
    d.end_item();
    d.end_sequence();
    d.begin_sequence(0x5200, 0x9230);  // per frame
    for (double at : z) {
        d.begin_item();
        d.begin_sequence(0x0020, 0x9113);
        d.begin_item();
        d.text(0x0020, 0x0032, "DS", "10\\20\\" + std::to_string(at));
        d.end_item();
        d.end_sequence();
        d.end_item();
    }
    d.end_sequence();
    d.pixels(std::vector<std::uint16_t>(18, 7));
    dicom_dataset_t ds;
    dicom_image_t im;
    wxString why;
    ASSERT_TRUE(parse_dicom(d.bytes, &ds, &why)) << why;
    ASSERT_TRUE(read_dicom_image(ds, &im, &why)) << why;
    EXPECT_DOUBLE_EQ(im.row_spacing_mm, 0.4);
    EXPECT_DOUBLE_EQ(im.column_spacing_mm, 0.6);
    EXPECT_DOUBLE_EQ(im.slope, 2.0);
    EXPECT_DOUBLE_EQ(im.intercept, -1024.0 - 32768.0 * 2.0);
    EXPECT_TRUE(im.warnings.empty());
    for (long f = 0; f < 3; ++f) {
        matrix16d m;
        const auto p = dicom_slice_pose(im, f);
        m.forward(p[0], p[1], p[2], p[3], p[4], p[5]);
        EXPECT_LT(length(column(m, 3) - vertex3d{1.0, 2.0, z[f] / 10.0}), 1e-9) << f;
        EXPECT_LT(length(column(m, 0) - vertex3d{0, 1, 0}), 1e-9) << f;
    }

    // The same frames without per-frame positions: 3 mm apart, or the 5 mm thickness, warned.
    dicom_writer_t plain;
    plain.meta("1.2.840.10008.1.2.1");
    plain.us(0x0028, 0x0010, 2);
    plain.us(0x0028, 0x0011, 3);
    plain.text(0x0028, 0x0008, "IS", "3");
    plain.text(0x0018, 0x0050, "DS", "5");
    plain.text(0x0028, 0x0030, "DS", "1\\1");
    plain.text(0x0020, 0x0032, "DS", "0\\0\\0");
    plain.text(0x0020, 0x0037, "DS", "1\\0\\0\\0\\1\\0");
    auto spaced = plain;
    spaced.text(0x0018, 0x0088, "DS", "3");
    for (auto* file : {&plain, &spaced}) {
        file->pixels(std::vector<std::uint16_t>(18, 7));
        ASSERT_TRUE(parse_dicom(file->bytes, &ds, &why)) << why;
        ASSERT_TRUE(read_dicom_image(ds, &im, &why)) << why;
        const bool warned = !im.warnings.empty();
        EXPECT_EQ(warned, file == &plain);
        const auto p = dicom_slice_pose(im, 2);
        EXPECT_NEAR(p[2], file == &plain ? 1.0 : 0.6, 1e-9);
    }
}

}  // namespace

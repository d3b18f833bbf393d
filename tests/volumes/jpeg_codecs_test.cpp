// Lossy JPEG (libjpeg-turbo) and JPEG 2000 (OpenJPEG) pixel data in DICOM
// files: the streams are made here with the same libraries' encoders, so the
// tests check our handling around them (signs, depth, sizes, colour, damage).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <openjpeg.h>

#include "dicom_writer.h"
#include "volumes/dicom_image.h"
#include "volumes/jpeg2000.h"
#include "volumes/jpeg_baseline.h"

namespace {

std::vector<std::uint8_t> encode_jpeg(const std::vector<std::uint8_t>& samples, int w, int h, int components,
                                      int quality)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(w);
    info.image_height = JDIMENSION(h);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + std::size_t(info.next_scanline) * w * components);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

struct sink_t {
    std::vector<std::uint8_t> bytes;
};

OPJ_SIZE_T write_sink(void* buffer, OPJ_SIZE_T n, void* user)
{
    auto* s = static_cast<sink_t*>(user);
    const auto* b = static_cast<const std::uint8_t*>(buffer);
    s->bytes.insert(s->bytes.end(), b, b + n);
    return n;
}
OPJ_OFF_T skip_sink(OPJ_OFF_T n, void* user)
{
    static_cast<sink_t*>(user)->bytes.resize(static_cast<sink_t*>(user)->bytes.size() + std::size_t(n));
    return n;
}
OPJ_BOOL seek_sink(OPJ_OFF_T, void*)
{
    return OPJ_FALSE;
}

// A J2K codestream of one component; `rate` 0 is lossless (reversible 5/3).
std::vector<std::uint8_t> encode_j2k(const std::vector<std::int32_t>& samples, int w, int h, int precision,
                                     bool is_signed, float rate)
{
    opj_cparameters_t p;
    opj_set_default_encoder_parameters(&p);
    p.tcp_numlayers = 1;
    p.tcp_rates[0] = rate;
    p.cp_disto_alloc = 1;
    p.irreversible = rate > 0 ? 1 : 0;
    p.numresolution = 3;
    opj_image_cmptparm_t c{};
    c.dx = c.dy = 1;
    c.w = OPJ_UINT32(w);
    c.h = OPJ_UINT32(h);
    c.prec = OPJ_UINT32(precision);
    c.sgnd = is_signed;
    opj_image_t* image = opj_image_create(1, &c, OPJ_CLRSPC_GRAY);
    image->x1 = OPJ_UINT32(w);
    image->y1 = OPJ_UINT32(h);
    std::copy(samples.begin(), samples.end(), image->comps[0].data);
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_J2K);
    sink_t sink;
    opj_stream_t* stream = opj_stream_create(1 << 16, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, write_sink);
    opj_stream_set_skip_function(stream, skip_sink);
    opj_stream_set_seek_function(stream, seek_sink);
    const bool ok = opj_setup_encoder(codec, &p, image) && opj_start_compress(codec, image, stream) &&
                    opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    EXPECT_TRUE(ok);
    return sink.bytes;
}

// A file of one encapsulated frame, split in two fragments to check joining.
dicom_writer_t compressed_file(const std::string& syntax, long w, long h, int bits_stored, bool is_signed, int samples,
                               const std::vector<std::uint8_t>& stream)
{
    dicom_writer_t d;
    d.meta(syntax);
    d.us(0x0028, 0x0002, std::uint16_t(samples));
    d.text(0x0028, 0x0004, "CS", samples == 3 ? "RGB" : "MONOCHROME2");
    d.us(0x0028, 0x0010, std::uint16_t(h));
    d.us(0x0028, 0x0011, std::uint16_t(w));
    d.us(0x0028, 0x0100, bits_stored > 8 ? 16 : 8);
    d.us(0x0028, 0x0101, std::uint16_t(bits_stored));
    d.us(0x0028, 0x0102, std::uint16_t(bits_stored - 1));
    d.us(0x0028, 0x0103, is_signed ? 1 : 0);
    const std::size_t half = stream.size() / 2;
    d.fragments({{stream.begin(), stream.begin() + long(half)}, {stream.begin() + long(half), stream.end()}});
    return d;
}

bool decode_file(const dicom_writer_t& d, std::vector<std::uint16_t>* px, wxString* why)
{
    dicom_dataset_t ds;
    dicom_image_t im;
    return parse_dicom(d.bytes, &ds, why) && read_dicom_image(ds, &im, why) && decode_frame(ds, im, 0, px, why);
}

int max_difference(const std::vector<std::uint16_t>& a, const std::vector<std::uint16_t>& b)
{
    int worst = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// A smooth signed 12-bit slice, like CT, with the extremes in one corner.
std::vector<std::int32_t> ct_like(int w, int h)
{
    std::vector<std::int32_t> v(std::size_t(w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            v[std::size_t(y * w + x)] = -1024 + 40 * x + 25 * y;
    v[0] = -2048;
    v[1] = 2047;
    return v;
}

TEST(Jpeg2000, LosslessSignedSliceGivesExactKeptValuesAndLossyStaysClose)
{
    const int w = 48, h = 40;
    const std::vector<std::int32_t> values = ct_like(w, h);
    std::vector<std::uint16_t> expected;
    for (std::int32_t v : values)
        expected.push_back(std::uint16_t(v + 32768));

    std::vector<std::uint16_t> px;
    wxString why;
    const auto lossless = encode_j2k(values, w, h, 12, true, 0);
    ASSERT_TRUE(decode_file(compressed_file("1.2.840.10008.1.2.4.90", w, h, 12, true, 1, lossless), &px, &why)) << why;
    EXPECT_EQ(px, expected);

    const auto lossy = encode_j2k(values, w, h, 12, true, 8.0f);
    ASSERT_LT(lossy.size(), lossless.size());
    ASSERT_TRUE(decode_file(compressed_file("1.2.840.10008.1.2.4.91", w, h, 12, true, 1, lossy), &px, &why)) << why;
    EXPECT_LT(max_difference(px, expected), 200);  // 5% of the range: sign and offset are right

    // Unsigned 16-bit data use every bit.
    std::vector<std::int32_t> wide(std::size_t(w * h));
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = std::int32_t((i * 1361) % 65536);
    ASSERT_TRUE(decode_file(
        compressed_file("1.2.840.10008.1.2.4.90", w, h, 16, false, 1, encode_j2k(wide, w, h, 16, false, 0)), &px, &why))
        << why;
    EXPECT_EQ(px, std::vector<std::uint16_t>(wide.begin(), wide.end()));
}

TEST(Jpeg2000, DamagedOrMismatchedStreamsAreRefused)
{
    const int w = 20, h = 10;
    const auto stream = encode_j2k(std::vector<std::int32_t>(std::size_t(w * h), 100), w, h, 12, false, 0);
    std::vector<std::uint16_t> px;
    wxString why;
    // Another size than the file says.
    EXPECT_FALSE(decode_file(compressed_file("1.2.840.10008.1.2.4.90", w + 1, h, 12, false, 1, stream), &px, &why));
    EXPECT_TRUE(why.Contains("not the one the file describes")) << why;
    // Deeper than the bits allocated.
    EXPECT_FALSE(decode_file(compressed_file("1.2.840.10008.1.2.4.90", w, h, 8, false, 1, stream), &px, &why));
    // Every cut of the stream fails cleanly or decodes the right size.
    jpeg2000_image_t out;
    for (std::size_t cut = 0; cut < stream.size(); cut += 7) {
        const std::span<const std::uint8_t> part(stream.data(), cut);
        if (decode_jpeg2000(part, 1 << 20, &out, &why)) {
            EXPECT_EQ(out.samples.size(), std::size_t(w * h));
        }
    }
    // A header promising more samples than allowed is refused before decoding.
    EXPECT_FALSE(decode_jpeg2000(stream, std::uint64_t(w * h - 1), &out, &why));
    EXPECT_TRUE(why.Contains("not the size expected")) << why;
    std::vector<std::uint8_t> garbage(300, 0x4F);
    EXPECT_FALSE(decode_jpeg2000(garbage, 1 << 20, &out, &why));
}

TEST(JpegBaseline, GreyAndColourDecodeCloseToTheOriginal)
{
    const int w = 33, h = 17;  // not whole blocks
    std::vector<std::uint8_t> grey(std::size_t(w * h)), rgb(std::size_t(w * h * 3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y * w + x);
            grey[i] = std::uint8_t(20 + 5 * x + 3 * y);
            rgb[3 * i] = std::uint8_t(200 - 4 * x);
            rgb[3 * i + 1] = std::uint8_t(50 + 6 * y);
            rgb[3 * i + 2] = 128;
        }
    std::vector<std::uint16_t> px;
    wxString why;
    ASSERT_TRUE(decode_file(
        compressed_file("1.2.840.10008.1.2.4.50", w, h, 8, false, 1, encode_jpeg(grey, w, h, 1, 100)), &px, &why))
        << why;
    EXPECT_LE(max_difference(px, std::vector<std::uint16_t>(grey.begin(), grey.end())), 2);

    std::vector<std::uint16_t> mean;
    for (std::size_t i = 0; i < grey.size(); ++i)
        mean.push_back(std::uint16_t((rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]) / 3));
    ASSERT_TRUE(decode_file(
        compressed_file("1.2.840.10008.1.2.4.50", w, h, 8, false, 3, encode_jpeg(rgb, w, h, 3, 100)), &px, &why))
        << why;
    EXPECT_LE(max_difference(px, mean), 3);
}

TEST(JpegBaseline, DamagedStreamsAndUnreadSyntaxesAreRefusedWithTheReason)
{
    const int w = 16, h = 16;
    const auto stream = encode_jpeg(std::vector<std::uint8_t>(std::size_t(w * h), 90), w, h, 1, 90);
    std::vector<std::uint16_t> px;
    wxString why;
    // Every cut: libjpeg's errors must come back to us, never end the process.
    jpeg_baseline_image_t out;
    for (std::size_t cut = 0; cut + 1 < stream.size(); ++cut)
        EXPECT_FALSE(decode_jpeg_baseline({stream.data(), cut}, 1 << 20, &out, &why)) << cut;
    auto damaged = stream;
    for (std::size_t i = damaged.size() / 2; i < damaged.size() - 2; ++i)
        damaged[i] = 0xFF;
    EXPECT_FALSE(decode_jpeg_baseline(damaged, 1 << 20, &out, &why));
    EXPECT_TRUE(why.Contains("damaged")) << why;
    EXPECT_FALSE(decode_jpeg_baseline(stream, std::uint64_t(w * h - 1), &out, &why));

    EXPECT_FALSE(decode_file(compressed_file("1.2.840.10008.1.2.4.50", w, h + 1, 8, false, 1, stream), &px, &why));
    EXPECT_TRUE(why.Contains("not the one the file describes")) << why;
    // 12-bit lossy JPEG and JPEG-LS (whose streams also begin FF D8) get the unsupported message.
    for (const char* syntax : {"1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.80"}) {
        EXPECT_FALSE(decode_file(compressed_file(syntax, w, h, 12, false, 1, stream), &px, &why)) << syntax;
        EXPECT_EQ(why, dicom_unsupported_compression) << syntax;
    }
}

}  // namespace

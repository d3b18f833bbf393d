// RLE-compressed DICOM against the same values stored natively: 16-bit
// signed and 8-bit multi-frame images, planes encoded by an independent
// PackBits coder; damaged headers, offsets and runs refused with a reason.
#include <random>

#include <gtest/gtest.h>

#include "volumes/dicom_dataset.h"
#include "volumes/dicom_image.h"
#include "volumes/dicom_rle.h"
#include "volumes/dicom_writer.h"

namespace {

// PackBits with runs of three or more repeated, literals otherwise.
std::vector<std::uint8_t> packbits(const std::vector<std::uint8_t>& in)
{
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < in.size()) {
        std::size_t run = 1;
        while (i + run < in.size() && in[i + run] == in[i] && run < 128)
            ++run;
        if (run >= 3) {
            out.push_back(std::uint8_t(257 - run));
            out.push_back(in[i]);
            i += run;
            continue;
        }
        std::size_t lit = 0;
        while (i + lit < in.size() && lit < 128 &&
               !(i + lit + 2 < in.size() && in[i + lit] == in[i + lit + 1] && in[i + lit] == in[i + lit + 2]))
            ++lit;
        out.push_back(std::uint8_t(lit - 1));
        out.insert(out.end(), in.begin() + long(i), in.begin() + long(i + lit));
        i += lit;
    }
    return out;
}

std::vector<std::uint8_t> rle_fragment(const std::vector<std::vector<std::uint8_t>>& planes)
{
    std::vector<std::uint8_t> header(64, 0), body;
    header[0] = std::uint8_t(planes.size());
    for (std::size_t s = 0; s < planes.size(); ++s) {
        const std::uint32_t at = std::uint32_t(64 + body.size());
        for (int k = 0; k < 4; ++k)
            header[4 + 4 * s + std::size_t(k)] = std::uint8_t(at >> (8 * k));
        const auto packed = packbits(planes[s]);
        body.insert(body.end(), packed.begin(), packed.end());
        if (body.size() % 2)
            body.push_back(0);  // segments are padded to even lengths
    }
    header.insert(header.end(), body.begin(), body.end());
    return header;
}

void image_header(dicom_writer_t& w, long rows, long columns, long bits, bool is_signed, long frames)
{
    w.us(0x0028, 0x0010, std::uint16_t(rows));
    w.us(0x0028, 0x0011, std::uint16_t(columns));
    w.us(0x0028, 0x0100, std::uint16_t(bits));
    w.us(0x0028, 0x0103, is_signed ? 1 : 0);
    w.text(0x0028, 0x0008, "IS", std::to_string(frames));
}

std::vector<std::uint16_t> decoded(const std::vector<std::uint8_t>& bytes, long frame)
{
    dicom_dataset_t ds;
    dicom_image_t im;
    std::vector<std::uint16_t> px;
    wxString why;
    EXPECT_TRUE(parse_dicom(bytes, &ds, &why)) << why;
    EXPECT_TRUE(read_dicom_image(ds, &im, &why)) << why;
    EXPECT_TRUE(decode_frame(ds, im, frame, &px, &why)) << why;
    return px;
}

TEST(DicomRle, DecodesToTheNativeValues)
{
    constexpr long rows = 16, columns = 21;
    std::mt19937 rng(5);
    std::vector<std::uint16_t> values(rows * columns);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = i % 9 < 4 ? std::uint16_t(-1000) : std::uint16_t(rng());  // runs and noise, negatives
    dicom_writer_t native;
    native.meta("1.2.840.10008.1.2.1");
    image_header(native, rows, columns, 16, true, 1);
    native.pixels(values);
    std::vector<std::uint8_t> high, low;
    for (std::uint16_t v : values) {
        high.push_back(std::uint8_t(v >> 8));
        low.push_back(std::uint8_t(v));
    }
    dicom_writer_t rle;
    rle.meta("1.2.840.10008.1.2.5");
    image_header(rle, rows, columns, 16, true, 1);
    const auto fragment = rle_fragment({high, low});
    // Split over three fragments: joined for the one frame.
    rle.fragments({{fragment.begin(), fragment.begin() + 30},
                   {fragment.begin() + 30, fragment.begin() + 70},
                   {fragment.begin() + 70, fragment.end()}});
    EXPECT_EQ(decoded(rle.bytes, 0), decoded(native.bytes, 0));

    // Three 8-bit frames, one fragment each.
    dicom_writer_t multi;
    multi.meta("1.2.840.10008.1.2.5");
    image_header(multi, 4, 5, 8, false, 3);
    std::vector<std::vector<std::uint8_t>> frames;
    for (int f = 0; f < 3; ++f) {
        std::vector<std::uint8_t> plane(20);
        for (std::size_t i = 0; i < plane.size(); ++i)
            plane[i] = std::uint8_t(f * 50 + (i / 4) * 3);
        frames.push_back(rle_fragment({plane}));
    }
    multi.fragments(frames);
    for (long f = 0; f < 3; ++f) {
        const auto px = decoded(multi.bytes, f);
        ASSERT_EQ(px.size(), 20u);
        EXPECT_EQ(px[19], f * 50 + 4 * 3) << f;
    }
}

TEST(DicomRle, DamagedFragmentsAreRefused)
{
    const std::vector<std::uint8_t> plane(50, 7);
    const std::vector<std::uint8_t> good = rle_fragment({plane});
    std::vector<std::uint8_t> out;
    wxString why;
    ASSERT_TRUE(decode_rle_frame(good, 50, 1, &out, &why)) << why;
    const auto refused = [&](std::vector<std::uint8_t> f, std::size_t pixels, int planes, const char* reason) {
        EXPECT_FALSE(decode_rle_frame(f, pixels, planes, &out, &why));
        EXPECT_TRUE(why.Contains(reason)) << why;
    };
    refused({good.begin(), good.begin() + 40}, 50, 1, "shorter than its header");
    auto zero = good;
    zero[0] = 0;
    refused(zero, 50, 1, "0 segments");
    auto sixteen = good;
    sixteen[0] = 16;
    refused(sixteen, 50, 1, "16 segments");
    refused(good, 50, 2, "where 2 are needed");
    auto far = good;
    far[5] = 0x40;  // offset 64 + 0x4000, beyond the fragment
    refused(far, 50, 1, "outside its fragment");
    refused(good, 60, 1, "does not fill its plane");        // fewer bytes than the plane
    refused(good, 1u << 30, 1, "too short for the image");  // nothing allocated for it
    auto overrun = good;
    overrun[64] = std::uint8_t(257 - 100);  // a run of 100 into a plane of 50
    refused(overrun, 50, 1, "does not fill its plane");
    // The fragment count must fit the frames.
    dicom_writer_t w;
    w.meta("1.2.840.10008.1.2.5");
    image_header(w, 5, 10, 8, false, 3);
    w.fragments({good, good});
    dicom_dataset_t ds;
    dicom_image_t im;
    std::vector<std::uint16_t> px;
    ASSERT_TRUE(parse_dicom(w.bytes, &ds, &why));
    ASSERT_TRUE(read_dicom_image(ds, &im, &why));
    EXPECT_FALSE(decode_frame(ds, im, 0, &px, &why));
    EXPECT_TRUE(why.Contains("2 fragments of compressed data for 3 frames")) << why;
    // Compression by syntax, not by the first bytes: JPEG-LS is refused with the program's message.
    dicom_writer_t ls;
    ls.meta("1.2.840.10008.1.2.4.80");
    image_header(ls, 5, 10, 8, false, 1);
    ls.fragments({{0xFF, 0xD8, 0xFF, 0xF7}});
    ASSERT_TRUE(parse_dicom(ls.bytes, &ds, &why));
    ASSERT_TRUE(read_dicom_image(ds, &im, &why));
    EXPECT_FALSE(decode_frame(ds, im, 0, &px, &why));
    EXPECT_EQ(why, dicom_unsupported_compression);
}

}  // namespace

// Lossless JPEG: images coded by a small encoder written here from T.81
// Annex H (its own prediction code, a fixed Huffman table) decode to their
// values for every predictor, 2 to 16 bits, point transforms, restart
// intervals and three components; a hand-coded stream checks the predictor
// arithmetic against known bits; damaged streams are refused.
#include <random>

#include <gtest/gtest.h>

#include "volumes/dicom_dataset.h"
#include "volumes/dicom_image.h"
#include "volumes/dicom_writer.h"
#include "volumes/jpeg_lossless.h"

namespace {

// Code lengths of the difference categories 0 to 16 (Kraft sum below 1, no all-ones code).
constexpr int code_length[17] = {2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};

struct bit_writer_t {
    std::vector<std::uint8_t> out;
    std::uint32_t acc = 0;
    int n = 0;
    void put(std::uint32_t bits, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            acc = (acc << 1) | ((bits >> i) & 1);
            if (++n == 8) {
                out.push_back(std::uint8_t(acc));
                if (acc == 0xFF)
                    out.push_back(0);  // byte stuffing
                acc = 0;
                n = 0;
            }
        }
    }
    void flush()
    {
        while (n != 0)
            put(1, 1);  // pad with ones
    }
};

struct stream_options_t {
    int precision = 16, predictor = 1, point_transform = 0, components = 1;
    long restart_rows = 0;
};

std::vector<std::uint8_t> encode(const std::vector<std::uint16_t>& samples, long w, long h, const stream_options_t& o)
{
    // Canonical codes, shortest first, by category within a length.
    std::uint32_t codes[17];
    std::uint8_t counts[16] = {};
    std::vector<std::uint8_t> order;
    {
        std::uint32_t code = 0;
        for (int len = 1; len <= 16; ++len) {
            for (int s = 0; s <= 16; ++s)
                if (code_length[s] == len) {
                    codes[s] = code++;
                    ++counts[len - 1];
                    order.push_back(std::uint8_t(s));
                }
            code <<= 1;
        }
    }
    std::vector<std::uint8_t> s{0xFF, 0xD8};
    const auto segment = [&](std::uint8_t marker, const std::vector<std::uint8_t>& body) {
        s.push_back(0xFF);
        s.push_back(marker);
        s.push_back(std::uint8_t((body.size() + 2) >> 8));
        s.push_back(std::uint8_t(body.size() + 2));
        s.insert(s.end(), body.begin(), body.end());
    };
    std::vector<std::uint8_t> sof{std::uint8_t(o.precision), std::uint8_t(h >> 8), std::uint8_t(h),
                                  std::uint8_t(w >> 8),      std::uint8_t(w),      std::uint8_t(o.components)};
    for (int c = 0; c < o.components; ++c)
        sof.insert(sof.end(), {std::uint8_t(c + 1), 0x11, 0});
    segment(0xC3, sof);
    std::vector<std::uint8_t> dht{0x00};
    dht.insert(dht.end(), counts, counts + 16);
    dht.insert(dht.end(), order.begin(), order.end());
    segment(0xC4, dht);
    if (o.restart_rows > 0)
        segment(0xDD, {std::uint8_t((o.restart_rows * w) >> 8), std::uint8_t(o.restart_rows * w)});
    std::vector<std::uint8_t> sos{std::uint8_t(o.components)};
    for (int c = 0; c < o.components; ++c)
        sos.insert(sos.end(), {std::uint8_t(c + 1), 0x00});
    sos.insert(sos.end(), {std::uint8_t(o.predictor), 0, std::uint8_t(o.point_transform)});
    segment(0xDA, sos);

    const int p = o.precision - o.point_transform;
    const int nc = o.components;
    // Values after the point transform, row by row.
    const auto at = [&](long x, long y, int c) {
        return std::int32_t(samples[std::size_t((y * w + x) * nc + c)] >> o.point_transform);
    };
    bit_writer_t bits;
    int rst = 0;
    for (long y = 0; y < h; ++y) {
        const bool restart_here = o.restart_rows > 0 && y > 0 && y % o.restart_rows == 0;
        if (restart_here) {
            bits.flush();
            bits.out.push_back(0xFF);
            bits.out.push_back(std::uint8_t(0xD0 + rst));
            rst = (rst + 1) % 8;
        }
        const bool first = y == 0 || restart_here;
        for (long x = 0; x < w; ++x)
            for (int c = 0; c < nc; ++c) {
                std::int32_t pred;
                if (first && x == 0)
                    pred = 1 << (p - 1);
                else if (first)
                    pred = at(x - 1, y, c);
                else if (x == 0)
                    pred = at(x, y - 1, c);
                else {
                    const std::int32_t a = at(x - 1, y, c), b = at(x, y - 1, c), d = at(x - 1, y - 1, c);
                    const std::int32_t by[8] = {0,           a, b, d, a + b - d, a + ((b - d) >> 1), b + ((a - d) >> 1),
                                                (a + b) >> 1};
                    pred = by[o.predictor];
                }
                // The difference modulo 2^16, as a signed 16-bit value.
                std::int32_t diff = std::int16_t(std::uint16_t(at(x, y, c) - pred));
                int ssss = 0;
                for (std::int32_t m = diff < 0 ? -diff : diff; m > 0; m >>= 1)
                    ++ssss;
                if (diff == -32768)
                    ssss = 16;
                bits.put(codes[ssss], code_length[ssss]);
                if (ssss > 0 && ssss < 16)
                    bits.put(std::uint32_t(diff < 0 ? diff + (1 << ssss) - 1 : diff), ssss);
            }
    }
    bits.flush();
    s.insert(s.end(), bits.out.begin(), bits.out.end());
    s.insert(s.end(), {0xFF, 0xD9});
    return s;
}

std::vector<std::uint16_t> random_image(long w, long h, int nc, int precision, int point_transform, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> v(std::size_t(w * h * nc));
    const std::uint32_t top = (1u << precision) - 1;
    for (std::size_t i = 0; i < v.size(); ++i) {
        // Smooth areas and edges, extremes included.
        const std::uint32_t smooth =
            (std::uint32_t(i % std::size_t(w)) * 37 + std::uint32_t(i / std::size_t(w)) * 11) & top;
        const std::uint32_t value = i % 17 == 0 ? top : i % 13 == 0 ? 0 : i % 3 == 0 ? rng() & top : smooth;
        v[i] = std::uint16_t((value >> point_transform) << point_transform);
    }
    return v;
}

TEST(JpegLossless, EveryPredictorPrecisionAndRestartRoundTrips)
{
    std::uint32_t seed = 1;
    for (int precision : {2, 8, 12, 16})
        for (int predictor = 1; predictor <= 7; ++predictor)
            for (const auto& [nc, pt, restart] :
                 std::vector<std::tuple<int, int, long>>{{1, 0, 0}, {1, 1, 3}, {3, 0, 2}}) {
                if (pt >= precision)
                    continue;
                const long w = 13, h = 9;
                const auto image = random_image(w, h, nc, precision, pt, seed++);
                const stream_options_t o{precision, predictor, pt, nc, restart};
                jpeg_lossless_image_t out;
                wxString why;
                ASSERT_TRUE(decode_jpeg_lossless(encode(image, w, h, o), &out, &why))
                    << why << " p" << precision << " sv" << predictor << " pt" << pt;
                EXPECT_EQ(out.width, w);
                EXPECT_EQ(out.height, h);
                EXPECT_EQ(out.components, nc);
                EXPECT_EQ(out.samples, image) << "p" << precision << " sv" << predictor << " pt" << pt << " nc" << nc;
            }
}

// Two rows of two 8-bit samples, predictor 7, coded by hand from T.81:
// first sample predicted 128, then the left neighbour, then the one above,
// then (left + above) / 2.
TEST(JpegLossless, KnownBitsOfAHandCodedStream)
{
    // Values 130 (diff +2), 129 (-1 from 130), 140 (+10 from 130), 136 ((140 + 129) / 2 = 134, +2).
    const std::vector<std::uint16_t> want{130, 129, 140, 136};
    const std::vector<std::uint8_t> stream = encode(want, 2, 2, {8, 7, 0, 1, 0});
    // Canonical codes by length: category 0 is 00, categories 1 to 5 are 010
    // to 110. So +2 is 011 then 10, -1 is 010 then 0, +10 is 101 then 1010,
    // +2 again 011 10: 21 bits, padded with ones to three bytes.
    std::size_t data = 0;
    for (std::size_t i = 0; i + 3 < stream.size(); ++i)
        if (stream[i] == 0xFF && stream[i + 1] == 0xDA)
            data = i + 2 + (std::size_t(stream[i + 2]) << 8 | stream[i + 3]);
    ASSERT_EQ(stream.size(), data + 3 + 2);
    EXPECT_EQ(stream[data], 0b01110010);
    EXPECT_EQ(stream[data + 1], 0b01011010);
    EXPECT_EQ(stream[data + 2], 0b01110111);
    jpeg_lossless_image_t out;
    wxString why;
    ASSERT_TRUE(decode_jpeg_lossless(stream, &out, &why)) << why;
    EXPECT_EQ(out.samples, want);
}

TEST(JpegLossless, DamagedStreamsAreRefused)
{
    const auto image = random_image(10, 6, 1, 12, 0, 9);
    const std::vector<std::uint8_t> good = encode(image, 10, 6, {12, 4, 0, 1, 2});
    jpeg_lossless_image_t out;
    wxString why;
    ASSERT_TRUE(decode_jpeg_lossless(good, &out, &why)) << why;
    // Every cut short: refused with a reason or never a crash.
    for (std::size_t n = 0; n + 2 < good.size(); ++n) {
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + long(n));
        EXPECT_FALSE(decode_jpeg_lossless(cut, &out, &why)) << n;
        EXPECT_FALSE(why.empty());
    }
    // Single flipped bytes: refused or decoded, never out of bounds.
    for (std::size_t i = 2; i < good.size(); ++i)
        for (std::uint8_t x : {std::uint8_t(0x01), std::uint8_t(0x80), std::uint8_t(0xFF)}) {
            auto bad = good;
            bad[i] ^= x;
            decode_jpeg_lossless(bad, &out, &why);
        }
    // A baseline (SOF0) stream is not lossless.
    auto baseline = good;
    baseline[3] = 0xC0;
    EXPECT_FALSE(decode_jpeg_lossless(baseline, &out, &why));
    EXPECT_TRUE(why.Contains("not lossless JPEG")) << why;
    // A missing restart marker.
    auto no_rst = good;
    for (std::size_t i = 0; i + 1 < no_rst.size(); ++i)
        if (no_rst[i] == 0xFF && no_rst[i + 1] == 0xD0)
            no_rst[i + 1] = 0xD3;
    EXPECT_FALSE(decode_jpeg_lossless(no_rst, &out, &why));
    EXPECT_TRUE(why.Contains("restart marker")) << why;
}

// A signed 12-bit slice in a DICOM file, JPEG lossless (first-order
// prediction) split over two fragments, gives the native file's values.
TEST(JpegLossless, InADicomFileGivesTheNativeValues)
{
    const long w = 12, h = 7;
    std::vector<std::uint16_t> stored(std::size_t(w * h));
    for (std::size_t i = 0; i < stored.size(); ++i)
        stored[i] = std::uint16_t(std::int16_t(-1200 + 37 * std::int32_t(i))) & 0x0FFF;  // 12-bit patterns
    const auto header = [&](dicom_writer_t& d) {
        d.us(0x0028, 0x0010, std::uint16_t(h));
        d.us(0x0028, 0x0011, std::uint16_t(w));
        d.us(0x0028, 0x0100, 16);
        d.us(0x0028, 0x0101, 12);
        d.us(0x0028, 0x0102, 11);
        d.us(0x0028, 0x0103, 1);
    };
    dicom_writer_t native, jpeg;
    native.meta("1.2.840.10008.1.2.1");
    header(native);
    native.pixels(stored);
    jpeg.meta("1.2.840.10008.1.2.4.70");
    header(jpeg);
    const std::vector<std::uint8_t> stream = encode(stored, w, h, {12, 1, 0, 1, 0});
    const std::vector<std::uint8_t> first(stream.begin(), stream.begin() + 40),
        second(stream.begin() + 40, stream.end());
    jpeg.fragments({first, second});
    std::vector<std::vector<std::uint16_t>> frames;
    for (const auto* file : {&native, &jpeg}) {
        dicom_dataset_t ds;
        dicom_image_t im;
        std::vector<std::uint16_t> px;
        wxString why;
        ASSERT_TRUE(parse_dicom(file->bytes, &ds, &why)) << why;
        ASSERT_TRUE(read_dicom_image(ds, &im, &why)) << why;
        ASSERT_TRUE(decode_frame(ds, im, 0, &px, &why)) << why;
        frames.push_back(px);
    }
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(frames[0][0], std::uint16_t(-1200 + 32768));
}

}  // namespace

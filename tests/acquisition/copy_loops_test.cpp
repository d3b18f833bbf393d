// Frame conversion against a per-pixel reference written from the frame
// encoding alone: every crop parity, odd sizes, padded rows, and windows or
// buffers that do not fit.
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/copy_loops.h"

namespace {

struct yuv_frame_t {
    yuv420_layout_t layout;
    std::vector<std::uint8_t> bytes;
    std::uint8_t y(long c, long r) const { return bytes[r * layout.luma_stride + c]; }
    std::uint8_t u(long c, long r) const
    {
        return bytes[layout.luma_stride * layout.height + (r / 2) * layout.chroma_stride() + c / 2];
    }
    std::uint8_t v(long c, long r) const
    {
        return bytes[layout.luma_stride * layout.height + layout.chroma_stride() * layout.chroma_rows() +
                     (r / 2) * layout.chroma_stride() + c / 2];
    }
};

// Random bytes, chroma biased so that all three flow classes occur.
yuv_frame_t random_frame(long w, long h, long padding, unsigned seed)
{
    yuv_frame_t f{{w, h, w + padding}, {}};
    f.bytes.resize(f.layout.frame_bytes());
    std::mt19937 gen(seed);
    for (auto& b : f.bytes)
        b = static_cast<std::uint8_t>(gen());
    return f;
}

std::uint8_t reference_code(int y, int u, int v, const flow_thresholds_t* flow, bool strict_grey)
{
    if (!flow)
        return static_cast<std::uint8_t>(y);
    const bool bright = strict_grey ? y > flow->grey : y >= flow->grey;
    if (bright && u - v > flow->chroma)
        return static_cast<std::uint8_t>(128 + y / 4);
    if (bright && v - u > flow->chroma)
        return static_cast<std::uint8_t>(192 + y / 4);
    return static_cast<std::uint8_t>(y / 2);
}

// Catches chroma taken from the wrong row or column (crop parity, odd sizes),
// padded rows read as pixels, and grey rows copied from the wrong place.
TEST(CopyLoops, PlanarMatchesThePerPixelReference)
{
    const flow_thresholds_t flow{24, 20};
    unsigned seed = 1;
    for (const long w : {16L, 17L, 33L})
        for (const long h : {9L, 12L})
            for (const long padding : {0L, 3L, 16L})
                for (const long x0 : {0L, 1L, 2L})
                    for (const long y0 : {0L, 1L, 3L})
                        for (const bool doppler : {false, true}) {
                            const yuv_frame_t f = random_frame(w, h, padding, seed++);
                            const long ow = w - x0 - (w % 3), oh = h - y0 - 1;
                            std::vector<std::uint8_t> out(static_cast<std::size_t>(ow * oh), 0);
                            ASSERT_TRUE(yuv420_copy_loops(f.bytes.data(), f.bytes.size(), f.layout, out.data(), ow,
                                                          oh, x0, y0, doppler ? &flow : nullptr));
                            for (long r = 0; r < oh; ++r)
                                for (long c = 0; c < ow; ++c) {
                                    const long sc = x0 + c, sr = y0 + r;
                                    ASSERT_EQ(out[r * ow + c], reference_code(f.y(sc, sr), f.u(sc, sr), f.v(sc, sr),
                                                                              doppler ? &flow : nullptr, false))
                                        << w << "x" << h << "+" << padding << " at " << x0 << "," << y0 << " pixel "
                                        << c << "," << r;
                                }
                        }
}

// The worked values of the colour-flow coding.
TEST(CopyLoops, ColourFlowCodes)
{
    const flow_thresholds_t flow{24, 20};
    const struct {
        int y, u, v, code;
    } cases[] = {{20, 200, 10, 10}, {100, 160, 120, 153}, {100, 120, 160, 217}, {100, 140, 140, 50}, {24, 200, 0, 134}};
    for (const auto& c : cases) {
        yuv_frame_t f{{2, 2, 2}, {}};
        f.bytes.assign(f.layout.frame_bytes(), 0);
        std::fill(f.bytes.begin(), f.bytes.begin() + 4, std::uint8_t(c.y));
        f.bytes[4] = static_cast<std::uint8_t>(c.u);
        f.bytes[5] = static_cast<std::uint8_t>(c.v);
        std::uint8_t out[4] = {};
        ASSERT_TRUE(yuv420_copy_loops(f.bytes.data(), f.bytes.size(), f.layout, out, 2, 2, 0, 0, &flow));
        EXPECT_EQ(out[3], c.code) << c.y << " " << c.u << " " << c.v;
    }
}

// Catches a read outside the frame or the buffer: any window that does not
// fit, and any buffer shorter than the frame, leave the output untouched.
TEST(CopyLoops, WindowsAndBuffersThatDoNotFitAreRefused)
{
    const yuv_frame_t f = random_frame(20, 10, 4, 7);
    std::vector<std::uint8_t> out(400, 0xAB);
    const struct {
        long ow, oh, x0, y0;
    } windows[] = {{21, 10, 0, 0}, {20, 10, 1, 0}, {10, 5, 11, 0}, {10, 5, 0, 6}, {10, 5, -1, 0}, {0, 5, 0, 0},
                   {10, 5, 0, -2}, {1L << 40, 1, 0, 0}};
    for (const auto& w : windows)
        EXPECT_FALSE(yuv420_copy_loops(f.bytes.data(), f.bytes.size(), f.layout, out.data(), w.ow, w.oh, w.x0, w.y0,
                                       nullptr))
            << w.ow << "x" << w.oh << " at " << w.x0 << "," << w.y0;
    EXPECT_FALSE(yuv420_copy_loops(f.bytes.data(), f.bytes.size() - 1, f.layout, out.data(), 4, 4, 0, 0, nullptr));
    EXPECT_FALSE(yuv420_copy_loops(f.bytes.data(), f.bytes.size(), yuv420_layout_t{20, 10, 19}, out.data(), 4, 4, 0,
                                   0, nullptr));
    for (const std::uint8_t b : out)
        ASSERT_EQ(b, 0xAB);
}

// Packed 4:2:2 rows: luma from every second byte in either byte order, and
// flow classified by the pair's chroma, an odd start taking its own pair's.
TEST(CopyLoops, PackedRowsMatchTheReference)
{
    const flow_thresholds_t flow{24, 20};
    const long w = 7, h = 3, stride = 2 * 8 + 6;
    std::vector<std::uint8_t> src(static_cast<std::size_t>(stride * h));
    std::mt19937 gen(3);
    for (auto& b : src)
        b = static_cast<std::uint8_t>(gen());
    for (const bool uyvy : {false, true})
        for (const bool odd : {false, true}) {
            std::vector<std::uint8_t> grey(static_cast<std::size_t>(w * h)), coded(grey.size());
            (uyvy ? greyscale_uyvy_copy_loops : greyscale_yuyv_copy_loops)(src.data(), grey.data(), stride, w, h);
            (uyvy ? doppler_uyvy_copy_loops : doppler_yuyv_copy_loops)(src.data(), coded.data(), stride, w, h,
                                                                       flow.chroma, flow.grey, odd);
            for (long r = 0; r < h; ++r)
                for (long c = 0; c < w; ++c) {
                    const std::uint8_t* row = src.data() + r * stride;
                    EXPECT_EQ(grey[r * w + c], row[2 * c + (uyvy ? 1 : 0)]);
                    const long p = c + (odd ? 1 : 0);
                    const std::uint8_t* pair = row + 4 * (p / 2);
                    const int y = pair[(uyvy ? 1 : 0) + 2 * (p & 1)];
                    const int u = pair[uyvy ? 0 : 1], v = pair[uyvy ? 2 : 3];
                    EXPECT_EQ(coded[r * w + c], reference_code(y, u, v, &flow, true)) << uyvy << odd << c << "," << r;
                }
        }
}

}  // namespace

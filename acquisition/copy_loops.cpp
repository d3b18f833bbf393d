#include "copy_loops.h"

#include <cstring>

namespace {

// Planar frames compare the luma with >=, packed ones with >: the two capture
// paths have always classified their boundary pixel differently.
inline std::uint8_t flow_code(int y, int u, int v, int chroma_thresh)
{
    if (u - v > chroma_thresh)
        return static_cast<std::uint8_t>((y >> 2) + 128);
    if (v - u > chroma_thresh)
        return static_cast<std::uint8_t>((y >> 2) + 192);
    return static_cast<std::uint8_t>(y >> 1);
}

// The planar rule without branches: flow pixels are scattered through the
// image, so a branch per pixel mispredicts and costs more than the sums.
inline std::uint8_t planar_flow_code(int y, int u, int v, int grey_thresh, int chroma_thresh)
{
    const int bright = y >= grey_thresh;
    const int first = bright & (u - v > chroma_thresh);
    const int second = bright & (v - u > chroma_thresh);
    const int half = y >> 1, flow = (y >> 2) + 128 + 64 * second;
    return static_cast<std::uint8_t>(half + (first | second) * (flow - half));
}

// Offsets of Y0, U, Y1 and V within a packed pair of pixels.
struct packed_order_t {
    int y0, u, y1, v;
};
constexpr packed_order_t yuyv{0, 1, 2, 3};
constexpr packed_order_t uyvy{1, 0, 3, 2};

void greyscale_packed(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                      int first_y)
{
    for (long r = 0; r < height; ++r) {
        const std::uint8_t* in = src + r * src_stride + first_y;
        std::uint8_t* out = dst + r * width;
        for (long c = 0; c < width; ++c)
            out[c] = in[2 * c];
    }
}

void doppler_packed(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                    int chroma_thresh, int grey_thresh, bool odd_start, const packed_order_t& order)
{
    for (long r = 0; r < height; ++r) {
        const std::uint8_t* row = src + r * src_stride;
        std::uint8_t* out = dst + r * width;
        for (long c = 0; c < width; ++c) {
            // Pixel c of the window is pixel c + odd_start of the row's pairs.
            const long p = c + (odd_start ? 1 : 0);
            const std::uint8_t* pair = row + 4 * (p / 2);
            const int y = pair[(p & 1) ? order.y1 : order.y0];
            const int u = pair[order.u], v = pair[order.v];
            out[c] = y > grey_thresh ? flow_code(y, u, v, chroma_thresh) : static_cast<std::uint8_t>(y >> 1);
        }
    }
}

}  // namespace

std::size_t yuv420_layout_t::frame_bytes() const
{
    if (width < 1 || height < 1 || luma_stride < width || width > 65535 || height > 65535 || luma_stride > 1 << 20)
        return 0;
    return static_cast<std::size_t>(luma_stride) * static_cast<std::size_t>(height) +
           2 * static_cast<std::size_t>(chroma_stride()) * static_cast<std::size_t>(chroma_rows());
}

bool crop_window_fits(long width, long height, long out_width, long out_height, long x0, long y0)
{
    return out_width > 0 && out_height > 0 && x0 >= 0 && y0 >= 0 && out_width <= width && out_height <= height &&
           x0 <= width - out_width && y0 <= height - out_height;
}

bool yuv420_copy_loops(const std::uint8_t* src, std::size_t src_bytes, const yuv420_layout_t& layout,
                       std::uint8_t* dst, long out_width, long out_height, long x0, long y0,
                       const flow_thresholds_t* flow)
{
    const std::size_t needed = layout.frame_bytes();
    if (!src || !dst || needed == 0 || src_bytes < needed ||
        !crop_window_fits(layout.width, layout.height, out_width, out_height, x0, y0))
        return false;
    const long stride = layout.luma_stride;
    if (!flow) {
        for (long r = 0; r < out_height; ++r)
            std::memcpy(dst + r * out_width, src + (y0 + r) * stride + x0, static_cast<std::size_t>(out_width));
        return true;
    }
    const long cstride = layout.chroma_stride();
    const std::uint8_t* u_plane = src + stride * layout.height;
    const std::uint8_t* v_plane = u_plane + cstride * layout.chroma_rows();
    for (long r = 0; r < out_height; ++r) {
        const std::uint8_t* y_row = src + (y0 + r) * stride + x0;
        const long chroma_row = ((y0 + r) >> 1) * cstride;
        const std::uint8_t* u_row = u_plane + chroma_row;
        const std::uint8_t* v_row = v_plane + chroma_row;
        std::uint8_t* out = dst + r * out_width;
        for (long c = 0; c < out_width; ++c) {
            const long k = (x0 + c) >> 1;
            out[c] = planar_flow_code(y_row[c], u_row[k], v_row[k], flow->grey, flow->chroma);
        }
    }
    return true;
}

void greyscale_yuyv_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height)
{
    greyscale_packed(src, dst, src_stride, width, height, yuyv.y0);
}

void greyscale_uyvy_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height)
{
    greyscale_packed(src, dst, src_stride, width, height, uyvy.y0);
}

void doppler_yuyv_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                             int chroma_thresh, int grey_thresh, bool odd_start)
{
    doppler_packed(src, dst, src_stride, width, height, chroma_thresh, grey_thresh, odd_start, yuyv);
}

void doppler_uyvy_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                             int chroma_thresh, int grey_thresh, bool odd_start)
{
    doppler_packed(src, dst, src_stride, width, height, chroma_thresh, grey_thresh, odd_start, uyvy);
}

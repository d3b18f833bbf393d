// Conversion of captured frames to the stored one byte per pixel: the luma,
// or with colour flow the luma coded into three classes, as every view
// decodes them: 0-127 grey Y/2, 128-191 first flow colour 128 + Y/4,
// 192-255 second flow colour 192 + Y/4.
//
// Source geometry comes from the driver and crop windows from the user, so
// every routine checks the window against the frame and the frame against
// the buffer before reading a byte, and does nothing when they do not fit.
#pragma once

#include <cstddef>
#include <cstdint>

// Colour-flow classification; null means greyscale.
struct flow_thresholds_t {
    int grey = 24;    // minimum luma for a pixel to be flow
    int chroma = 20;  // minimum difference between the chroma samples
};

// A planar 4:2:0 frame (fourcc YU12): the Y plane of `height` rows of
// `luma_stride` bytes, then the Cb plane and the Cr plane, each of
// ceil(height / 2) rows of ceil(luma_stride / 2) bytes.
struct yuv420_layout_t {
    long width = 0, height = 0;
    long luma_stride = 0;  // bytes per Y row, at least width
    long chroma_stride() const { return (luma_stride + 1) / 2; }
    long chroma_rows() const { return (height + 1) / 2; }
    // Bytes the frame needs, or 0 when the layout is impossible.
    std::size_t frame_bytes() const;
};

// True when the out_width x out_height window at (x0, y0) lies in a frame of
// width x height.
bool crop_window_fits(long width, long height, long out_width, long out_height, long x0, long y0);

// Copies the window at (x0, y0) of a planar 4:2:0 frame of src_bytes bytes
// into dst (out_width x out_height, rows contiguous). False, with dst
// untouched, when the window or the frame does not fit.
bool yuv420_copy_loops(const std::uint8_t* src, std::size_t src_bytes, const yuv420_layout_t& layout,
                       std::uint8_t* dst, long out_width, long out_height, long x0, long y0,
                       const flow_thresholds_t* flow);

// Packed 4:2:2 sources (Y0 U Y1 V, or U Y0 V Y1), each row src_stride bytes
// of which width pixels are read. Colour flow classifies a pair of pixels by
// its shared chroma; with odd_start the first pixel is the second of a pair
// and takes the chroma of that pair; src points at the pair holding the
// first pixel. The caller checks the source size.
void greyscale_yuyv_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height);
void greyscale_uyvy_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height);
void doppler_yuyv_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                             int chroma_thresh, int grey_thresh, bool odd_start);
void doppler_uyvy_copy_loops(const std::uint8_t* src, std::uint8_t* dst, long src_stride, long width, long height,
                             int chroma_thresh, int grey_thresh, bool odd_start);

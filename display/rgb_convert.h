// Converting coded images to packed RGB or RGBA for drawing and export,
// through the byte tables of the current colour map. Every routine checks
// its sizes and returns false without writing when they make no sense.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cmap_fill.h"

// Codes to packed RGB, n pixels; uses the processor's byte permutes when it has them.
void map_row_to_rgb(const byte_cmap_t& maps, const std::uint8_t* codes, std::uint8_t* rgb, std::size_t n);
// The same on any processor.
void map_row_to_rgb_portable(const byte_cmap_t& maps, const std::uint8_t* codes, std::uint8_t* rgb, std::size_t n);

// Copies the dst_w x dst_h window of src starting at (x0, y0) into dst
// (dst_w * 3 bytes per row). Needs dst_h <= src_h. Negative offsets count as
// 0, a window past the right or bottom edge is moved back inside, and when
// dst_w > src_w only src_w pixels of each row are written.
bool fast_map_to_rgb(const byte_cmap_t& maps, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                     int dst_w, int dst_h, int x0, int y0, bool grey_only);

// Every step-th column and row, n_x by n_y samples, into dst (n_x * 3 bytes
// per row); nothing when the last sample would fall outside src.
bool part_map_to_rgb(const byte_cmap_t& maps, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                     int n_x, int n_y, int step);

// A w x h image into the top left of a tex_w x tex_h RGBA texture; the rest
// of the texture is (r, g, b). Alpha is alpha * 255 everywhere, except 0 for
// code 0 and for the area outside the image with zero_transparent. With
// flip the image's last row becomes the texture's first.
bool image_to_rgba(const byte_cmap_t& maps, const std::uint8_t* src, int w, int h, std::uint8_t* dst, int tex_w,
                   int tex_h, float r, float g, float b, float alpha, bool flip, bool zero_transparent);

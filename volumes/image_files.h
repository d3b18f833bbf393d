// Ordinary image files as slices: PNG, PNM and BMP through wxImage (colour
// to grey by the mean of its components), TIFF through libtiff (8- or 16-bit
// grey or 8-bit colour, every page of a multi-page file). Files are
// untrusted: sizes are checked before allocating, libtiff's messages are
// caught rather than printed.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/string.h>

// By extension: png, pnm, pgm, ppm, bmp, tif, tiff in any letter case.
bool is_image_file(const wxString& path);

struct image_shape_t {
    long width = 0, height = 0, pages = 1;
    bool is_signed = false;  // 16-bit signed TIFF: kept +32768 like signed DICOM
};

// The size and page count of every page alike (a TIFF whose pages differ
// gives its first run of same-size pages). False, with the reason.
bool read_image_shape(const wxString& path, image_shape_t* shape, wxString* why);

// One page as kept 16-bit values (width x height, row by row from the top).
bool read_image_page(const wxString& path, long page, const image_shape_t& shape, std::vector<std::uint16_t>* values,
                     wxString* why);

// Images larger than this many pixels are refused before any allocation.
inline constexpr std::uint64_t image_max_pixels = std::uint64_t(1) << 28;

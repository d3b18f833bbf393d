// Zooming coded images for display. Grey images magnified at least twice
// use a Mitchell-Netravali cubic, which stays sharp without ringing; coded
// (Doppler, strain) images and small zooms are interpolated between
// neighbouring codes with the code space's own interpolators, so a pixel
// between grey and flow never becomes a meaningless code.
#pragma once

#include <array>
#include <cstdint>

#include "cmap_fill.h"

struct mitchell_netravali_t {
    double b = 1.0 / 3.0, c = 1.0 / 3.0;
};

// The kernel for a horizontal zoom: a B-spline when zero means background
// (smooth, never negative, so no-data edges do not ring), B = C = 1/3 from
// zoom 4, and between zoom 2 and 4 a blend from Catmull-Rom to that.
mitchell_netravali_t choose_cubic_kernel(double zoom_x, bool zero_is_background);

// The kernel's value at distance x from the sample.
double mitchell_netravali(double x, const mitchell_netravali_t& k);

// Weights for the taps at -1, 0, +1, +2 around a sample with fractional
// position frac in [0, 1), scaled by 256 and summing to exactly 256.
std::array<int, 4> cubic_weights_256(double frac, const mitchell_netravali_t& k);

// How the image is coded and how it is to be shown.
struct resample_setup_t {
    const byte_cmap_t* maps = nullptr;  // the colour map's byte tables; unused with grey_only
    bool doppler = false;               // the image is Doppler-coded
    bool strain = false;                // the display shows strain codes
    bool display_pixels = false;        // show pixels as blocks, without smoothing
    std::array<std::uint8_t, 3> background{50, 50, 50};
};

// Whether a call with these settings takes the cubic path.
bool uses_cubic(const resample_setup_t& setup, double zoom_x, bool grey_only);

// Resamples src from origin (x0, y0) (in source pixels, pixel i covering
// [i, i + 1)) at the given zoom into dst (dst_w * 3 bytes per row). A
// negative zoom_y flips the output vertically. Destination pixels that fall
// outside the image, and with zero_is_background pixels whose code comes
// out 0, take the background colour. Returns false, leaving dst alone, when
// nothing can be drawn: missing buffers, a source smaller than 2 x 2, an
// origin beyond the last pixel centre, or a zoom that is zero or not finite.
bool interp_to_rgb(const resample_setup_t& setup, const std::uint8_t* src, int src_w, int src_h, std::uint8_t* dst,
                   int dst_w, int dst_h, double x0, double y0, double zoom_x, double zoom_y, bool zero_is_background,
                   bool grey_only);

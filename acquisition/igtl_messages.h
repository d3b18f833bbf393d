// Frames and poses as OpenIGTLink messages, the way image-guided-therapy
// tools (3D Slicer's connector among them) read them: millimetres in RAS.
// This program's world is labelled LPS in centimetres (as DICOM's patient
// frame), so x and y change sign and lengths are multiplied by ten.
//
// An IMAGE message carries a frame's 8-bit pixels with its spacing, its axis
// directions and the position of its centre (the middle between the first
// and last pixel centres); a TRANSFORM message carries a 4x4 matrix.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/cip.h"
#include "common/matrix16d.h"

using igtl_bytes_t = std::shared_ptr<const std::vector<unsigned char>>;

// The names this program gives its frames and its probe's pose, and looks for by default.
inline constexpr const char* igtl_image_device = "Image";
inline constexpr const char* igtl_probe_device = "ProbeToReference";

// Master-clock ticks (100 ns) as a message's time stamp: seconds, and the fraction of a second in 2^-32 s.
void igtl_time_stamp(std::uint64_t ticks, unsigned* seconds, unsigned* fraction);

// `image_to_world` maps (u sx, v sy, 0) in cm to the world for pixel (u, v);
// sx, sy are cm per pixel. Null when the frame is empty, larger than 65535
// pixels a side, or a value is not finite.
igtl_bytes_t pack_igtl_image(const std::string& device, const cip_t& frame, const matrix16d& image_to_world, double sx,
                             double sy, std::uint64_t ticks);

// A world matrix (cm) as a TRANSFORM; null when a value is not finite.
igtl_bytes_t pack_igtl_transform(const std::string& device, const matrix16d& world, std::uint64_t ticks);

// What a received IMAGE says, back in this program's terms.
struct igtl_image_t {
    std::string device;
    long width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // row-major
    double sx = 0.0, sy = 0.0;         // cm per pixel
    matrix16d image_to_world;          // maps (u sx, v sy, 0) cm to the world
    std::uint64_t ticks = 0;
};

// World matrix (cm) of a TRANSFORM, and the inverse of the conversions above.
matrix16d igtl_matrix_to_world(const float (&m)[4][4]);
void world_to_igtl_matrix(const matrix16d& world, float (&m)[4][4]);

// 8-bit lossy JPEG (baseline and extended sequential, Huffman or arithmetic
// coded, as libjpeg-turbo reads them) for DICOM's lossy JPEG syntaxes. The
// library's own error handler ends the process; ours returns the reason.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <wx/string.h>

struct jpeg_baseline_image_t {
    long width = 0, height = 0;
    int components = 0;  // 1 grey, 3 RGB (interleaved in `samples`)
    std::vector<std::uint8_t> samples;
};

// Colour streams come out as RGB. False, with the reason, for a stream that
// is not 8-bit JPEG, is damaged or is larger than `max_samples`.
bool decode_jpeg_baseline(std::span<const std::uint8_t> stream, std::uint64_t max_samples, jpeg_baseline_image_t* out,
                          wxString* why);

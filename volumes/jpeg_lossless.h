// Lossless JPEG (the process of ITU-T T.81 Annex H, Huffman coded), as
// DICOM's lossless transfer syntaxes carry it: 2 to 16 bits, predictors 1
// to 7, a point transform, restart intervals, one to four interleaved
// components. Streams are untrusted: tables, sizes and markers are checked,
// and the bit reader never reads past the data.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <wx/string.h>

struct jpeg_lossless_image_t {
    long width = 0, height = 0;
    int precision = 0;   // bits per sample
    int components = 0;  // samples per pixel, interleaved in `samples`
    std::vector<std::uint16_t> samples;
};

// False, with the reason, for a stream that is not lossless JPEG or is damaged.
bool decode_jpeg_lossless(std::span<const std::uint8_t> stream, jpeg_lossless_image_t* out, wxString* why);

// Images larger than this many samples are refused before any allocation.
inline constexpr std::uint64_t jpeg_lossless_max_samples = std::uint64_t(1) << 28;

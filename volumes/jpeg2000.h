// JPEG 2000 pixel data (DICOM's J2K syntaxes, lossless and lossy) through
// OpenJPEG's stream API, from memory. A raw codestream or a JP2 file.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <wx/string.h>

struct jpeg2000_image_t {
    long width = 0, height = 0;
    int precision = 0;  // bits per sample
    bool is_signed = false;
    int components = 0;                 // 1 or 3, interleaved in `samples`
    std::vector<std::int32_t> samples;  // as coded (signed values below 0 when is_signed)
};

// False, with the reason, for a damaged stream, one of more than 16 bits,
// other than 1 or 3 components of full size, or larger than `max_samples`
// (checked from the header, before the image is decoded).
bool decode_jpeg2000(std::span<const std::uint8_t> stream, std::uint64_t max_samples, jpeg2000_image_t* out,
                     wxString* why);

// DICOM's RLE compression: a fragment starts with a 64-byte header (the
// number of segments, 1 to 15, and each segment's offset), each segment
// holds one byte plane of the frame (the most significant byte first, then
// colour samples), run-length coded as PackBits.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <wx/string.h>

// Decodes one frame's fragment into `planes` byte planes of `pixels` bytes
// each, one after another. False with the reason for a damaged fragment (a
// segment count outside 1 to 15 or fewer than needed, offsets outside the
// fragment, runs past a plane's end, planes left short).
bool decode_rle_frame(std::span<const std::uint8_t> fragment, std::size_t pixels, int planes,
                      std::vector<std::uint8_t>* out, wxString* why);

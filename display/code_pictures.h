// Coded 8-bit pixels (frames, reslices) turned into pictures through the
// shared colour map, as the views show them; plain grey before a colour map
// exists.
#pragma once

#include <cstdint>
#include <vector>

#include <wx/image.h>

#include "common/cip.h"

// w x h codes, rows in order, as RGB triples.
std::vector<std::uint8_t> codes_to_rgb(const std::uint8_t* codes, long w, long h);
inline std::vector<std::uint8_t> frame_to_rgb(const cip_t& frame)
{
    return codes_to_rgb(frame.pixels(), frame.width(), frame.height());
}

// The same as a picture; with bottom_up the last row of codes is the top of
// the picture (reslices, whose y axis points up).
wxImage codes_picture(const std::uint8_t* codes, long w, long h, bool bottom_up);

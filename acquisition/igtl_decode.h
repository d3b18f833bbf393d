// Reading OpenIGTLink messages that come from the network, which nothing
// vouches for: the header's sizes are checked against limits before
// anything is allocated, the CRC must match, and IMAGE and TRANSFORM bodies
// must be exactly as long as they say and hold finite numbers. Only what
// this program records is understood: 8-bit single-component 2D images and
// 4x4 transforms; other messages are read past and ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <wx/string.h>

#include "igtl_messages.h"

// The largest body taken: a 4096 x 4096 frame and its image header, with room to spare.
inline constexpr std::uint64_t igtl_body_limit = 64ull << 20;

struct igtl_header_t {
    std::string type, device;
    std::uint64_t ticks = 0;  // 100 ns
    std::uint64_t body_size = 0;
    std::uint64_t crc = 0;
};

// The 58 header bytes; false, with *why, for a body beyond the limit.
bool decode_igtl_header(const unsigned char* bytes, igtl_header_t* header, wxString* why);

// `none`: nothing came within the time allowed; the connection is still sound.
enum class igtl_body_t { image, transform, other, bad, none };

struct igtl_message_t {
    igtl_header_t header;
    igtl_image_t image;   // when an image
    matrix16d transform;  // world (cm) of a transform
};

// A body read after its header; `bad` with *why for a failed CRC or a
// malformed IMAGE or TRANSFORM.
igtl_body_t decode_igtl_body(const igtl_header_t& header, const unsigned char* body, igtl_message_t* out,
                             wxString* why);

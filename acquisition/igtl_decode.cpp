#include "igtl_decode.h"

#include <cmath>
#include <cstring>

#include "igtl_wire.h"

namespace {

std::string text_field(const unsigned char* p, std::size_t n)
{
    std::size_t len = 0;
    while (len < n && p[len] != 0)
        ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

std::uint64_t ticks_of(std::uint64_t stamp)
{
    const std::uint64_t seconds = stamp >> 32, fraction = stamp & 0xffffffffu;
    return seconds * 10000000u + ((fraction * 10000000u + (1ull << 31)) >> 32);
}

bool decode_image(const igtl_header_t& header, const unsigned char* body, igtl_image_t* out, wxString* why)
{
    if (header.body_size < igtl_image_header_size) {
        *why = "an IMAGE message too short for its own header";
        return false;
    }
    const unsigned char* at = body;
    const int components = at[2], scalar = at[3], coordinate = at[5];
    const long w = get_be16(at + 6), h = get_be16(at + 8), d = get_be16(at + 10);
    if (components != 1 || scalar != 3 || d != 1 || w < 1 || h < 1) {
        *why = wxString::Format(
            "an IMAGE of %d component(s), scalar type %d, %ld x %ld x %ld: only 8-bit "
            "single-component 2D images are recorded",
            components, scalar, w, h, d);
        return false;
    }
    const std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    // A sub-volume is not a frame: only whole images are taken.
    const unsigned char* sub = at + 12 + 48;
    if (get_be16(sub) != 0 || get_be16(sub + 2) != 0 || get_be16(sub + 4) != 0 || get_be16(sub + 6) != w ||
        get_be16(sub + 8) != h || header.body_size != igtl_image_header_size + pixels) {
        *why = "an IMAGE whose size does not match its data (or only part of an image)";
        return false;
    }
    double axes[3][3], centre[3];
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            axes[c][r] = get_be32f(at + 12 + 12 * c + 4 * r);
    for (int r = 0; r < 3; ++r)
        centre[r] = get_be32f(at + 48 + 4 * r);
    const double sign = coordinate == 2 ? -1.0 : 1.0;  // LPS images need no flip of x and y
    double spacing[3];
    matrix16d m;
    for (int c = 0; c < 3; ++c) {
        spacing[c] = std::sqrt(axes[c][0] * axes[c][0] + axes[c][1] * axes[c][1] + axes[c][2] * axes[c][2]);
        if (!std::isfinite(spacing[c]) || spacing[c] <= 0.0) {
            *why = "an IMAGE with an axis that is zero or not a number";
            return false;
        }
        for (int r = 0; r < 3; ++r)
            m[4 * c + r] = (r < 2 ? igtl_lps_ras[r] * sign : 1.0) * axes[c][r] / spacing[c];
    }
    for (int r = 0; r < 3; ++r)
        if (!std::isfinite(centre[r])) {
            *why = "an IMAGE placed at a position that is not a number";
            return false;
        }
    out->device = header.device;
    out->width = w;
    out->height = h;
    out->sx = spacing[0] / igtl_mm_per_cm;
    out->sy = spacing[1] / igtl_mm_per_cm;
    // The centre is the middle of the pixel centres; the matrix maps pixel (0, 0) to the corner.
    for (int r = 0; r < 3; ++r) {
        const double c_world = (r < 2 ? igtl_lps_ras[r] * sign : 1.0) * centre[r] / igtl_mm_per_cm;
        m[12 + r] = c_world - 0.5 * double(w - 1) * out->sx * m[r] - 0.5 * double(h - 1) * out->sy * m[4 + r];
    }
    out->image_to_world = m;
    out->pixels.assign(at + igtl_image_header_size, at + igtl_image_header_size + pixels);
    out->ticks = header.ticks;
    return true;
}

bool decode_transform(const igtl_header_t& header, const unsigned char* body, matrix16d* out, wxString* why)
{
    if (header.body_size != 48) {
        *why = "a TRANSFORM message that is not 48 bytes";
        return false;
    }
    float m[4][4] = {};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 3; ++r) {
            m[r][c] = get_be32f(body + 12 * c + 4 * r);
            if (!std::isfinite(m[r][c])) {
                *why = "a TRANSFORM holding a value that is not a number";
                return false;
            }
        }
    m[3][3] = 1.0f;
    *out = igtl_matrix_to_world(m);
    return true;
}

}  // namespace

bool decode_igtl_header(const unsigned char* bytes, igtl_header_t* header, wxString* why)
{
    header->type = text_field(bytes + 2, 12);
    header->device = text_field(bytes + 14, 20);
    header->ticks = ticks_of(get_be64(bytes + 34));
    header->body_size = get_be64(bytes + 42);
    header->crc = get_be64(bytes + 50);
    if (header->body_size > igtl_body_limit) {
        *why = wxString::Format("a %s message of %llu bytes, beyond the limit of %llu", header->type,
                                static_cast<unsigned long long>(header->body_size),
                                static_cast<unsigned long long>(igtl_body_limit));
        return false;
    }
    return true;
}

igtl_body_t decode_igtl_body(const igtl_header_t& header, const unsigned char* body, igtl_message_t* out, wxString* why)
{
    if (igtl_crc64(body, static_cast<std::size_t>(header.body_size)) != header.crc) {
        *why = wxString::Format("a %s message whose CRC does not match its body", header.type);
        return igtl_body_t::bad;
    }
    out->header = header;
    if (header.type == "IMAGE")
        return decode_image(header, body, &out->image, why) ? igtl_body_t::image : igtl_body_t::bad;
    if (header.type == "TRANSFORM")
        return decode_transform(header, body, &out->transform, why) ? igtl_body_t::transform : igtl_body_t::bad;
    return igtl_body_t::other;
}

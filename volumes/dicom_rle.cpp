#include "dicom_rle.h"

#include <algorithm>

namespace {

std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

// PackBits: a control byte n < 128 copies n + 1 literal bytes, n > 128
// repeats the next byte 257 - n times, 128 does nothing.
bool unpack(std::span<const std::uint8_t> in, std::span<std::uint8_t> out)
{
    std::size_t i = 0, o = 0;
    while (o < out.size()) {
        if (i >= in.size())
            return false;
        const std::uint8_t n = in[i++];
        if (n < 128) {
            const std::size_t count = std::size_t(n) + 1;
            if (count > in.size() - i || count > out.size() - o)
                return false;
            std::copy_n(in.begin() + long(i), count, out.begin() + long(o));
            i += count;
            o += count;
        } else if (n > 128) {
            const std::size_t count = 257 - std::size_t(n);
            if (i >= in.size() || count > out.size() - o)
                return false;
            std::fill_n(out.begin() + long(o), count, in[i++]);
            o += count;
        }
    }
    return true;
}

}  // namespace

bool decode_rle_frame(std::span<const std::uint8_t> fragment, std::size_t pixels, int planes,
                      std::vector<std::uint8_t>* out, wxString* why)
{
    if (fragment.size() < 64) {
        *why = "an RLE fragment is shorter than its header";
        return false;
    }
    const std::uint32_t segments = le32(fragment, 0);
    if (segments < 1 || segments > 15 || segments < std::uint32_t(planes)) {
        *why = wxString::Format("an RLE fragment has %u segments where %d are needed (1 to 15)", segments, planes);
        return false;
    }
    // A run of two bytes gives at most 128: a fragment too short for the
    // planes it must fill is refused before anything is allocated.
    if (std::uint64_t(pixels) * std::uint64_t(planes) > 64 * std::uint64_t(fragment.size())) {
        *why = "an RLE fragment is too short for the image it must fill";
        return false;
    }
    out->assign(pixels * std::size_t(planes), 0);
    for (int s = 0; s < planes; ++s) {
        const std::uint32_t start = le32(fragment, 4 + 4 * std::size_t(s));
        const std::uint32_t end =
            s + 1 < int(segments) ? le32(fragment, 8 + 4 * std::size_t(s)) : std::uint32_t(fragment.size());
        if (start < 64 || start > end || end > fragment.size()) {
            *why = "an RLE segment lies outside its fragment";
            return false;
        }
        if (!unpack(fragment.subspan(start, end - start),
                    std::span<std::uint8_t>(out->data() + std::size_t(s) * pixels, pixels))) {
            *why = "an RLE segment does not fill its plane exactly";
            return false;
        }
    }
    return true;
}

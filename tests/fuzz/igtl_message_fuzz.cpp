// libFuzzer harness: bytes as they might come from an OpenIGTLink server.
// The decoder must never crash, read outside the bytes or allocate from a
// size it was told; what it accepts must be a finite placement and exactly
// the pixels the image says it has.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "acquisition/igtl_decode.h"
#include "acquisition/igtl_wire.h"

namespace {

struct fuzz_env_t {
    wxInitializer wx;
    fuzz_env_t() { wxLog::EnableLogging(false); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    if (size < igtl_header_size)
        return 0;
    igtl_header_t header;
    wxString why;
    if (!decode_igtl_header(data, &header, &why))
        return 0;
    // The body is what follows, as a socket would give it; a short one is never read past.
    if (size - igtl_header_size < header.body_size)
        return 0;
    // Most mutations break the CRC; half the time the header is given the right one, so the bodies'
    // own checks are explored too.
    if (data[0] & 1)
        header.crc = igtl_crc64(data + igtl_header_size, static_cast<std::size_t>(header.body_size));
    igtl_message_t message;
    const igtl_body_t kind = decode_igtl_body(header, data + igtl_header_size, &message, &why);
    if (kind == igtl_body_t::image) {
        const igtl_image_t& image = message.image;
        if (image.pixels.size() != static_cast<std::size_t>(image.width * image.height) || !(image.sx > 0.0) ||
            !(image.sy > 0.0))
            std::abort();
        for (double v : image.image_to_world.m)
            if (!std::isfinite(v))
                std::abort();
    } else if (kind == igtl_body_t::transform) {
        for (double v : message.transform.m)
            if (!std::isfinite(v))
                std::abort();
    }
    return 0;
}

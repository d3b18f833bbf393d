// libFuzzer harness: the lossless JPEG decoder on arbitrary streams: no
// crash, no read outside the stream, a refusal with a reason, and a decoded
// image whose samples fill exactly its stated size within its precision.
#include <cstdint>
#include <cstdlib>

#include <wx/init.h>

#include "volumes/jpeg_lossless.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    jpeg_lossless_image_t out;
    wxString why;
    if (!decode_jpeg_lossless({data, size}, &out, &why)) {
        if (why.empty())
            std::abort();
        return 0;
    }
    if (out.samples.size() != std::size_t(out.width) * std::size_t(out.height) * std::size_t(out.components))
        std::abort();
    for (std::uint16_t v : out.samples)
        if (out.precision < 16 && v >> out.precision)
            std::abort();
    return 0;
}

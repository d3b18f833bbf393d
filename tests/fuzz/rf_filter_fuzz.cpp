// libFuzzer harness: filter_rf with arbitrary taps, frame sizes, offsets and
// display settings never reads or writes outside the buffers it is given.
#include <cstdint>
#include <cstring>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "acquisition/rf_utility.h"
#include "fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    reader_t in{data, size};
    const long vectors = 1 + in.next<std::uint8_t>() % 16, per_vector = 1 + in.next<std::uint16_t>() % 600;
    rf_utility::window_t w;
    w.vector_offset = in.next<std::int32_t>() % 40;
    w.sample_offset = in.next<std::int32_t>();
    w.vectors = in.next<std::int32_t>() % 40;
    w.samples = in.next<std::int32_t>();
    if (in.next<std::uint8_t>() & 1) {  // mostly near the frame, sometimes anywhere
        w.sample_offset %= 700;
        w.samples %= 700;
    }
    const long length = in.next<std::int16_t>();
    const long half = in.next<std::int16_t>();
    rf_utility::display_settings_t s;
    s.display = in.next<std::int8_t>();
    s.log_mult = in.next<std::int16_t>();
    s.log_offset = in.next<std::int16_t>();
    s.log_gamma = in.next<float>();
    s.persist = in.next<std::int8_t>();
    s.frames_in_vol = in.next<std::int8_t>();
    const long frame_number = in.next<std::int8_t>();

    // The buffers are exactly as large as the sizes claim: ASan sees any step outside them.
    const bool taps_fit = length > 0 && length <= rf_utility::max_filter_length + 1;
    std::vector<std::int32_t> real(taps_fit ? static_cast<std::size_t>(length) : 1), imag(real.size());
    for (std::size_t k = 0; k < real.size(); ++k) {
        real[k] = in.next<std::int32_t>();
        imag[k] = in.next<std::int32_t>();
    }
    std::vector<std::int16_t> frame(static_cast<std::size_t>(vectors * per_vector));
    for (auto& x : frame)
        x = in.next<std::int16_t>();
    const bool window_fits = w.vectors > 0 && w.samples > 0 && w.vectors <= vectors && w.samples <= per_vector;
    std::vector<std::uint8_t> out(window_fits ? static_cast<std::size_t>(w.vectors * w.samples) : 1);
    static rf_utility::persistence_t persistence;
    rf_utility::filter_rf({frame.data(), vectors, per_vector}, w, {real.data(), imag.data(), length, half}, s,
                          &persistence, frame_number, out.data());
    return 0;
}

// libFuzzer harness: a probe definition file of arbitrary bytes is refused or
// read into a probe whose filters can then be applied without reading
// outside their taps or a frame.
#include <cstdint>
#include <string_view>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "acquisition/probe_file.h"
#include "acquisition/rf_utility.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    static const bool quiet = (wxLog::EnableLogging(false), true);
    (void)quiet;
    probe_t probe;
    if (!parse_probe_text(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.cfg", &probe))
        return 0;
    std::vector<std::int16_t> frame(3 * 50);
    for (std::size_t k = 0; k < frame.size(); ++k)
        frame[k] = static_cast<std::int16_t>(k * 2654435761u);
    std::vector<std::uint8_t> out(frame.size());
    for (const probe_rate_t& rate : probe.rates)
        for (long band = 0; rate.has_filters() && band < probe.filters; ++band) {
            const auto first = static_cast<std::size_t>(band * rate.filter_length);
            const rf_utility::taps_t taps{rate.real_filter.data() + first, rate.imag_filter.data() + first,
                                          rate.filter_length, rate.filter_half};
            rf_utility::filter_rf({frame.data(), 3, 50}, {0, 0, 3, 50}, taps, {}, nullptr, 0, out.data());
        }
    return 0;
}

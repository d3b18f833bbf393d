#include "rf_scope.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "resources/resource_table.h"

rf_scope_settings_t rf_scope_settings_from_resources()
{
    rf_scope_settings_t s;
    s.vector = static_cast<long>(res->RES_RFSCOPE_V->value());
    s.first = static_cast<long>(res->RES_RFSCOPE_START_S->value());
    s.count = static_cast<long>(res->RES_RFSCOPE_S->value());
    s.gain_db = static_cast<double>(res->RES_RFSCOPE_GAIN->value());
    s.type = static_cast<long>(res->RES_RFSCOPE_DISPLAY_TYPE->value());
    return s;
}

bool rf_trace(const cip_t& frame, const rf_scope_settings_t& s, const rf_utility::taps_t* taps, rf_trace_t* out)
{
    if (!frame.has_samples() || frame.width() <= 0 || frame.height() <= 0)
        return false;
    const long vectors = frame.width(), samples = frame.height();
    out->vector = std::clamp(s.vector, 0L, vectors - 1);
    out->first = std::clamp(s.first, 0L, samples - 1);
    const long count = s.count > 0 ? std::min(s.count, samples - out->first) : samples - out->first;
    // Gains beyond +-120 dB would turn every sample into infinity or zero.
    const double gain = std::pow(10.0, std::clamp(s.gain_db, -120.0, 120.0) / 20.0);
    const std::int16_t* x = frame.signed_samples() + static_cast<std::size_t>(out->vector) * static_cast<std::size_t>(samples);
    out->envelope = s.type == rf_scope_envelope;
    out->values.assign(static_cast<std::size_t>(count), 0.0);
    const bool filtered = out->envelope && taps && rf_utility::taps_usable(*taps);
    for (long k = 0; k < count; ++k) {
        const long j = out->first + k;
        double v = x[j];
        if (filtered) {
            // As the display filters: taps centred on the sample, zeros beyond the vector, 16.16 back to samples.
            std::int64_t i = 0, q = 0;
            for (long t = 0; t < taps->length; ++t) {
                const long n = j - taps->half + t;
                if (n >= 0 && n < samples) {
                    i += static_cast<std::int64_t>(taps->real[t]) * x[n];
                    q += static_cast<std::int64_t>(taps->imag[t]) * x[n];
                }
            }
            v = std::hypot(static_cast<double>(i >> 16), static_cast<double>(q >> 16));
        } else if (out->envelope) {
            v = std::fabs(v);
        }
        out->values[static_cast<std::size_t>(k)] = v * gain;
    }
    return true;
}

#include "rf_scope.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "resources/resource_table.h"

namespace {

long clamped(std::int64_t v)
{
    return static_cast<long>(std::clamp<std::int64_t>(v, -(std::int64_t{1} << 31), std::int64_t{1} << 31));
}

// Sample j of one vector as the trace shows it, before the gain.
double trace_value(const std::int16_t* x, long samples, long j, bool envelope, const rf_utility::taps_t* taps)
{
    if (!envelope)
        return x[j];
    if (!taps)
        return std::fabs(static_cast<double>(x[j]));
    // As the display filters: taps centred on the sample, zeros beyond the vector, 16.16 back to samples.
    std::int64_t i = 0, q = 0;
    for (long t = 0; t < taps->length; ++t) {
        const long n = j - taps->half + t;
        if (n >= 0 && n < samples) {
            i += static_cast<std::int64_t>(taps->real[t]) * x[n];
            q += static_cast<std::int64_t>(taps->imag[t]) * x[n];
        }
    }
    return std::hypot(static_cast<double>(i >> 16), static_cast<double>(q >> 16));
}

}  // namespace

rf_scope_settings_t rf_scope_settings_from_resources()
{
    rf_scope_settings_t s;
    s.vector = clamped(res->RES_RFSCOPE_V->value());
    s.first = clamped(res->RES_RFSCOPE_START_S->value());
    s.count = clamped(res->RES_RFSCOPE_S->value());
    s.gain_db = static_cast<double>(res->RES_RFSCOPE_GAIN->value());
    s.type = clamped(res->RES_RFSCOPE_DISPLAY_TYPE->value());
    s.averaged = clamped(res->RES_RFSCOPE_A->value());
    s.first_vector = clamped(res->RES_RFSCOPE_START_V->value());
    return s;
}

bool rf_trace(const cip_t& frame, const rf_scope_settings_t& s, const rf_utility::taps_t* taps, rf_trace_t* out)
{
    if (!frame.has_samples() || frame.width() <= 0 || frame.height() <= 0)
        return false;
    const long vectors = frame.width(), samples = frame.height();
    const bool averaging = s.averaged > 1;
    out->vector = std::clamp(averaging ? s.first_vector : s.vector, 0L, vectors - 1);
    out->vectors = averaging ? std::min(s.averaged, vectors - out->vector) : 1;
    out->first = std::clamp(s.first, 0L, samples - 1);
    const long count = s.count > 0 ? std::min(s.count, samples - out->first) : samples - out->first;
    // Gains beyond +-120 dB would turn every sample into infinity or zero.
    const double gain = std::pow(10.0, std::clamp(s.gain_db, -120.0, 120.0) / 20.0);
    out->envelope = s.type == rf_scope_envelope;
    const rf_utility::taps_t* usable = out->envelope && taps && rf_utility::taps_usable(*taps) ? taps : nullptr;
    out->values.assign(static_cast<std::size_t>(count), 0.0);
    for (long v = out->vector; v < out->vector + out->vectors; ++v) {
        const std::int16_t* x = frame.signed_samples() + static_cast<std::size_t>(v) * static_cast<std::size_t>(samples);
        for (long k = 0; k < count; ++k)
            out->values[static_cast<std::size_t>(k)] += trace_value(x, samples, out->first + k, out->envelope, usable);
    }
    const double scale = gain / static_cast<double>(out->vectors);
    for (double& v : out->values)
        v *= scale;
    return true;
}

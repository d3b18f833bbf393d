#include "rf_utility.h"

#include <algorithm>
#include <cmath>
#include <new>

#include <wx/log.h>

namespace rf_utility {
namespace {

std::uint8_t clamp_pixel(float v)
{
    // Written so that NaN (a strange gamma) also lands on 1: 0 means "no data".
    if (!(v >= 1.0f))
        return 1;
    if (v > 255.0f)
        return 255;
    return static_cast<std::uint8_t>(v);
}

// One vector: the kept samples with the filter's reach on either side, zeros
// where that reach passes the vector's ends, so the inner loop needs no checks.
void pad_vector(const std::int16_t* vector, long samples_per_vector, long first, long count, std::int32_t* padded)
{
    for (long k = 0; k < count; ++k) {
        const long s = first + k;
        padded[k] = s >= 0 && s < samples_per_vector ? vector[s] : 0;
    }
}

std::int64_t dot(const std::int32_t* taps, const std::int32_t* x, long length)
{
    std::int64_t sum = 0;
    for (long k = 0; k < length; ++k)
        sum += static_cast<std::int64_t>(taps[k]) * x[k];
    return sum;
}

}  // namespace

long companion_display(long display)
{
    return display == display_envelope ? display_phase : display_envelope;
}

std::uint8_t envelope_pixel(double power, const display_settings_t& s)
{
    if (!(power > 0.0))
        return 1;
    // A range below 1 dB (0 comes from old files) would divide by zero.
    const double mult = s.log_mult >= 1.0 ? s.log_mult : 1.0;
    double base = (10.0 * std::log10(power) - s.log_offset) / mult;
    // Below the offset the base is negative, and a fractional power of it would be NaN.
    if (!(base > 0.0))
        base = 0.0;
    const float gamma = static_cast<float>(s.log_gamma);
    const float v = gamma == 1.0f ? 255.0f * static_cast<float>(base)
                                  : 255.0f * std::pow(static_cast<float>(base), gamma);
    return clamp_pixel(v);
}

std::uint8_t phase_pixel(double i, double q)
{
    return clamp_pixel(static_cast<float>((std::atan2(q, i) + M_PI) * 40.0));
}

int persistence_weight(long persist)
{
    if (persist <= 0)
        return 0;
    // A sample decays to 5 % after `persist` frames.
    const double a = std::floor(std::pow(10.0, -1.3010299956639813 / static_cast<double>(persist)) * 256.0);
    return static_cast<int>(std::min(a, 255.0));
}

void persistence_t::reset()
{
    stored_.clear();
    last_frame_ = LONG_MIN;
}

bool persistence_t::prepare(std::size_t count, long frame_number, long frames_in_vol)
{
    const auto step = static_cast<unsigned long>(frame_number) - static_cast<unsigned long>(last_frame_);
    const bool follows = last_frame_ != LONG_MIN && frame_number > last_frame_ &&
                         (step == 1 || (frames_in_vol > 0 && step == static_cast<unsigned long>(frames_in_vol)));
    if (count > max_bytes_) {
        reset();
        return false;
    }
    if (stored_.size() != count || !follows) {
        try {
            stored_.assign(count, 0);
        } catch (const std::bad_alloc&) {
            std::vector<std::uint8_t>().swap(stored_);
            last_frame_ = LONG_MIN;
            return false;
        }
    }
    last_frame_ = frame_number;
    return true;
}

void persistence_t::blend(std::uint8_t* out, int weight)
{
    const unsigned a = static_cast<unsigned>(std::clamp(weight, 0, 255)), b = 256 - a;
    for (std::size_t k = 0; k < stored_.size(); ++k) {
        const unsigned s = stored_[k];
        if (s != 0)
            out[k] = static_cast<std::uint8_t>((out[k] * b + s * a) >> 8);
        stored_[k] = out[k];
    }
}

bool window_fits(const frame_view_t& frame, const window_t& w)
{
    if (!frame.samples || frame.vectors <= 0 || frame.samples_per_vector <= 0) {
        wxLogError("The RF frame holds no samples.");
        return false;
    }
    if (w.vectors <= 0 || w.vector_offset < 0 || w.vectors > frame.vectors ||
        w.vector_offset > frame.vectors - w.vectors) {
        wxLogError("The RF vectors kept (RES_RF_VECTOR_OFFSET %ld, RES_RF_VECTORS %ld) do not lie within the %ld "
                   "vectors of the frame.",
                   w.vector_offset, w.vectors, frame.vectors);
        return false;
    }
    if (w.samples <= 0 || w.sample_offset < 0 || w.samples > frame.samples_per_vector ||
        w.sample_offset > frame.samples_per_vector - w.samples) {
        wxLogError("The RF samples kept (RES_RF_SAMPLE_OFFSET %ld, RES_RF_SAMPLES %ld) do not lie within the %ld "
                   "samples of a vector.",
                   w.sample_offset, w.samples, frame.samples_per_vector);
        return false;
    }
    return true;
}

bool taps_usable(const taps_t& taps)
{
    if (!taps.real || !taps.imag || taps.length <= 0 || taps.length > max_filter_length) {
        wxLogError("The RF filter has %ld taps; 1 to %ld can be used.", taps.length, max_filter_length);
        return false;
    }
    if (taps.half < 0 || taps.half >= taps.length) {
        wxLogError("The RF filter's centre tap %ld lies outside its %ld taps.", taps.half, taps.length);
        return false;
    }
    return true;
}

bool filter_rf(const frame_view_t& frame, const window_t& w, const taps_t& taps, const display_settings_t& settings,
               persistence_t* persistence, long frame_number, std::uint8_t* out)
{
    if (!out || !window_fits(frame, w) || !taps_usable(taps))
        return false;
    const long reach = w.samples + taps.length - 1;
    std::vector<std::int32_t> padded;
    try {
        padded.resize(static_cast<std::size_t>(reach));
    } catch (const std::bad_alloc&) {
        wxLogError("Couldn't malloc space for focused RF data.");
        return false;
    }
    const auto count = static_cast<std::size_t>(w.vectors) * static_cast<std::size_t>(w.samples);
    const int weight = persistence ? persistence_weight(settings.persist) : 0;
    if (persistence && weight == 0)
        persistence->reset();  // none now; blending starts afresh when it returns
    if (weight > 0 && !persistence->prepare(count, frame_number, settings.frames_in_vol)) {
        wxLogError("Couldn't malloc space for envelope sum.");
        return false;
    }

    const bool phase = settings.display == display_phase;
    const long row = w.vectors;
    for (long v = 0; v < w.vectors; ++v) {
        const std::int16_t* vector =
            frame.samples + static_cast<std::size_t>(w.vector_offset + v) * static_cast<std::size_t>(frame.samples_per_vector);
        pad_vector(vector, frame.samples_per_vector, w.sample_offset - taps.half, reach, padded.data());
        std::uint8_t* column = out + v;
        for (long j = 0; j < w.samples; ++j) {
            // Arithmetic shifts: 16.16 fixed point back to sample units, rounding down.
            const std::int64_t i = dot(taps.real, padded.data() + j, taps.length) >> 16;
            const std::int64_t q = dot(taps.imag, padded.data() + j, taps.length) >> 16;
            const double di = static_cast<double>(i), dq = static_cast<double>(q);
            // In double: I and Q reach 2^42, and their squares would overflow any 64-bit integer.
            column[static_cast<std::size_t>(j) * static_cast<std::size_t>(row)] =
                phase ? phase_pixel(di, dq) : envelope_pixel(di * di + dq * dq, settings);
        }
    }
    if (weight > 0)
        persistence->blend(out, weight);
    return true;
}

}  // namespace rf_utility

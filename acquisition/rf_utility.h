// Turns RF frames (vectors of signed 16-bit samples) into 8-bit B-scans:
// quadrature filtering with a probe's taps, envelope or phase detection,
// logarithmic compression and frame persistence. Used by the RF display of
// recordings (rf_display.h) and by live RF sources; it knows no resources.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rf_utility {

// Display kinds of RES_RF_DISPLAY.
enum : long { display_envelope = 1, display_phase = 2, display_strain = 3, display_attenuation = 4 };

// Longest filter accepted: with 16-bit samples and 32-bit taps the 64-bit sums
// stay below 2^58, so they can never overflow.
inline constexpr long max_filter_length = 4096;

// One quadrature filter pair in 16.16 fixed point; tap `half` lies on the output sample.
struct taps_t {
    const std::int32_t* real = nullptr;
    const std::int32_t* imag = nullptr;
    long length = 0;
    long half = 0;
};

// A whole RF frame as it arrives: vector after vector, each of samples_per_vector samples.
struct frame_view_t {
    const std::int16_t* samples = nullptr;
    long vectors = 0;
    long samples_per_vector = 0;
};

// The part of a frame that is shown: the first vector and sample kept, and how many.
struct window_t {
    long vector_offset = 0, sample_offset = 0;
    long vectors = 0, samples = 0;
};

struct display_settings_t {
    long display = display_envelope;  // RES_RF_DISPLAY
    double log_mult = 60.0;           // dynamic range (dB), RES_RF_LOG_MULT
    double log_offset = 20.0;         // offset (dB), RES_RF_LOG_OFFSET
    double log_gamma = 1.0;           // RES_RF_LOG_GAMMA
    long persist = 1;                 // frames, RES_RF_PERSIST; 0 or below: none
    long frames_in_vol = 1;           // RES_FRAMES_IN_VOL
};

// The display shown beside the chosen one in dual display: the envelope
// (B-mode) beside phase, strain or attenuation; phase beside the envelope.
long companion_display(long display);

// Pixel of an envelope power P = I^2 + Q^2, always 1 to 255.
std::uint8_t envelope_pixel(double power, const display_settings_t& s);
// Pixel of a phase atan2(Q, I), always 1 to 255.
std::uint8_t phase_pixel(double i, double q);
// The blending weight (of 256) of the stored value for a persistence in frames.
int persistence_weight(long persist);

// The previous displayed frame, blended into the next one. Cleared when the
// frame size changes, when frames do not follow one another (step 1 or one
// volume) and on reset(), e.g. for a new recording.
class persistence_t {
public:
    // Frames whose store would pass max_bytes are refused as an allocation failure.
    explicit persistence_t(std::size_t max_bytes = std::size_t{1} << 30) : max_bytes_(max_bytes) {}
    void reset();
    // Makes room for a frame of `count` pixels; false (store cleared) when it cannot.
    bool prepare(std::size_t count, long frame_number, long frames_in_vol);
    // out = (new * (256 - a) + stored * a) >> 8 where something is stored; stores out.
    void blend(std::uint8_t* out, int weight);

private:
    std::size_t max_bytes_;
    std::vector<std::uint8_t> stored_;  // 0: nothing stored (pixels are never 0)
    long last_frame_ = LONG_MIN;
};

// False, with the reason logged, when the window does not lie inside the frame.
bool window_fits(const frame_view_t& frame, const window_t& window);
// False, with the reason logged, for taps that cannot be applied.
bool taps_usable(const taps_t& taps);

// The display dispatch: filters the window of `frame` into `out`, one row per
// sample of window.vectors pixels. Phase for RES_RF_DISPLAY 2; envelope
// otherwise (strain and attenuation show the envelope until they exist).
// Samples a filter reaches beyond either end of a vector count as 0. With a
// persistence store, frame_number decides whether the previous frame blends in.
// False, with the reason logged and out untouched, when the window or the taps
// are unusable or a buffer cannot be had: the frame is skipped.
bool filter_rf(const frame_view_t& frame, const window_t& window, const taps_t& taps,
               const display_settings_t& settings, persistence_t* persistence, long frame_number, std::uint8_t* out);

}  // namespace rf_utility

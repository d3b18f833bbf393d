// Double-precision references for the RF display tests and a synthetic probe:
// a Gaussian-windowed cosine and sine pair at the centre frequency, in 16.16
// fixed point, as a real quadrature filter.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace rf_reference {

struct quadrature_t {
    std::vector<std::int32_t> real, imag;
    long half = 0;
};

// length taps at `cycles` cycles per sample, window width sigma samples.
inline quadrature_t gaussian_pair(long length, double cycles, double sigma)
{
    quadrature_t q;
    q.half = length / 2;
    for (long k = 0; k < length; ++k) {
        const double t = static_cast<double>(k - q.half);
        const double w = std::exp(-0.5 * t * t / (sigma * sigma)) * 65536.0;
        q.real.push_back(static_cast<std::int32_t>(std::lround(w * std::cos(2 * M_PI * cycles * t))));
        q.imag.push_back(static_cast<std::int32_t>(std::lround(w * std::sin(2 * M_PI * cycles * t))));
    }
    return q;
}

inline std::string taps_text(const std::vector<std::int32_t>& taps)
{
    std::string s;
    for (std::size_t k = 0; k < taps.size(); ++k)
        s += std::to_string(taps[k]) + (k % 8 == 7 ? "\n" : " ");  // values run on over lines
    return s;
}

// A probe file with the pair for the given rate key ("50M", "100M", ...).
inline std::string probe_text(const std::string& name, const quadrature_t& q, const std::string& rate = "50M")
{
    const std::string p = "PROBE_" + rate + "_";
    return "PROBE_NAME " + name + "\nPROBE_VECTORS 4\nPROBE_FILTERS 1\n" + p + "FILTER_LENGTH " +
           std::to_string(q.real.size()) + "\n" + p + "FILTER_HALF " + std::to_string(q.half) + "\n" + p +
           "REAL_FILTER\n" + taps_text(q.real) + "\n" + p + "IMAG_FILTER\n" + taps_text(q.imag) + "\n";
}

// I or Q of sample j: taps centred on it, zeros beyond the vector, floor of /65536.
inline double filtered(const std::vector<std::int32_t>& taps, long half, const std::int16_t* x, long n, long j)
{
    long double sum = 0;
    for (long k = 0; k < static_cast<long>(taps.size()); ++k) {
        const long s = j - half + k;
        if (s >= 0 && s < n)
            sum += static_cast<long double>(taps[static_cast<std::size_t>(k)]) * x[s];
    }
    return static_cast<double>(std::floor(sum / 65536.0L));
}

inline int clamp_pixel(double v)
{
    return v > 255.0 ? 255 : v < 1.0 ? 1 : static_cast<int>(v);
}

inline int envelope(double i, double q, double mult = 60, double offset = 20, double gamma = 1)
{
    const long double p = static_cast<long double>(i) * i + static_cast<long double>(q) * q;
    if (p <= 0)
        return 1;
    const double base = std::max(0.0, (10.0 * std::log10(static_cast<double>(p)) - offset) / mult);
    return clamp_pixel(255.0 * std::pow(base, gamma));
}

inline int phase(double i, double q)
{
    return clamp_pixel((std::atan2(q, i) + M_PI) * 40.0);
}

}  // namespace rf_reference

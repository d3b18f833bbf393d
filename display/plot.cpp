#include "plot.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace {

// Beyond this tick index neighbouring ticks i * step are no longer distinct doubles.
constexpr double max_tick_index = 4503599627370496.0;  // 2^52
// Tolerance, in steps, for ticks that land on the range's ends.
constexpr double tick_slack = 1e-9;

std::string format_number(double value, std::chars_format format, int precision)
{
    std::array<char, 64> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value, format, precision);
    if (error != std::errc())
        return "?";
    std::string s(text.data(), end);
    // Rounding can leave "-0.00" behind.
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("0.", 1) == std::string::npos)
        s.erase(0, 1);
    return s;
}

}  // namespace

plot_range_t plot_axis_range(const plot_t& plot, bool x_axis)
{
    const std::optional<plot_range_t>& fixed = x_axis ? plot.x_range : plot.y_range;
    if (fixed && std::isfinite(fixed->lo) && std::isfinite(fixed->hi) && fixed->lo < fixed->hi &&
        std::isfinite(fixed->hi - fixed->lo))
        return *fixed;

    double lo = INFINITY, hi = -INFINITY;
    for (const plot_series_t& s : plot.series)
        for (const plot_point_t& p : s.points) {
            if (!std::isfinite(p.x) || !std::isfinite(p.y))
                continue;
            const double v = x_axis ? p.x : p.y;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    if (lo > hi)
        return {0.0, 1.0};
    lo = std::clamp(lo, -plot_value_limit, plot_value_limit);
    hi = std::clamp(hi, -plot_value_limit, plot_value_limit);
    plot_range_t range;
    if (hi > lo) {
        const double margin = 0.05 * (hi - lo);
        range = {std::max(lo - margin, -plot_value_limit), std::min(hi + margin, plot_value_limit)};
    } else {
        const double d = lo != 0.0 ? 0.1 * std::fabs(lo) : 1.0;
        range = {lo - d, lo + d};
    }
    if (!(range.hi > range.lo))  // a subnormal lone value
        range = {lo - 1.0, lo + 1.0};
    return range;
}

plot_ticks_t plot_ticks(double lo, double hi, int max_ticks)
{
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return {};
    if (hi < lo)
        std::swap(lo, hi);
    if (hi == lo)
        return {0.0, {lo}};
    const plot_ticks_t ends{0.0, {lo, hi}};
    max_ticks = std::clamp(max_ticks, 2, 100);
    const double raw = (hi - lo) / (max_ticks - 1);
    if (!std::isfinite(raw) || !std::isnormal(raw))
        return ends;

    // The smallest nice step whose ticks fit, trying from a decade below the
    // raw step up: rounding can put one tick too many at a step just above it.
    const int decade = static_cast<int>(std::floor(std::log10(raw))) - 1;
    for (int k = decade; k <= decade + 3; ++k) {
        const double base = std::pow(10.0, k);
        for (const double m : {1.0, 2.0, 5.0}) {
            const double step = m * base;
            if (!std::isfinite(step) || !(step > 0.0))
                return ends;
            const double first = std::ceil(lo / step - tick_slack);
            const double last = std::floor(hi / step + tick_slack);
            if (std::fabs(first) > max_tick_index || std::fabs(last) > max_tick_index)
                return ends;
            if (last - first + 1.0 > max_ticks)
                continue;
            if (last < first)
                return ends;
            plot_ticks_t ticks{step, {}};
            for (double i = first; i <= last; ++i) {
                double v = std::clamp(i * step, lo, hi);
                if (std::fabs(v) < step * tick_slack)
                    v = 0.0;
                ticks.values.push_back(v);
            }
            return ticks;
        }
    }
    return ends;
}

std::string plot_tick_label(double value, double step)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    const bool stepped = std::isfinite(step) && step > 0.0;
    if (value == 0.0 || (stepped && std::fabs(value) < step * tick_slack))
        return "0";
    const double magnitude = std::max(std::fabs(value), stepped ? step : 0.0);
    if (stepped && step >= 1e-5 && magnitude < 1e9) {
        const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - tick_slack));
        return format_number(value, std::chars_format::fixed, std::clamp(decimals, 0, 10));
    }
    int digits = 6;
    if (stepped)
        digits = std::clamp(static_cast<int>(std::ceil(std::log10(magnitude / step))) + 1, 1, 17);
    return format_number(value, std::chars_format::general, digits);
}

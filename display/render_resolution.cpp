#include "render_resolution.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string_view>

#include <wx/log.h>

namespace {

constexpr long power_unknown = 49999;
constexpr std::size_t cpuinfo_bytes = 8192;

struct file_closer_t {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

int render_divisor(const std::vector<reslice_load_t>& planes, double xscale, bool first_rendering_flag)
{
    double load = first_rendering_flag ? 0.0 : 1.0;
    const bool scale_ok = std::isfinite(xscale) && xscale > 0.0;
    for (const reslice_load_t& p : planes) {
        if (!p.active)
            continue;
        // Without a usable pixel size a slab is counted as one plane.
        const double slab = scale_ok ? 2.0 * p.half_thickness / xscale + 1.0 : 1.0;
        load += static_cast<double>(p.width) * static_cast<double>(p.height) * slab / 250000.0;
    }
    // Clamp while still floating point: huge, negative or NaN loads must not reach the conversion.
    double d = std::cbrt(load);
    if (!(d >= 1.0))
        d = 1.0;
    d = std::min(d, static_cast<double>(max_render_divisor));
    return static_cast<int>(d);
}

long cpu_power_from_text(const char* text, std::size_t length)
{
    if (!text)
        return power_unknown;
    const std::string_view all(text, length);
    const std::size_t match = all.find("bogomips");
    if (match == std::string_view::npos || length - match <= 10)
        return power_unknown;
    std::size_t p = match + 10;
    while (p < length && (all[p] == ' ' || all[p] == '\t'))
        ++p;
    double value = 0.0;
    const auto [end, error] = std::from_chars(text + p, text + length, value);
    if (error != std::errc() || end == text + p || !std::isfinite(value))
        return power_unknown;
    if (value < 1000.0)
        return 10000;
    if (value < 1300.0)
        return 29999;
    return power_unknown;
}

long guess_cpu_power(const wxString& cpuinfo_path)
{
    const std::unique_ptr<std::FILE, file_closer_t> file(std::fopen(cpuinfo_path.fn_str(), "rb"));
    if (!file) {
        wxLogDebug("guess_cpu_power: cannot read %s.", cpuinfo_path);
        return power_unknown;
    }
    std::array<char, cpuinfo_bytes> buffer{};
    const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file.get());
    return cpu_power_from_text(buffer.data(), n);
}

long guess_cpu_power()
{
    static const long power = guess_cpu_power("/proc/cpuinfo");
    return power;
}

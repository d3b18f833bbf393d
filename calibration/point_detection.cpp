#include "point_detection.h"

#include <cmath>
#include <numbers>

namespace {

// Row y of the frame read at fractional column c, linearly between
// neighbours; 0 beyond the frame.
double row_at(const std::uint8_t* px, long w, long y, double c)
{
    const double f = std::floor(c);
    const long c0 = long(f);
    const double frac = c - f;
    const auto at = [&](long x) { return x >= 0 && x < w ? double(px[y * w + x]) : 0.0; };
    return (1.0 - frac) * at(c0) + frac * at(c0 + 1);
}

}  // namespace

std::optional<stylus_tip_t> detect_stylus_tip(const cip_t& frame, const std::vector<std::pair<long, long>>& rows_in_region)
{
    const long w = frame.width(), h = frame.height();
    const std::uint8_t* px = frame.pixels();
    const long r = w / 20, half = r / 2;
    if (!px || w < 40 || h < 1 || half < 1)
        return std::nullopt;
    // 1. The brightest pixel in the region, columns in order (the first of equals).
    long xb = -1, yb = -1;
    int brightest = -1;
    for (long x = 0; x < w; ++x) {
        long first = 0, last = h - 1;
        if (!rows_in_region.empty()) {
            if (std::size_t(x) >= rows_in_region.size())
                break;
            first = std::max(0L, rows_in_region[std::size_t(x)].first);
            last = std::min(h - 1, rows_in_region[std::size_t(x)].second);
        }
        for (long y = first; y <= last; ++y)
            if (px[y * w + x] > brightest) {
                brightest = px[y * w + x];
                xb = x;
                yb = y;
            }
    }
    if (xb < 0)
        return std::nullopt;

    // 2. The streak's angle and centre: the sheared column profile most
    //    mirror-symmetric about its centre.
    const long ymin = std::max(0L, yb - r), ymax = std::min(h - 1, yb + 3 * r);
    std::vector<double> profile(std::size_t(4 * r + 1));
    double best_score = -1.0, best_t = 0.0;
    int best_angle = 0;
    long xc = xb;
    for (int a = -45; a <= 45; ++a) {
        const double t = std::tan(a * std::numbers::pi / 180.0);
        std::fill(profile.begin(), profile.end(), 0.0);
        for (long y = ymin; y <= ymax; ++y) {
            const double s = double(y - yb) * t;
            for (long j = 0; j <= 4 * r; ++j)
                profile[std::size_t(j)] += row_at(px, w, y, double(xb - 2 * r + j) - s);
        }
        for (long c = xb - r; c <= xb + r; ++c) {
            const long centre = c - (xb - 2 * r);
            double score = 0.0;
            for (long k = 1; k <= r; ++k)
                score += profile[std::size_t(centre - k)] * profile[std::size_t(centre + k)];
            if (score > best_score) {
                best_score = score;
                best_angle = a;
                best_t = t;
                xc = c;
            }
        }
    }

    // 3. The tip: the brightest row along the streak near the brightest pixel,
    //    rows nearer the top and pixels nearer the line weighing a little more.
    const long row_span = std::max(1L, ymax - ymin);
    long yt = std::max(0L, yb - r);
    double best_row = -1.0;
    for (long y = std::max(0L, yb - r), n = 0; y <= std::min(h - 1, yb + r); ++y, ++n) {
        const double line = double(xc) - double(y - yb) * best_t;
        double sum = 0.0;
        for (long d = -half; d <= half; ++d)
            sum += row_at(px, w, y, line + double(d)) * (10.0 - double(std::labs(d)) / double(half)) *
                   (10.0 - double(n) / double(row_span));
        if (sum > best_row) {
            best_row = sum;
            yt = y;
        }
    }
    stylus_tip_t out;
    out.tip = {double(xc - long(std::trunc(double(yt - yb) * best_t + 0.5))), double(yt)};
    out.angle = best_angle;
    out.line_from = {double(xc) - double(ymin - yb) * best_t, double(ymin)};
    out.line_to = {double(xc) - double(ymax - yb) * best_t, double(ymax)};
    return out;
}

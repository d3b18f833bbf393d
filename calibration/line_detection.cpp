#include "line_detection.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

#include <wx/log.h>

namespace {

constexpr float mark = 255.0f;  // filter output outside the region
constexpr long max_size = 1 << 15;
constexpr long max_stripes = 4096;
constexpr double max_sigma = 200.0;

}  // namespace

bool line_detection_settings_t::valid(wxString* why) const
{
    if (!(sigma > 0.0 && sigma <= max_sigma))
        *why = wxString::Format("The edge kernel's sigma %g must lie above 0 and at most %g pixels.", sigma, max_sigma);
    else if (stripes < 2 || stripes > max_stripes)
        *why = wxString::Format("The number of stripes %ld must lie between 2 and %ld.", stripes, max_stripes);
    else if (!std::isfinite(min_gradient))
        *why = "The minimum gradient must be a number.";
    else if (pixel_threshold < 1 || pixel_threshold > max_size)
        *why = wxString::Format("The inlier distance %ld must be at least 1 pixel.", pixel_threshold);
    else if (!(accept_ratio >= 0.0 && accept_ratio <= 1.0))
        *why = wxString::Format("The acceptance ratio %g must lie between 0 and 1.", accept_ratio);
    else
        return true;
    return false;
}

line_detector_t::line_detector_t(long width, long height, const line_detection_settings_t& settings)
    : width_(width), height_(height), settings_(settings)
{
    wxString why;
    if (!settings.valid(&why)) {
        wxLogWarning("Line detection is off: %s", why);
        return;
    }
    if (width < 1 || height < 1 || width > max_size || height > max_size)
        return;
    // The derivative of a Gaussian, sampled as differences across each pixel.
    half_ = int(3.7 * settings.sigma);
    const auto g = [&](double t) { return std::exp(-t * t / (2.0 * settings.sigma * settings.sigma)); };
    try {
        kernel_.resize(std::size_t(2 * half_ + 1));
        for (int i = 0; i <= 2 * half_; ++i)
            kernel_[std::size_t(i)] =
                float((g(i + 0.5 - half_) - g(i - 0.5 - half_)) / (settings.sigma * std::sqrt(2.0 * std::numbers::pi)));
        if (settings.invert)
            std::reverse(kernel_.begin(), kernel_.end());
        span_lo_.assign(std::size_t(width), -1);
        span_hi_.assign(std::size_t(width), -1);
    } catch (const std::bad_alloc&) {
        wxLogWarning("Line detection is off: not enough memory for its buffers.");
        return;
    }
    usable_ = true;
    default_region();
}

void line_detector_t::default_region()
{
    // The whole image, set directly: as a polygon a one-pixel-wide image has
    // only vertical edges, which cover nothing.
    if (!usable_)
        return;
    std::fill(span_lo_.begin(), span_lo_.end(), 0);
    std::fill(span_hi_.begin(), span_hi_.end(), height_ - 1);
    recompute_stripes();
}

bool line_detector_t::set_region(const std::vector<std::pair<long, long>>& vertices)
{
    if (!usable_ || vertices.size() < 3 || vertices.size() > 20)
        return false;
    std::fill(span_lo_.begin(), span_lo_.end(), -1);
    std::fill(span_hi_.begin(), span_hi_.end(), -1);
    const auto clamped = [&](const std::pair<long, long>& v) {
        return std::pair<long, long>{std::clamp(v.first, 0L, width_ - 1), std::clamp(v.second, 0L, height_ - 1)};
    };
    for (std::size_t k = 0; k < vertices.size(); ++k) {
        const auto [xa, ya] = clamped(vertices[k]);
        const auto [xb, yb] = clamped(vertices[(k + 1) % vertices.size()]);
        if (xa == xb)
            continue;  // vertical edges add nothing a neighbouring edge does not
        for (long x = std::min(xa, xb); x <= std::max(xa, xb); ++x) {
            const long y = ya + (yb - ya) * (x - xa) / (xb - xa);
            long& lo = span_lo_[std::size_t(x)];
            long& hi = span_hi_[std::size_t(x)];
            lo = lo < 0 ? y : std::min(lo, y);
            hi = hi < 0 ? y : std::max(hi, y);
        }
    }
    recompute_stripes();
    return true;
}

std::vector<std::pair<long, long>> line_detector_t::region_rows() const
{
    std::vector<std::pair<long, long>> rows(span_lo_.size(), {1, 0});
    for (std::size_t x = 0; x < rows.size(); ++x)
        if (span_lo_[x] >= 0)
            rows[x] = {height_ - 1 - span_hi_[x], height_ - 1 - span_lo_[x]};
    return rows;
}

void line_detector_t::recompute_stripes()
{
    const auto valid = [&](long x) { return span_lo_[std::size_t(x)] >= 0; };
    long first = 0;
    while (first < width_ && !valid(first))
        ++first;
    if (first == width_) {
        default_region();  // every column covered: this returns here once
        return;
    }
    long uncovered = 0;
    while (uncovered < width_ && !valid(width_ - 1 - uncovered))
        ++uncovered;
    first_column_ = first;
    uncovered_right_ = uncovered;
    const long covered = width_ - uncovered - first;
    const long spacing = covered / settings_.stripes + 1;
    stripe_columns_.clear();
    for (long s = 0; s < settings_.stripes && first + s * spacing < width_ - uncovered; ++s)
        stripe_columns_.push_back(first + s * spacing);
}

detected_line_t line_detector_t::detect(const cip_t& frame) const
{
    detected_line_t out;
    out.message = "Invalid best fit line";
    if (!usable_ || frame.width() != width_ || frame.height() != height_ || !frame.pixels())
        return out;
    const long w = width_, h = height_;
    const std::uint8_t* px = frame.pixels();
    const int k2 = 2 * half_;
    std::vector<float> f(std::size_t(h), mark);
    out.stripe_columns = stripe_columns_;
    out.stripe_rows.assign(stripe_columns_.size(), -100);
    for (std::size_t s = 0; s < stripe_columns_.size(); ++s) {
        const long x = stripe_columns_[s];
        const long lo = span_lo_[std::size_t(x)], hi = span_hi_[std::size_t(x)];
        std::fill(f.begin(), f.end(), mark);
        for (long i = std::max<long>(half_, h - hi); i < h - half_ && i <= h - lo; ++i) {
            double sum = 0.0;
            for (int k = 0; k <= k2; ++k)
                sum += kernel_[std::size_t(k2 - k)] * px[(i - half_ + k) * w + x];
            f[std::size_t(i)] = float(sum);
        }
        // The first peak above the minimum gradient, else the strongest peak.
        long edge = -1, strongest = -1;
        const auto consider = [&](long i, long before, long after) {
            if (f[std::size_t(i)] == mark || f[std::size_t(before)] == mark || f[std::size_t(after)] == mark)
                return false;
            if (!(f[std::size_t(i)] > f[std::size_t(before)] && f[std::size_t(i)] >= f[std::size_t(after)]))
                return false;
            if (strongest < 0 || f[std::size_t(i)] > f[std::size_t(strongest)])
                strongest = i;
            return f[std::size_t(i)] > settings_.min_gradient;
        };
        if (!settings_.invert) {
            for (long i = 1; i + 1 < h && edge < 0; ++i)
                if (consider(i, i - 1, i + 1))
                    edge = i;
        } else {
            for (long i = h - 2; i >= 1 && edge < 0; --i)
                if (consider(i, i + 1, i - 1))
                    edge = i;
        }
        if (edge < 0)
            edge = strongest;
        if (edge >= 0)
            out.stripe_rows[s] = h - 1 - edge;
    }

    // The pair of points whose line most points lie close to, then the fit to those.
    const std::size_t n = stripe_columns_.size();
    const double tolerance = double(settings_.pixel_threshold);
    std::vector<std::size_t> best;
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            if (out.stripe_rows[i] < 0 || out.stripe_rows[j] < 0)
                continue;
            const double a =
                double(out.stripe_rows[j] - out.stripe_rows[i]) / double(out.stripe_columns[j] - out.stripe_columns[i]);
            const double b = out.stripe_rows[i] - a * out.stripe_columns[i];
            std::vector<std::size_t> inliers;
            for (std::size_t k = 0; k < n; ++k)
                if (out.stripe_rows[k] >= 0 &&
                    std::fabs(a * out.stripe_columns[k] + b - out.stripe_rows[k]) < tolerance)
                    inliers.push_back(k);
            if (inliers.size() > best.size())
                best = std::move(inliers);
        }
    // Integer sums in 64 bits: wide frames overflow 32.
    std::int64_t sx = 0, sr = 0, sxx = 0, sxr = 0;
    const std::int64_t count = std::int64_t(best.size());
    for (std::size_t k : best) {
        sx += out.stripe_columns[k];
        sr += out.stripe_rows[k];
        sxx += std::int64_t(out.stripe_columns[k]) * out.stripe_columns[k];
        sxr += std::int64_t(out.stripe_columns[k]) * out.stripe_rows[k];
    }
    if (count == 0 || count * sxx == sx * sx)
        return out;
    const double a = (double(sxr) - double(sx) * double(sr) / double(count)) /
                     (double(sxx) - double(sx) * double(sx) / double(count));
    const double b = (double(sr) - a * double(sx)) / double(count);
    if (!std::isfinite(a) || !std::isfinite(b))
        return out;
    out.found = true;
    out.x1 = first_column_;
    out.x2 = w - uncovered_right_;
    out.y1 = h - 1 - long(std::trunc(std::clamp(a * double(out.x1) + b, -1e9, 1e9)));
    out.y2 = h - 1 - long(std::trunc(std::clamp(a * double(out.x2) + b, -1e9, 1e9)));
    for (std::size_t k = 0; k < n; ++k) {
        if (out.stripe_rows[k] < 0)
            continue;
        const long x = out.stripe_columns[k];
        const double on_line = std::floor(a * double(x) + b);
        if (on_line >= span_lo_[std::size_t(x)] - tolerance && on_line <= span_hi_[std::size_t(x)] + tolerance)
            ++out.eligible;
    }
    out.inliers = int(count);
    out.accepted = out.eligible > 0 && double(out.inliers) >= settings_.accept_ratio * double(out.eligible);
    out.message =
        wxString::Format("Consensus %d/%d: %s", out.inliers, out.eligible, out.accepted ? "accept" : "reject");
    return out;
}

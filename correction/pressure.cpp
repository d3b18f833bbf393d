// Probe pressure: the axial compression of each frame relative to the least
// compressed frame of the sweep, and the resampling that removes it.
//
// Model: the probe face moves with the skin, so the shallow rows move with
// the probe while deeper tissue is pushed up in the image by up to the
// compression. Each frame's row profile (row_shift, from correlate) is
// chained to express every row as a row of the reference frame; row 10 gives
// the frame's rigid axial offset, and what is left is the compression profile
// e(y) (0 near the face, its value at depth the frame's axial_shift). squash
// then shows at row Y what the frame showed at the row y with y + e(y) = Y,
// and optimise lifts the frame by axial_shift rows.
#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "correction/correction_internal.h"
#include "correction/image_correlation.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

constexpr double shallow_row = 10.0;

// The mean of the deepest tenth of the rows.
double deep_mean(const std::vector<double>& rows)
{
    const std::size_t n = std::max<std::size_t>(1, rows.size() / 10);
    double s = 0.0;
    for (std::size_t i = rows.size() - n; i < rows.size(); ++i)
        s += rows[i];
    return s / static_cast<double>(n);
}

// For each output row Y the input row y (fractional) with y + e(y) = Y,
// the mapping forced to increase.
std::vector<double> source_rows(const std::vector<float>& e, long h)
{
    std::vector<double> f(static_cast<std::size_t>(h));
    for (long y = 0; y < h; ++y) {
        const double v = y + static_cast<double>(e[static_cast<std::size_t>(y)]);
        f[static_cast<std::size_t>(y)] = y > 0 ? std::max(v, f[static_cast<std::size_t>(y - 1)] + 1e-6) : v;
    }
    std::vector<double> src(static_cast<std::size_t>(h));
    long y = 0;
    for (long out = 0; out < h; ++out) {
        while (y + 1 < h && f[static_cast<std::size_t>(y + 1)] < out)
            ++y;
        double s = 0.0;
        if (out <= f[0])
            s = 0.0;
        else if (y + 1 >= h)
            s = static_cast<double>(h - 1);
        else {
            const double f0 = f[static_cast<std::size_t>(y)], f1 = f[static_cast<std::size_t>(y + 1)];
            s = y + (out - f0) / (f1 - f0);
        }
        src[static_cast<std::size_t>(out)] = std::clamp(s, 0.0, static_cast<double>(h - 1));
    }
    return src;
}

// Value between two samples; with masking a "no data" neighbour is not blended in.
template <typename T>
T blend(T a, T b, double f, bool keep_zero)
{
    if (keep_zero && (a == 0 || b == 0))
        return f < 0.5 ? a : b;
    return static_cast<T>(std::lround(a + f * (static_cast<double>(b) - a)));
}

}  // namespace

double interpolate_at(const std::vector<double>& xs, const std::vector<double>& ys, double x)
{
    if (xs.empty())
        return 0.0;
    if (x <= xs.front())
        return ys.front();
    if (x >= xs.back())
        return ys.back();
    const std::size_t k = static_cast<std::size_t>(std::upper_bound(xs.begin(), xs.end(), x) - xs.begin());
    const double x0 = xs[k - 1], x1 = xs[k];
    return x1 > x0 ? ys[k - 1] + (ys[k] - ys[k - 1]) * (x - x0) / (x1 - x0) : ys[k];
}

double value_at_row(const std::vector<double>& values, double y)
{
    if (values.empty())
        return 0.0;
    const double last = static_cast<double>(values.size() - 1);
    y = std::clamp(y, 0.0, last);
    const std::size_t i = static_cast<std::size_t>(y);
    if (static_cast<double>(i) >= last)
        return values.back();
    const double f = y - static_cast<double>(i);
    return values[i] + f * (values[i + 1] - values[i]);
}

void image_correlation::adjust_pressure(double* max_b)
{
    const long h = list_[0].image.height();
    const std::size_t n = list_.size();
    // Every frame's rows as rows of the first frame, to find the least compressed.
    std::vector<double> rows(static_cast<std::size_t>(h));
    for (long y = 0; y < h; ++y)
        rows[static_cast<std::size_t>(y)] = static_cast<double>(y);
    std::vector<double> measure(n, 0.0);
    std::vector<double> current = rows, next(rows.size());
    for (std::size_t k = 1; k < n; ++k) {
        for (long y = 0; y < h; ++y)
            next[static_cast<std::size_t>(y)] =
                value_at_row(current, y + list_[k].row_shift[static_cast<std::size_t>(y)]);
        current.swap(next);
        std::vector<double> moved(rows.size());
        for (std::size_t y = 0; y < rows.size(); ++y)
            moved[y] = rows[y] - current[y];  // how far the content moved since the first frame
        measure[k] = deep_mean(moved) - value_at_row(moved, shallow_row);
    }
    const long reference = static_cast<long>(std::max_element(measure.begin(), measure.end()) - measure.begin());
    interpolate_pressure(reference);
    double largest = 0.0;
    for (const corr_t& r : list_)
        largest = std::max(largest, std::abs(static_cast<double>(r.axial_shift)));
    *max_b = 10.0 * largest * sy_;
}

// Walks out from the reference frame both ways, re-expressing each frame's
// rows as rows of the reference, then splits off the rigid offset.
void image_correlation::interpolate_pressure(long reference)
{
    const long h = list_[0].image.height();
    const std::size_t n = list_.size(), ref = static_cast<std::size_t>(reference);
    std::vector<std::vector<double>> in_ref(n, std::vector<double>(static_cast<std::size_t>(h)));
    for (long y = 0; y < h; ++y)
        in_ref[ref][static_cast<std::size_t>(y)] = static_cast<double>(y);
    for (std::size_t k = ref + 1; k < n; ++k)
        for (long y = 0; y < h; ++y)
            in_ref[k][static_cast<std::size_t>(y)] =
                value_at_row(in_ref[k - 1], y + list_[k].row_shift[static_cast<std::size_t>(y)]);
    for (std::size_t k = ref; k-- > 0;)
        for (long y = 0; y < h; ++y)  // the step's inverse, to first order
            in_ref[k][static_cast<std::size_t>(y)] =
                value_at_row(in_ref[k + 1], y - list_[k + 1].row_shift[static_cast<std::size_t>(y)]);
    for (std::size_t k = 0; k < n; ++k) {
        const double rigid = value_at_row(in_ref[k], shallow_row) - shallow_row;
        std::vector<double> e(static_cast<std::size_t>(h));
        for (long y = 0; y < h; ++y)
            e[static_cast<std::size_t>(y)] = in_ref[k][static_cast<std::size_t>(y)] - y - rigid;
        for (long y = 0; y < h; ++y)
            list_[k].row_shift[static_cast<std::size_t>(y)] = static_cast<float>(e[static_cast<std::size_t>(y)]);
        list_[k].axial_shift = static_cast<float>(deep_mean(e));
    }
}

cip_t image_correlation::squash(const corr_t& r, const cip_t& image) const
{
    const long w = image.width(), h = image.height();
    if (image.empty() || static_cast<long>(r.row_shift.size()) != h)
        return {};
    const std::vector<double> src = source_rows(r.row_shift, h);
    const bool rf = image.has_samples() && res->RES_BUF_RF->value();
    cip_t out = image.has_samples() ? cip_t::make_16bit(w, h) : cip_t::make_8bit(w, h);
    if (out.empty())
        return out;
    for (long y = 0; y < h; ++y) {
        const double s = src[static_cast<std::size_t>(y)];
        const long y0 = static_cast<long>(s), y1 = std::min(y0 + 1, h - 1);
        const double f = s - static_cast<double>(y0);
        for (long x = 0; x < w; ++x)
            out.pixels()[y * w + x] = blend(image.pixels()[y0 * w + x], image.pixels()[y1 * w + x], f, masked_);
        if (!image.has_samples())
            continue;
        // The frame's own samples by the same rows: RF vectors run down the
        // image one after another, other 16-bit frames row by row.
        if (rf) {
            const std::int16_t* in = image.signed_samples();
            std::int16_t* o = out.signed_samples();
            for (long v = 0; v < w; ++v)
                o[v * h + y] = blend<std::int16_t>(in[v * h + y0], in[v * h + y1], f, false);
        } else {
            for (long x = 0; x < w; ++x)
                out.samples()[y * w + x] = blend(image.samples()[y0 * w + x], image.samples()[y1 * w + x], f, false);
        }
    }
    if (rf && recording_io)
        recording_io->rf_display(out, static_cast<long>(r.frame));
    return out;
}

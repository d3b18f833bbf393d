#include "image_correlation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "common/interaction.h"
#include "correction/correction_internal.h"
#include "resources/probe_calibration.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

constexpr double no_peak = std::numeric_limits<double>::quiet_NaN();

// Mean of -((a - b)^2 + 1) over the pixel pairs of one shift; 0 without pairs
// (all masked), which find_peak_value reads as no result. Sums are 64-bit:
// a 640 x 480 band of 255-level differences overflows 32 bits.
template <typename Pairs>
double score(Pairs&& for_each_row, bool masked)
{
    std::uint64_t sum = 0, count = 0;
    for_each_row([&](const std::uint8_t* a, const std::uint8_t* b, long n) {
        std::uint64_t s = 0;
        if (masked) {
            std::uint64_t c = 0;
            for (long x = 0; x < n; ++x) {
                const bool use = a[x] != 0 && b[x] != 0;
                const int d = static_cast<int>(a[x]) - static_cast<int>(b[x]);
                s += use ? static_cast<std::uint64_t>(d * d) : 0u;
                c += use;
            }
            count += c;
        } else {
            for (long x = 0; x < n; ++x) {
                const int d = static_cast<int>(a[x]) - static_cast<int>(b[x]);
                s += static_cast<std::uint32_t>(d * d);
            }
            count += static_cast<std::uint64_t>(n);
        }
        sum += s;
    });
    if (count == 0)
        return 0.0;
    return -(static_cast<double>(sum) / static_cast<double>(count) + 1.0);
}

// Outwards from 0, first up then down; each direction stops at the first
// score below its inner neighbour. The rest stay no_score.
template <typename Score>
void search_outwards(int reach, double* scores, Score&& at)
{
    const int n = 2 * reach + 1;
    std::fill(scores, scores + n, no_score);
    scores[reach] = at(0);
    for (int s = 1; s <= reach; ++s) {
        scores[reach + s] = at(s);
        if (scores[reach + s] < scores[reach + s - 1])
            break;
    }
    for (int s = 1; s <= reach; ++s) {
        scores[reach - s] = at(-s);
        if (scores[reach - s] < scores[reach - s + 1])
            break;
    }
}

matrix16d translation(double x, double y, double z)
{
    matrix16d m;
    m.forward(x, y, z);
    return m;
}

matrix16d rotation_z(double radians)
{
    matrix16d m;
    m.forward(0.0, 0.0, 0.0, radians * 180.0 / std::numbers::pi, 0.0, 0.0);
    return m;
}

matrix16d inverse_of(matrix16d m)
{
    m.invert();
    return m;
}

bool finite(const matrix16d& m)
{
    return std::all_of(std::begin(m.m), std::end(m.m), [](double v) { return std::isfinite(v); });
}

// Least-squares cubic through (xs, ys) evaluated at xs; the values
// themselves when there are too few points or the fit is singular.
std::vector<double> smooth_profile(const std::vector<double>& xs, const std::vector<double>& ys)
{
    const std::size_t n = xs.size();
    if (n < 6)
        return ys;
    const double lo = xs.front(), hi = xs.back();
    if (!(hi > lo))
        return ys;
    double a[4][5] = {};
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * (xs[i] - lo) / (hi - lo) - 1.0;
        const double p[4] = {1.0, t, t * t, t * t * t};
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 4; ++c)
                a[r][c] += p[r] * p[c];
            a[r][4] += p[r] * ys[i];
        }
    }
    for (int c = 0; c < 4; ++c) {  // Gauss-Jordan with partial pivoting
        int pivot = c;
        for (int r = c + 1; r < 4; ++r)
            if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                pivot = r;
        if (std::abs(a[pivot][c]) < 1e-12)
            return ys;
        std::swap(a[c], a[pivot]);
        for (int r = 0; r < 4; ++r)
            if (r != c) {
                const double f = a[r][c] / a[c][c];
                for (int k = c; k < 5; ++k)
                    a[r][k] -= f * a[c][k];
            }
    }
    std::vector<double> out(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = 2.0 * (xs[i] - lo) / (hi - lo) - 1.0;
        out[i] = a[0][4] / a[0][0] + t * (a[1][4] / a[1][1] + t * (a[2][4] / a[2][2] + t * a[3][4] / a[3][3]));
    }
    return out;
}

}  // namespace

double find_peak_value(const double* values, int n, double* peak_height)
{
    if (peak_height)
        *peak_height = 0.0;
    if (n < 1)
        return 0.0;
    double mean = 0.0;
    int i = 0;
    for (int k = 0; k < n; ++k) {
        if (values[k] == 0.0)
            return 0.0;
        mean += values[k];
        if (values[k] > values[i])
            i = k;
    }
    mean /= n;
    const double m = values[i];
    if (peak_height)
        *peak_height = m - mean;
    if (i == 0 || i == n - 1)
        return 0.0;
    const double left = values[i - 1], right = values[i + 1];
    if (left == right)
        return i;
    double position = 0.0;
    if (left > right) {
        position = (i - 1) + 0.5 * ((m - left) / (m - right) + 1.0);
        if (peak_height)
            *peak_height = m + (i - position) * (m - left) - mean;
    } else {
        position = (i + 1) - 0.5 * ((m - right) / (m - left) + 1.0);
        if (peak_height)
            *peak_height = m + (position - i) * (m - right) - mean;
    }
    return position;
}

double correlation_peak(const double* values, int n)
{
    if (n % 2 == 1 && values[n / 2] == -1.0)
        return n / 2;
    return find_peak_value(values, n);
}

bool fit_robust_line(std::span<const double> peaks, robust_line_t* out)
{
    const int n = static_cast<int>(peaks.size());
    int best = 0;
    double best_worst = 0.0;
    std::vector<char> winner, members(peaks.size());
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            if (std::isnan(peaks[i]) || std::isnan(peaks[j]))
                continue;
            const double b = (peaks[j] - peaks[i]) / (j - i), a = peaks[i] - b * i;
            int count = 0;
            double worst = 0.0;
            for (int k = 0; k < n; ++k) {
                const double r = std::isnan(peaks[k]) ? 1e300 : std::abs(peaks[k] - (a + b * k));
                members[k] = r <= 0.5;
                if (members[k]) {
                    ++count;
                    worst = std::max(worst, r);
                }
            }
            if (count > best || (count == best && worst < best_worst)) {
                best = count;
                best_worst = worst;
                winner = members;
            }
        }
    if (best < 2)
        return false;
    // Least squares through the winner's inliers.
    double s = 0, sk = 0, skk = 0, sp = 0, skp = 0;
    for (int k = 0; k < n; ++k)
        if (winner[k]) {
            s += 1;
            sk += k;
            skk += double(k) * k;
            sp += peaks[k];
            skp += k * peaks[k];
        }
    const double det = s * skk - sk * sk;
    if (det == 0.0)
        return false;
    out->b = (s * skp - sk * sp) / det;
    out->a = (sp - out->b * sk) / s;
    out->inliers = best;
    return true;
}

void lateral_scores(const std::uint8_t* ref, const std::uint8_t* cur, long width, long row0, long row1, bool masked,
                    double* scores)
{
    const long n = width - 2 * correlation_reach - 1;  // x from 0 to W - 52
    search_outwards(correlation_reach, scores, [&](int s) {
        return score(
            [&](auto&& pairs) {
                for (long y = row0; y < row1; ++y)
                    pairs(ref + y * width + correlation_reach, cur + y * width + correlation_reach + s, n);
            },
            masked);
    });
}

void axial_scores(const std::uint8_t* ref, const std::uint8_t* cur, long width, long col0, long col1, long row0,
                  long row1, bool masked, double* scores, int reach)
{
    search_outwards(reach, scores, [&](int s) {
        return score(
            [&](auto&& pairs) {
                for (long y = row0; y < row1; ++y)
                    pairs(ref + y * width + col0, cur + (y + s) * width + col0, col1 - col0);
            },
            masked);
    });
}

void axial_scores(const std::uint8_t* ref, const std::uint8_t* cur, long width, long col0, long col1, long row0,
                  long row1, bool masked, double* scores)
{
    axial_scores(ref, cur, width, col0, col1, row0, row1, masked, scores, correlation_reach);
}

image_correlation::image_correlation(bool progress, bool pressure, long frames)
    : pressure_(pressure), progress_(progress), frames_hint_(frames)
{
    const long height = static_cast<long>(res->RES_BUF_HEIGHT->value());
    const long width = static_cast<long>(res->RES_BUF_WIDTH->value());
    valid_ = res->RES_POS_REC->value() && height >= correlation_min_height && width >= correlation_min_width;
    if (!res->RES_POS_REC->value())
        wxLogWarning("The recording has no positions to correct.");
    else if (!valid_)
        wxLogWarning("Frames of %ld x %ld pixels are too small for image-based correction (at least %ld x %ld).", width,
                     height, correlation_min_width, correlation_min_height);
    masked_ = res->RES_MASKED_DATA->value() != 0;
    sx_ = res->RES_XSCALE->value();
    sy_ = res->RES_YSCALE->value();
    cal_ = probe_calibration_matrix();
    cal_inverse_ = inverse_of(cal_);
    if (!(sx_ > 0.0 && sy_ > 0.0 && finite(cal_)))
        valid_ = false;
    if (progress_)
        interaction().progress_begin(pressure ? "Correcting positions and probe pressure from image data"
                                              : "Correcting positions from image data",
                                     wxString::Format("Currently correcting frame %li of %li.", 0L, frames),
                                     static_cast<int>(std::max(1L, frames)));
}

image_correlation::~image_correlation()
{
    end_progress();
}

void image_correlation::end_progress()
{
    if (progress_)
        interaction().progress_end();
    progress_ = false;
}

bool image_correlation::add(long frame)
{
    if (!valid_)
        return false;
    const counted_array_ptr<float> pose = bufp->positioncp(frame);
    const cip_t held = bufp->imagecp(frame);
    if (!pose || pose.size() < 6 || held.empty() || !held.pixels()) {
        wxLogDebug("Frame %li has no position or image: the correction stops.", frame);
        invalidate();
        end_progress();
        return false;
    }
    // The correlation loops need 51 shifts of room; smaller frames (whatever
    // the header says) cannot be corrected.
    if (held.width() < correlation_min_width || held.height() < correlation_min_height ||
        (!list_.empty() && (held.width() != list_[0].image.width() || held.height() != list_[0].image.height()))) {
        wxLogWarning("Frame %li is too small, or not the size of the others, for image-based correction.", frame);
        invalidate();
        end_progress();
        return false;
    }
    if (progress_ &&
        !interaction().progress_update(static_cast<int>(std::min<long>(list_.size() + 1, std::max(1L, frames_hint_))),
                                       wxString::Format("Currently correcting frame %li of %li.",
                                                        static_cast<long>(list_.size() + 1), frames_hint_))) {
        invalidate();
        end_progress();
        return false;
    }
    corr_t r;
    r.frame = frame;
    r.image = held;
    r.source = held;
    matrix16d p;
    p.forward(pose.get());
    r.recorded = p * cal_;
    r.corrected = r.recorded;
    if (pressure_)
        r.row_shift.assign(static_cast<std::size_t>(held.height()), 0.0f);
    if (!finite(r.recorded)) {
        invalidate();
        end_progress();
        return false;
    }
    list_.push_back(std::move(r));
    optimised_ = false;
    if (list_.size() >= 2)
        return correlate(list_[list_.size() - 2], list_.back());
    return true;
}

bool image_correlation::correlate(corr_t& prev, corr_t& cur)
{
    const long w = cur.image.width(), h = cur.image.height();
    const std::uint8_t* ref = prev.image.pixels();
    const std::uint8_t* img = cur.image.pixels();
    const long band = h / correlation_bands;

    // Rotation and shifts the recorded poses give (current image plane into the previous one).
    const matrix16d rel = inverse_of(prev.recorded) * cur.recorded;
    const double rec_angle = 0.5 * (std::atan2(rel[1], rel[0]) + std::atan2(-rel[4], rel[5]));
    const vertex3d pivot{0.5 * (w - 1) * sx_, (10.5 * band - 0.5) * sy_, 0.0};
    const vertex3d moved = rel * pivot;
    const double rec_dx = moved.x - pivot.x, rec_dy = moved.y - pivot.y;

    // 2-5: lateral shift and rotation from the band peaks.
    std::vector<double> peaks(correlation_bands, no_peak);
    double scores[correlation_shifts];
    for (int k = 0; k < correlation_bands; ++k) {
        lateral_scores(ref, img, w, k * band, (k + 1) * band, masked_, scores);
        const double p = correlation_peak(scores, correlation_shifts);
        if (p != 0.0)
            peaks[static_cast<std::size_t>(k)] = p;
    }
    robust_line_t line;
    double angle = rec_angle, dx = rec_dx, dy = rec_dy;
    const bool line_ok = fit_robust_line(peaks, &line);
    if (line_ok) {
        const double s = (line.a + 10.0 * line.b) - correlation_reach;
        // The content turns by phi where the lateral shift changes with depth.
        angle = std::atan2(line.b * sx_, band * sy_);
        dx = -s * sx_;
    } else {
        wxLogDebug("Bad x- and roll-correlation for frame %li to %li.", static_cast<long>(prev.frame),
                   static_cast<long>(cur.frame));
    }
    // 6: axial shift over the whole width.
    axial_scores(ref, img, w, 0, w, correlation_reach, h - correlation_reach - 1, masked_, scores);
    const double q = correlation_peak(scores, correlation_shifts);
    // The turn is also where the axial shift changes across the image: the
    // two halves' shifts, averaged with the bands' estimate, halve its noise.
    if (q != 0.0 && line_ok) {
        axial_scores(ref, img, w, 0, w / 2, correlation_reach, h - correlation_reach - 1, masked_, scores);
        const double left = correlation_peak(scores, correlation_shifts);
        axial_scores(ref, img, w, w / 2, w, correlation_reach, h - correlation_reach - 1, masked_, scores);
        const double right = correlation_peak(scores, correlation_shifts);
        if (left != 0.0 && right != 0.0)
            angle = 0.5 * (angle + std::atan2(-(right - left) * sy_, 0.5 * w * sx_));
    }
    if (q != 0.0)
        dy = -(q - correlation_reach) * sy_;
    else
        wxLogDebug("Bad y-correlation for frame %li to %li.", static_cast<long>(prev.frame),
                   static_cast<long>(cur.frame));

    // 7: in-plane motion from the images, the rest as recorded.
    const matrix16d in_rec = translation(pivot.x + rec_dx, pivot.y + rec_dy, 0.0) * rotation_z(rec_angle) *
                             translation(-pivot.x, -pivot.y, 0.0);
    const matrix16d out = inverse_of(in_rec) * rel;
    const matrix16d in =
        translation(pivot.x + dx, pivot.y + dy, 0.0) * rotation_z(angle) * translation(-pivot.x, -pivot.y, 0.0);
    cur.corrected = prev.corrected * in * out;
    if (pressure_) {
        cur.axial_shift = static_cast<float>(-dy / sy_);
        row_profile(prev, cur);
    }
    if (!finite(cur.corrected)) {
        invalidate();
        end_progress();
        return false;
    }
    return true;
}

// Per-row axial shift between two frames: the axial score in windows of
// rows down the image over a short reach (consecutive frames move little),
// joined linearly between window centres and held beyond the outer ones.
void image_correlation::row_profile(const corr_t& prev, corr_t& cur)
{
    const long w = cur.image.width(), h = cur.image.height();
    const int reach = pressure_reach;
    const long window = std::max<long>(8, h / 10);
    // The near field (often a bright, flat skin line) is left out: it
    // correlates poorly along the beam. Rows above the first window follow it.
    const long first = std::max<long>(reach, h / 10), last = h - reach - 1 - window;  // window tops
    std::vector<double> centre, shift;
    double scores[2 * pressure_reach + 1];
    const int windows = 12;
    for (int k = 0; k < windows && last >= first; ++k) {
        const long top = first + (last - first) * k / (windows - 1);
        axial_scores(prev.image.pixels(), cur.image.pixels(), w, 0, w, top, top + window, masked_, scores, reach);
        const double q = correlation_peak(scores, 2 * reach + 1);
        if (q == 0.0)
            continue;
        const double d = q - reach;  // previous row r shows at current row r + d
        centre.push_back(top + 0.5 * (window - 1) + d);
        shift.push_back(-d);
    }
    cur.row_shift.assign(static_cast<std::size_t>(h), 0.0f);
    if (centre.empty())
        return;
    // Windows close together may swap places by their shifts: keep the centres in order.
    std::vector<std::size_t> order(centre.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return centre[a] < centre[b]; });
    std::vector<double> xs, ys;
    for (const std::size_t i : order) {
        xs.push_back(centre[i]);
        ys.push_back(shift[i]);
    }
    centre.swap(xs);
    shift.swap(ys);
    // Tissue compresses smoothly with depth: a cubic through the windows'
    // shifts keeps the profile and stops each window's own noise from
    // building up along the sweep.
    std::vector<double> fitted = smooth_profile(centre, shift);
    for (long y = 0; y < h; ++y)
        cur.row_shift[static_cast<std::size_t>(y)] = static_cast<float>(interpolate_at(centre, fitted, double(y)));
}

long image_correlation::find(long frame) const
{
    const auto& r = records();
    for (std::size_t i = 0; i < r.size(); ++i)
        if (r[i].frame == frame)
            return static_cast<long>(i);
    return -1;
}

counted_array_ptr<float> image_correlation::corrected_pos(long frame) const
{
    const long i = find(frame);
    if (i < 0 || !optimised_)
        return {};
    const matrix16d sensor = records()[static_cast<std::size_t>(i)].corrected * cal_inverse_;
    double v[6];
    sensor.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    counted_array_ptr<float> pose(6);
    for (std::size_t k = 0; k < 6; ++k)
        pose[k] = static_cast<float>(v[k]);
    return pose;
}

cip_t image_correlation::corrected_frame(long frame, const cip_t& image) const
{
    const long i = find(frame);
    if (i < 0 || !optimised_ || !pressure_)
        return image;
    return squash(records()[static_cast<std::size_t>(i)], image);
}

bool image_correlation::matches_recording() const
{
    for (const corr_t& r : records()) {
        if (r.frame >= bufp->frames() || !(bufp->imagecp(static_cast<long>(r.frame)) == r.source))
            return false;
        const auto pose = bufp->positioncp(static_cast<long>(r.frame));
        if (!pose || pose.size() < 6)
            return false;
        matrix16d p;
        p.forward(pose.get());
        const matrix16d w = p * cal_;
        for (int k = 0; k < 16; ++k)
            if (std::abs(w[k] - r.recorded[k]) > 1e-9)
                return false;
    }
    return !records().empty();
}

bool image_correlation::apply()
{
    if (!valid_ || !optimised_)
        return false;
    if (!matches_recording()) {
        wxLogWarning("The recording's frames have changed since the correction was made: it was dropped.");
        invalidate();
        return false;
    }
    // Everything is computed before anything is written.
    std::vector<counted_array_ptr<float>> poses;
    std::vector<cip_t> images;
    for (const corr_t& r : result_) {
        poses.push_back(corrected_pos(static_cast<long>(r.frame)));
        if (!poses.back())
            return false;
        if (pressure_) {
            images.push_back(squash(r, r.source));
            if (images.back().empty())
                return false;
        }
    }
    for (std::size_t i = 0; i < result_.size(); ++i) {
        const long f = static_cast<long>(result_[i].frame);
        bufp->set_position(f, poses[i]);
        if (pressure_)
            bufp->set_image(f, images[i]);
        // What the recording now holds, to the float it was stored as, so that
        // matches_recording() knows the frames as they are after this.
        matrix16d held;
        held.forward(poses[i].get());
        result_[i].recorded = held * cal_;
        result_[i].source = pressure_ ? images[i] : result_[i].source;
    }
    res->IM->set_needs_save(true);
    if (pressure_) {
        res->RES_BIN_IM_FILENAME->set_needs_save(true);
        res->RES_CORRECTED_PRESSURE->write_no_changeprocs(true);
    }
    res->RES_CORRECTED_POS->write_no_changeprocs(true);
    res->IM->write_no_changeprocs();
    base_res_t::make_pending_writes_happen();
    return true;
}

std::shared_ptr<image_correlation> correct_frames(long first, long last, bool pressure, bool progress, double* max_a,
                                                  double* max_b)
{
    auto run = std::make_shared<image_correlation>(progress, pressure, last - first + 1);
    for (long f = first; f <= last && run->valid(); ++f)
        run->add(f);
    if (run->valid())
        run->optimise(max_a, max_b);
    return run;
}

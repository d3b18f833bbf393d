#include "temporal_calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "common/vertex_math.h"

namespace {

constexpr std::uint64_t ticks_per_second = 10'000'000;
constexpr double still_cm = 0.1;  // steps between position samples below this are "still"

double catmull_rom(double p0, double p1, double p2, double p3, double s)
{
    return 0.5 * (2.0 * p1 + (p2 - p0) * s + (2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) * s * s +
                  (3.0 * p1 - p0 - 3.0 * p2 + p3) * s * s * s);
}

// The line's normalised value at `target`, from the samples about it; none
// when no sample lies before it or none after.
std::optional<double> line_at(const std::vector<double>& times, const std::vector<double>& values, double target)
{
    const auto after = std::upper_bound(times.begin(), times.end(), target);
    if (after == times.end() || after == times.begin())
        return std::nullopt;
    const std::size_t k = std::size_t(after - times.begin());  // the middle pair is k - 1, k
    const double t1 = times[k - 1], t2 = times[k], v1 = values[k - 1], v2 = values[k];
    const double linear = t2 > t1 ? v1 + (v2 - v1) * (target - t1) / (t2 - t1) : v1;
    if (k < 2 || k + 1 >= times.size())
        return linear;
    const double t0 = times[k - 2], t3 = times[k + 1], v0 = values[k - 2], v3 = values[k + 1];
    // The spline's parameter where its time is the target, by bisection.
    double lo = 0.0, hi = 1.0;
    for (int i = 0; i < 50; ++i) {
        const double mid = 0.5 * (lo + hi);
        (catmull_rom(t0, t1, t2, t3, mid) < target ? lo : hi) = mid;
    }
    const double value = catmull_rom(v0, v1, v2, v3, 0.5 * (lo + hi));
    // An overshooting spline: farther from the earlier middle sample than any gap between samples.
    const double reach = std::max({std::fabs(v1 - v0), std::fabs(v2 - v1), std::fabs(v3 - v2)});
    return std::fabs(value - v1) > reach ? linear : value;
}

}  // namespace

void temporal_calibration_t::start(long applied_latency_ms)
{
    positions_.clear();
    lines_.clear();
    running_ = true;
    line_available_ = false;
    applied_ms_ = applied_latency_ms;
    previous_.reset();
    previous_time_ = steady_start_ = move_start_ = move_end_ = 0;
    result_.reset();
    enter(0, "Hold probe still and upright");
}

void temporal_calibration_t::stop()
{
    if (running_)
        message_ = "Stopped temporal calibration";
    running_ = false;
}

void temporal_calibration_t::enter(int state, const wxString& message)
{
    state_ = state;
    message_ = message;
}

void temporal_calibration_t::add_position(const vertex3d& p, std::uint64_t time)
{
    if (!running_ || !std::isfinite(p.x + p.y + p.z))
        return;
    if (previous_ && time < previous_time_) {
        // Time ran backwards: the samples so far cannot be trusted.
        positions_.clear();
        enter(0, "Hold probe still and upright");
        previous_ = p;
        previous_time_ = time;
        return;
    }
    const double m = previous_ ? length(p - *previous_) : 0.0;
    previous_ = p;
    previous_time_ = time;
    switch (state_) {
    case 0:
        if (m < still_cm) {
            enter(1, "Keep holding probe upright");
            steady_start_ = time;
        }
        break;
    case 1:
        if (m > still_cm)
            enter(0, "Hold probe still and upright");
        else if (time - steady_start_ > ticks_per_second * 5 / 2)
            enter(2, "Now move probe up and down");
        break;
    case 2:
        if (line_available_ && m > still_cm) {
            enter(3, "Keep moving probe");
            move_start_ = time;
        }
        break;
    case 3:
        if (time - move_start_ > 3 * ticks_per_second) {
            enter(4, "Acquiring more frames");
            move_end_ = time;
        }
        break;
    default: break;
    }
    if (state_ >= 1 && state_ <= 3) {
        positions_.push_back({p, time});
        if (positions_.size() > capacity_)
            positions_.pop_front();
    }
}

void temporal_calibration_t::add_frame(std::optional<double> line_row, std::uint64_t time)
{
    if (!running_)
        return;
    // A frame without a usable line adds no sample: a 0 would be taken for a row.
    line_available_ = line_row.has_value() && std::isfinite(*line_row);
    if (line_available_) {
        lines_.push_back({*line_row, time});
        if (lines_.size() > capacity_)
            lines_.pop_front();
    }
    // Any frame's time stamp ends the wait for frames after the movement.
    if (state_ == 4 && time > move_end_ + ticks_per_second / 2)
        finish();
}

void temporal_calibration_t::finish()
{
    enter(5, "Calculating offset");
    const std::optional<lag_t> lag = measure_lag(positions_, lines_, steady_start_, move_start_, move_end_);
    running_ = false;
    if (!lag || lag->contributions <= 40) {
        enter(6, "Not able to track line - try again");
        return;
    }
    if (!(lag->line_range > 80.0)) {
        enter(6, "Probe not moved far enough - try again");
        return;
    }
    result_t r;
    r.lag_ms = lag->lag_ticks / double(ticks_per_ms);
    r.confidence = int(std::floor((1.0 - lag->worst) * 100.0));
    // The latency already applied plus what is left of it.
    r.offset_ms = applied_ms_ + long(std::lround(r.lag_ms));
    r.accepted = r.confidence > 89;
    result_ = r;
    enter(6, r.accepted ? wxString::Format("Temporal calibration %li ms (%li%% confidence)", r.offset_ms,
                                           long(r.confidence))
                        : wxString("Low confidence (<90%), try again"));
}

std::optional<temporal_calibration_t::lag_t>
temporal_calibration_t::measure_lag(const std::deque<position_sample_t>& positions,
                                    const std::deque<line_sample_t>& lines, std::uint64_t steady_start,
                                    std::uint64_t move_start, std::uint64_t move_end)
{
    // 1. The movement's main direction, and positions along it scaled to -1/2..1/2.
    std::vector<const position_sample_t*> kept;
    for (const position_sample_t& s : positions)
        if (s.time >= steady_start && s.time <= move_end)
            kept.push_back(&s);
    if (kept.size() < 2 || lines.size() < 2)
        return std::nullopt;
    vertex3d lo = kept.front()->p, hi = lo;
    for (const position_sample_t* s : kept) {
        lo = {std::min(lo.x, s->p.x), std::min(lo.y, s->p.y), std::min(lo.z, s->p.z)};
        hi = {std::max(hi.x, s->p.x), std::max(hi.y, s->p.y), std::max(hi.z, s->p.z)};
    }
    const vertex3d r = hi - lo;
    const std::array<vertex3d, 4> directions = {vertex3d{r.x, r.y, r.z}, vertex3d{-r.x, r.y, r.z},
                                                vertex3d{-r.x, -r.y, r.z}, vertex3d{r.x, -r.y, r.z}};
    const auto spread = [&](const vertex3d& d, double* low, double* high) {
        *low = HUGE_VAL;
        *high = -HUGE_VAL;
        for (const position_sample_t* s : kept) {
            const double v = dot(s->p, d);
            *low = std::min(*low, v);
            *high = std::max(*high, v);
        }
        return *high - *low;
    };
    double spreads[4], lows[4], highs[4];
    for (int k = 0; k < 4; ++k)
        spreads[k] = spread(directions[std::size_t(k)], &lows[k], &highs[k]);
    int chosen = 0;
    if (spreads[3] > spreads[0] && spreads[3] > spreads[1] && spreads[3] > spreads[2])
        chosen = 3;
    else if (spreads[2] > spreads[0] && spreads[2] > spreads[1])
        chosen = 2;
    else if (spreads[1] > spreads[0])
        chosen = 1;
    if (!(spreads[chosen] > 0.0))
        return std::nullopt;
    const double p_mid = 0.5 * (lows[chosen] + highs[chosen]);
    std::vector<std::pair<double, double>> moving;  // (time in ticks, normalised projection)
    for (const position_sample_t* s : kept)
        if (s->time >= move_start && s->time <= move_end)
            moving.push_back({double(s->time), (dot(s->p, directions[std::size_t(chosen)]) - p_mid) / spreads[chosen]});

    // 2. The line, likewise.
    double l_lo = HUGE_VAL, l_hi = -HUGE_VAL;
    for (const line_sample_t& s : lines) {
        l_lo = std::min(l_lo, s.value);
        l_hi = std::max(l_hi, s.value);
    }
    lag_t best;
    best.line_range = l_hi - l_lo;
    std::vector<double> times, values;
    for (const line_sample_t& s : lines) {
        times.push_back(double(s.time));
        values.push_back(best.line_range > 0.0 ? (s.value - 0.5 * (l_lo + l_hi)) / best.line_range : 0.0);
    }
    if (!std::is_sorted(times.begin(), times.end()))
        return std::nullopt;

    // 3. The lag in three rounds, each a tenth of the step about the last best.
    double best_score = HUGE_VAL;
    double centre = 0.0, half = 0.5 * ticks_per_second, step = 0.05 * ticks_per_second;
    for (int round = 0; round < 3; ++round) {
        const double from = centre - half;
        const int steps = int(std::lround(2.0 * half / step));
        for (int i = 0; i <= steps; ++i) {
            const double tau = from + i * step;
            double minus = 0.0, plus = 0.0, worst_minus = 0.0, worst_plus = 0.0;
            int count = 0;
            for (const auto& [t, p] : moving) {
                const std::optional<double> l = line_at(times, values, t - tau);
                if (!l)
                    continue;
                minus += (p - *l) * (p - *l);
                plus += (p + *l) * (p + *l);
                worst_minus = std::max(worst_minus, std::fabs(p - *l));
                worst_plus = std::max(worst_plus, std::fabs(p + *l));
                ++count;
            }
            if (count == 0)
                continue;
            const double score = std::min(minus, plus) / count;
            if (score < best_score) {
                best_score = score;
                best.lag_ticks = tau;
                best.contributions = count;
                best.worst = minus <= plus ? worst_minus : worst_plus;
            }
        }
        centre = best.lag_ticks;
        half = 2.0 * half / 20.0;
        step /= 10.0;
    }
    if (!std::isfinite(best_score))
        return std::nullopt;
    return best;
}

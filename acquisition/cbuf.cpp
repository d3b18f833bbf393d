#include "cbuf.h"

cbuf_t::cbuf_t() : entries_(entries) {}

bool cbuf_t::insert_circ_buf(const pos_stat_t* sample)
{
    if (!sample || sample->time <= entries_[newest_].time)
        return false;
    newest_ = static_cast<std::uint16_t>((newest_ + 1) % entries);
    oldest_ = static_cast<std::uint16_t>((oldest_ + 1) % entries);
    entries_[newest_] = *sample;
    return true;
}

void cbuf_t::clear()
{
    for (pos_stat_t& e : entries_)
        e.time = 0;
}

float cbuf_t::pi_interpolate(double f, float a, float b)
{
    const double d = static_cast<double>(b) - a;
    double r;
    if (d > 180.0) {
        r = a + f * (d - 360.0);
        if (r < -180.0)
            r += 360.0;
    } else if (d < -180.0) {
        r = a + f * (d + 360.0);
        if (r > 180.0)
            r -= 360.0;
    } else {
        r = a + f * d;
    }
    return static_cast<float>(r);
}

bool cbuf_t::circ_buf_match_pos(std::uint64_t time, counted_array_ptr<float>& pose, std::int64_t* lag,
                                pos_state_t* state) const
{
    pose.reset();
    if (state)
        *state = POS_MISSING;
    // Signed: a frame older than the recent samples has a negative lag, and
    // the group delay must be able to shrink on it.
    const std::uint64_t recent = entries_[(newest_ + entries - 2) % entries].time;
    if (lag)
        *lag = recent == 0 ? no_lag : static_cast<std::int64_t>(time - recent);

    // First entry, in age order from the second oldest, whose time is not before `time`.
    int first = 1, count = entries - 1;
    while (count > 0) {
        const int step = count / 2;
        if (nth_oldest(first + step).time < time) {
            first += step + 1;
            count -= step + 1;
        } else {
            count = step;
        }
    }
    if (first == entries)
        return false;  // newer than the newest sample
    const pos_stat_t& lo = nth_oldest(first - 1);
    const pos_stat_t& hi = nth_oldest(first);
    // An entry of time 0 was never filled (or was cleared): it holds no sample.
    if (lo.time > time || lo.time == 0)
        return false;

    const auto missing = [](const pos_stat_t& s) {
        return s.state == POS_MISSING || s.pose.empty() || s.pose.size() < 6;
    };
    if (missing(lo) || missing(hi))
        return true;

    const double f = hi.time > lo.time ? static_cast<double>(time - lo.time) / static_cast<double>(hi.time - lo.time)
                                       : 0.0;
    pose = counted_array_ptr<float>(6);
    for (int i : {0, 1, 2, 4})
        pose[i] = static_cast<float>(lo.pose[i] + f * (static_cast<double>(hi.pose[i]) - lo.pose[i]));
    pose[3] = pi_interpolate(f, lo.pose[3], hi.pose[3]);
    pose[5] = pi_interpolate(f, lo.pose[5], hi.pose[5]);
    if (state)
        *state = lo.state;
    return true;
}

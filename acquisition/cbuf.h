// The recent samples of one tracked tool in a ring of 4096, and the tool's
// pose at any time they span, interpolated between the two samples around it.
// live_pos keeps one for the probe and one for the pointer.
#pragma once

#include <cstdint>
#include <vector>

#include "common/counted_array_ptr.h"
#include "common/pos_stat.h"

class cbuf_t {
public:
    static constexpr int entries = 4096;
    // The lag reported while fewer than three samples have arrived.
    static constexpr std::int64_t no_lag = 123456789;

    cbuf_t();

    // Overwrites the oldest entry. A sample not newer than the newest is
    // dropped (false): the entries must stay in time order for the search.
    bool insert_circ_buf(const pos_stat_t* sample);

    // The pose at `time`, true when two adjacent samples bracket it. lag is
    // `time` minus the time of the sample two before the newest, in ticks
    // (negative when the frame is older than it), or no_lag. With a missing
    // tool at either sample the result is true with state POS_MISSING and no pose.
    bool circ_buf_match_pos(std::uint64_t time, counted_array_ptr<float>& pose, std::int64_t* lag,
                            pos_state_t* state) const;

    // a + f (b - a) along the shorter way round, in degrees within [-180, 180].
    static float pi_interpolate(double f, float a, float b);

    void clear();  // every entry back to time 0, which never brackets a frame
    std::uint64_t newest_time() const { return entries_[newest_].time; }

private:
    const pos_stat_t& nth_oldest(int k) const { return entries_[(oldest_ + k) % entries]; }

    std::vector<pos_stat_t> entries_;
    std::uint16_t newest_ = entries - 1;
    std::uint16_t oldest_ = 0;
};

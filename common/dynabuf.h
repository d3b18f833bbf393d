// The frame buffer: parallel lists, indexed by frame number, of images, poses
// and time stamps. Filled by file reading and by live recording.
#pragma once

#include <cstdint>
#include <vector>

#include "cip.h"
#include "counted_array_ptr.h"

// Force readings taken with a frame: a channel count and up to 8 readings.
struct load_record_t {
    static constexpr int max_channels = 8;
    std::uint16_t channels = 0;  // 0: no reading for this frame
    std::uint16_t readings[max_channels] = {};
    bool operator==(const load_record_t&) const = default;
};

class dynabuf {
public:
    explicit dynabuf(std::size_t reserve_frames = 0);

    long frames() const { return static_cast<long>(images_.size()); }
    void append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time,
                const load_record_t& load = {});

    // Out-of-range indices log at debug level and give an empty reference (or 0).
    cip_t imagecp(long index) const;
    counted_array_ptr<float> positioncp(long index) const;
    std::uint64_t timestamp(long index) const;
    bool set_timestamp(long index, std::uint64_t time);
    bool set_position(long index, const counted_array_ptr<float>& pose);
    // Replaces a frame's image (a corrected one), which must be of the same size.
    bool set_image(long index, const cip_t& image);
    load_record_t load(long index) const;  // empty record when out of range
    bool set_load(long index, const load_record_t& load);
    bool has_loads() const;

    // Keeps only the frames whose flag is non-zero, in order. Refuses (false)
    // a flag list whose length is not the frame count.
    bool thin(const std::vector<char>& flags);
    void clear();

private:
    bool in_range(long index) const { return index >= 0 && index < frames(); }
    std::vector<cip_t> images_;
    std::vector<counted_array_ptr<float>> poses_;
    std::vector<std::uint64_t> times_;
    std::vector<load_record_t> loads_;
};

extern dynabuf* bufp;

// The frame buffer: parallel lists, indexed by frame number, of images, poses
// and time stamps. Filled by file reading and by live recording.
#pragma once

#include <cstdint>
#include <vector>

#include "cip.h"
#include "counted_array_ptr.h"

class dynabuf {
public:
    explicit dynabuf(std::size_t reserve_frames = 0);

    long frames() const { return static_cast<long>(images_.size()); }
    void append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time);

    // Out-of-range indices log at debug level and give an empty reference (or 0).
    cip_t imagecp(long index) const;
    counted_array_ptr<float> positioncp(long index) const;
    std::uint64_t timestamp(long index) const;

    // Keeps only the frames whose flag is non-zero, in order. Refuses (false)
    // a flag list whose length is not the frame count.
    bool thin(const std::vector<char>& flags);
    void clear();

private:
    bool in_range(long index) const { return index >= 0 && index < frames(); }
    std::vector<cip_t> images_;
    std::vector<counted_array_ptr<float>> poses_;
    std::vector<std::uint64_t> times_;
};

extern dynabuf* bufp;

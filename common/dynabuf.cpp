#include "dynabuf.h"

#include <wx/log.h>

dynabuf* bufp = nullptr;

dynabuf::dynabuf(std::size_t reserve_frames)
{
    images_.reserve(reserve_frames);
    poses_.reserve(reserve_frames);
    times_.reserve(reserve_frames);
}

void dynabuf::append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time)
{
    images_.push_back(image);
    poses_.push_back(pose);
    times_.push_back(time);
}

cip_t dynabuf::imagecp(long index) const
{
    if (!in_range(index)) {
        wxLogDebug("dynabuf::imagecp(long index), index %d out of range.", static_cast<int>(index));
        return {};
    }
    return images_[static_cast<std::size_t>(index)];
}

counted_array_ptr<float> dynabuf::positioncp(long index) const
{
    if (!in_range(index)) {
        wxLogDebug("dynabuf::positioncp(long index), index %d out of range.", static_cast<int>(index));
        return {};
    }
    return poses_[static_cast<std::size_t>(index)];
}

std::uint64_t dynabuf::timestamp(long index) const
{
    if (!in_range(index)) {
        wxLogDebug("dynabuf::timestamp(long index), index %d out of range.", static_cast<int>(index));
        return 0;
    }
    return times_[static_cast<std::size_t>(index)];
}

bool dynabuf::thin(const std::vector<char>& flags)
{
    if (flags.size() != images_.size()) {
        wxLogError("dynabuf::thin: %zu flags for %zu frames.", flags.size(), images_.size());
        return false;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < flags.size(); ++i) {
        if (!flags[i])
            continue;
        if (kept != i) {
            images_[kept] = std::move(images_[i]);
            poses_[kept] = std::move(poses_[i]);
            times_[kept] = times_[i];
        }
        ++kept;
    }
    images_.resize(kept);
    poses_.resize(kept);
    times_.resize(kept);
    return true;
}

void dynabuf::clear()
{
    images_.clear();
    poses_.clear();
    times_.clear();
}

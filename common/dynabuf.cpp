#include "dynabuf.h"

#include <wx/log.h>

dynabuf* bufp = nullptr;

dynabuf::dynabuf(std::size_t reserve_frames)
{
    images_.reserve(reserve_frames);
    poses_.reserve(reserve_frames);
    times_.reserve(reserve_frames);
    loads_.reserve(reserve_frames);
}

void dynabuf::append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time,
                     const load_record_t& load)
{
    images_.push_back(image);
    poses_.push_back(pose);
    times_.push_back(time);
    loads_.push_back(load);
}

bool dynabuf::set_timestamp(long index, std::uint64_t time)
{
    if (!in_range(index))
        return false;
    times_[static_cast<std::size_t>(index)] = time;
    return true;
}

load_record_t dynabuf::load(long index) const
{
    return in_range(index) ? loads_[static_cast<std::size_t>(index)] : load_record_t{};
}

bool dynabuf::set_load(long index, const load_record_t& load)
{
    if (!in_range(index))
        return false;
    loads_[static_cast<std::size_t>(index)] = load;
    return true;
}

bool dynabuf::has_loads() const
{
    for (const load_record_t& l : loads_)
        if (l.channels)
            return true;
    return false;
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

bool dynabuf::set_image(long index, const cip_t& image)
{
    if (!in_range(index)) {
        wxLogDebug("dynabuf::set_image(long index), index %d out of range.", static_cast<int>(index));
        return false;
    }
    const cip_t& old = images_[static_cast<std::size_t>(index)];
    if (image.width() != old.width() || image.height() != old.height() || image.has_samples() != old.has_samples())
        return false;
    images_[static_cast<std::size_t>(index)] = image;
    return true;
}

bool dynabuf::set_position(long index, const counted_array_ptr<float>& pose)
{
    if (!in_range(index)) {
        wxLogDebug("dynabuf::set_position(long index), index %d out of range.", static_cast<int>(index));
        return false;
    }
    poses_[static_cast<std::size_t>(index)] = pose;
    return true;
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
            loads_[kept] = loads_[i];
        }
        ++kept;
    }
    images_.resize(kept);
    poses_.resize(kept);
    times_.resize(kept);
    loads_.resize(kept);
    return true;
}

void dynabuf::clear()
{
    images_.clear();
    poses_.clear();
    times_.clear();
    loads_.clear();
}

#include "fake_v4l2_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/mman.h>

#include <linux/videodev2.h>

namespace {

constexpr std::int64_t buffer_offset_step = 1 << 24;

int fail(int code)
{
    errno = code;
    return -1;
}

void copy_name(std::uint8_t* out, std::size_t size, const std::string& name)
{
    std::memset(out, 0, size);
    std::memcpy(out, name.data(), std::min(size - 1, name.size()));
}

}  // namespace

fake_v4l2_device_t::fake_v4l2_device_t(std::vector<fake_v4l2_settings_t> devices) : devices_(std::move(devices)) {}

int fake_v4l2_device_t::open_device(const std::string& path, int)
{
    for (std::size_t n = 0; n < devices_.size(); ++n)
        if (path == device_path(static_cast<int>(n))) {
            if (vanished_ && static_cast<int>(n) == streaming_device_)
                return fail(ENODEV);
            open_[next_fd_] = static_cast<int>(n);
            return next_fd_++;
        }
    return fail(ENOENT);
}

int fake_v4l2_device_t::close_device(int fd)
{
    if (!open_.erase(fd))
        return fail(EBADF);
    return 0;
}

int fake_v4l2_device_t::device_of(int fd) const
{
    const auto it = open_.find(fd);
    return it == open_.end() ? -1 : it->second;
}

unsigned fake_v4l2_device_t::buffers_held_by_host() const
{
    return static_cast<unsigned>(std::count_if(buffers_.begin(), buffers_.end(),
                                               [](const buffer_t& b) { return b.state == buffer_t::host; }));
}

int fake_v4l2_device_t::format(int device, void* arg, bool set)
{
    auto* f = static_cast<v4l2_format*>(arg);
    if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return fail(EINVAL);
    const fake_v4l2_settings_t& s = devices_[static_cast<std::size_t>(device)];
    if (set) {
        long w = std::clamp<long>(f->fmt.pix.width, 16, s.max_width);
        long h = std::clamp<long>(f->fmt.pix.height, 16, s.max_height);
        if (s.grant_width > 0)
            w = std::min(w, s.grant_width);
        if (s.grant_height > 0)
            h = std::min(h, s.grant_height);
        layout_ = {w, h, w + s.row_padding};
    } else if (layout_.width == 0) {
        layout_ = {s.max_width, s.max_height, s.max_width + s.row_padding};
    }
    f->fmt.pix.width = static_cast<std::uint32_t>(layout_.width);
    f->fmt.pix.height = static_cast<std::uint32_t>(layout_.height);
    f->fmt.pix.pixelformat = V4L2_PIX_FMT_YUV420;
    f->fmt.pix.field = V4L2_FIELD_INTERLACED;
    f->fmt.pix.bytesperline = static_cast<std::uint32_t>(layout_.luma_stride);
    f->fmt.pix.sizeimage = static_cast<std::uint32_t>(layout_.frame_bytes());
    return 0;
}

int fake_v4l2_device_t::ioctl_device(int fd, unsigned long request, void* arg)
{
    const int device = device_of(fd);
    if (device < 0)
        return fail(EBADF);
    if (vanished_ && device == streaming_device_)
        return fail(ENODEV);
    const fake_v4l2_settings_t& s = devices_[static_cast<std::size_t>(device)];
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof *cap);
        copy_name(cap->card, sizeof cap->card, s.card);
        cap->device_caps = (s.can_capture ? V4L2_CAP_VIDEO_CAPTURE : 0u) | (s.can_stream ? V4L2_CAP_STREAMING : 0u);
        cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* in = static_cast<v4l2_input*>(arg);
        if (in->index >= s.inputs.size())
            return fail(EINVAL);
        copy_name(in->name, sizeof in->name, s.inputs[in->index]);
        in->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_S_INPUT: {
        const int index = *static_cast<int*>(arg);
        if (s.refuse_input || index < 0 || static_cast<std::size_t>(index) >= s.inputs.size())
            return fail(EINVAL);
        input_ = index;
        return 0;
    }
    case VIDIOC_ENUMSTD: {
        auto* st = static_cast<v4l2_standard*>(arg);
        if (s.standards.empty())
            return fail(ENODATA);
        if (st->index >= s.standards.size())
            return fail(EINVAL);
        copy_name(st->name, sizeof st->name, s.standards[st->index]);
        st->id = v4l2_std_id{1} << st->index;
        return 0;
    }
    case VIDIOC_S_STD: {
        if (s.standards.empty())
            return fail(ENODATA);
        const v4l2_std_id id = *static_cast<v4l2_std_id*>(arg);
        if (s.refuse_standard)
            return fail(EINVAL);
        for (std::size_t k = 0; k < s.standards.size(); ++k)
            if (id == (v4l2_std_id{1} << k)) {
                standard_ = static_cast<int>(k);
                return 0;
            }
        return fail(EINVAL);
    }
    case VIDIOC_G_FMT:
        return format(device, arg, false);
    case VIDIOC_S_FMT:
        if (streaming_)
            return fail(EBUSY);
        return format(device, arg, true);
    case VIDIOC_REQBUFS: {
        auto* req = static_cast<v4l2_requestbuffers*>(arg);
        if (req->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || streaming_)
            return fail(EINVAL);
        buffers_.clear();
        queued_order_.clear();
        done_order_.clear();
        const unsigned count = std::min<unsigned>(req->count, s.max_buffers);
        for (unsigned k = 0; k < count; ++k)
            buffers_.push_back({std::vector<std::uint8_t>(layout_.frame_bytes())});
        req->count = count;
        if (s.wrong_memory)
            req->memory = V4L2_MEMORY_USERPTR;
        streaming_device_ = device;
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF:
    case VIDIOC_DQBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        if (request == VIDIOC_DQBUF) {
            if (done_order_.empty())
                return fail(EAGAIN);
            const std::size_t k = done_order_.front();
            done_order_.erase(done_order_.begin());
            buffer_t& buf = buffers_[k];
            buf.state = buffer_t::host;
            b->index = static_cast<std::uint32_t>(k);
            b->bytesused = buf.used;
            b->flags = s.monotonic ? V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC : 0u;
            b->timestamp.tv_sec = static_cast<time_t>(buf.time / 10000000);
            b->timestamp.tv_usec = static_cast<suseconds_t>((buf.time % 10000000) / 10);
            b->sequence = buf.sequence;
            b->field = V4L2_FIELD_INTERLACED;
            b->memory = V4L2_MEMORY_MMAP;
            b->length = static_cast<std::uint32_t>(buf.bytes.size());
            return 0;
        }
        if (b->index >= buffers_.size())
            return fail(EINVAL);
        buffer_t& buf = buffers_[b->index];
        if (request == VIDIOC_QUERYBUF) {
            b->length = static_cast<std::uint32_t>(buf.bytes.size());
            b->m.offset = static_cast<std::uint32_t>(b->index * buffer_offset_step);
            b->memory = V4L2_MEMORY_MMAP;
            return 0;
        }
        if (buf.state != buffer_t::host)
            return fail(EINVAL);
        buf.state = buffer_t::queued;
        queued_order_.push_back(b->index);
        return 0;
    }
    case VIDIOC_STREAMON:
        if (buffers_.empty())
            return fail(EINVAL);
        streaming_ = true;
        delivered_ = 0;
        return 0;
    case VIDIOC_STREAMOFF:
        streaming_ = false;
        for (buffer_t& b : buffers_)
            b.state = buffer_t::host;
        queued_order_.clear();
        done_order_.clear();
        return 0;
    default:
        return fail(ENOTTY);
    }
}

void* fake_v4l2_device_t::map(std::size_t length, int fd, std::int64_t offset)
{
    if (device_of(fd) < 0 || offset % buffer_offset_step != 0)
        return MAP_FAILED;
    const auto k = static_cast<std::size_t>(offset / buffer_offset_step);
    if (k >= buffers_.size() || length > buffers_[k].bytes.size())
        return MAP_FAILED;
    return buffers_[k].bytes.data();
}

int fake_v4l2_device_t::unmap(void* start, std::size_t)
{
    for (const buffer_t& b : buffers_)
        if (b.bytes.data() == start)
            return 0;
    return fail(EINVAL);
}

bool fake_v4l2_device_t::deliver(std::uint64_t driver_time, const painter_t& paint)
{
    if (!streaming_ || vanished_)
        return false;
    const fake_v4l2_settings_t& s = devices_[static_cast<std::size_t>(streaming_device_)];
    if (s.vanish_after >= 0 && delivered_ >= s.vanish_after) {
        vanished_ = true;
        return false;
    }
    if (queued_order_.empty()) {
        ++lost_;
        return false;
    }
    const std::size_t k = queued_order_.front();
    queued_order_.erase(queued_order_.begin());
    buffer_t& buf = buffers_[k];
    if (paint)
        paint(layout_, buf.bytes.data());
    buf.state = buffer_t::done;
    buf.time = driver_time;
    buf.sequence = sequence_++;
    buf.used = static_cast<std::uint32_t>(buf.bytes.size() - std::min<std::size_t>(buf.bytes.size(),
                                                                                   static_cast<std::size_t>(s.short_by)));
    done_order_.push_back(k);
    ++delivered_;
    return true;
}

#include "ks_v4l2_buffer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>

#include <wx/log.h>

#include "acquisition/v4l2_seam.h"
#include "common/timestamp.h"
#include "resources/resource_table.h"

namespace {

constexpr std::uint64_t ticks_per_ms = 10000;
constexpr std::uint64_t release_window = 2000000;        // 200 ms
constexpr std::int64_t same_clock_limit = 600000000;     // 60 s
constexpr std::uint64_t frames_to_find_offset = 8;
constexpr long fallback_width = 768, fallback_height = 576;

bool name_has(const char* name, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (std::strstr(name, w))
            return true;
    return false;
}

// The input type (RES_VID_PORT bit) an input's name announces, 0 for none.
long input_type_of(const char* name)
{
    if (name_has(name, {"Camera", "camera"}))
        return 1;
    if (name_has(name, {"Composite", "composite"}))
        return 2;
    if (name_has(name, {"SVideo", "S-Video", "Svideo", "S-video", "svideo", "s-video"}))
        return 4;
    if (name_has(name, {"Digital", "digital"}))
        return 8;
    return 0;
}

std::uint64_t driver_ticks(const timeval& t)
{
    if (t.tv_sec < 0 || t.tv_usec < 0)
        return 0;
    return (static_cast<std::uint64_t>(t.tv_sec) * 1000000u + static_cast<std::uint64_t>(t.tv_usec)) * 10u;
}

v4l2_buffer capture_buffer()
{
    v4l2_buffer b{};
    b.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    b.memory = V4L2_MEMORY_MMAP;
    return b;
}

}  // namespace

ks_v4l2_buffer::ks_v4l2_buffer(clocks_t clocks, v4l2_seam_t* seam, int source_kind)
    : clocks_(std::move(clocks)), seam_(seam), source_kind_(source_kind)
{
    if (!clocks_.now)
        clocks_.now = [] { return master_clock ? master_clock->hundred_ns_time() : timestamp::wall_clock_now(); };
    if (!clocks_.from_monotonic)
        clocks_.from_monotonic = [](std::int64_t t) {
            static const timestamp fallback;
            return (master_clock ? *master_clock : fallback).from_monotonic(t);
        };
    rediscover();
}

void ks_v4l2_buffer::rediscover()
{
    devices_ = discover_devices(seam());
    for (vid_card_list_t& d : devices_)
        d.kind = source_kind_;
}

ks_v4l2_buffer::~ks_v4l2_buffer()
{
    change_proc_.reset();
    if (streaming_)
        stop_v4l2_buffer();
    close_device();
}

std::vector<vid_card_list_t> ks_v4l2_buffer::discover_devices(v4l2_seam_t& seam)
{
    std::vector<vid_card_list_t> found;
    const bool verbose = res && res->RES_DEBUG_VIDEO_DEVICE->value();
    for (int n = 0; n < 64; ++n) {
        const int fd = seam.open_device(seam.device_path(n), O_RDWR | O_NONBLOCK);
        if (fd < 0)
            continue;
        v4l2_capability cap{};
        if (xioctl(seam, fd, VIDIOC_QUERYCAP, &cap) != 0) {
            wxLogDebug("QUERYCAP v4l2_ioctl in construct_v4l2_buffer failed");
            seam.close_device(fd);
            continue;
        }
        const std::uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        const wxString card(reinterpret_cast<const char*>(cap.card), wxConvUTF8,
                            strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
        if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
            wxLogDebug("Device does not support the video capture interface\n");
        } else if (!(caps & V4L2_CAP_STREAMING)) {
            wxLogDebug("Device does not support the streaming I/O method\n");
        } else {
            if (verbose) {
                wxLogMessage("V4L2 constructor found %s", card);
                v4l2_input in{};
                for (in.index = 0; xioctl(seam, fd, VIDIOC_ENUMINPUT, &in) == 0 && in.index < 64; ++in.index)
                    wxLogMessage("V4L2 constructor found input %s on port %d",
                                 wxString(reinterpret_cast<const char*>(in.name), wxConvUTF8), in.index);
                v4l2_standard st{};
                for (st.index = 0; xioctl(seam, fd, VIDIOC_ENUMSTD, &st) == 0 && st.index < 64; ++st.index)
                    wxLogMessage("V4L2 constructor found standard %s",
                                 wxString(reinterpret_cast<const char*>(st.name), wxConvUTF8));
            }
            found.push_back({card, 2, n});
        }
        seam.close_device(fd);
    }
    return found;
}

void ks_v4l2_buffer::construct_v4l2_buffer()
{
    change_proc_ = std::make_unique<pmf_functor<ks_v4l2_buffer>>(this, &ks_v4l2_buffer::change_v4l2_buffer);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_VID_RATE, res->RES_VID_CARD, res->RES_VID_PORT,
                                                             res->RES_VID_PORT_NUMBER, res->RES_VIDEO_STANDARD,
                                                             res->RES_VID_BUFFERS})
        r->add_proc(change_proc_.get());
}

int ks_v4l2_buffer::selected_device() const
{
    const auto& list = res->RES_VID_CARD_LIST->value();
    const auto card = res->RES_VID_CARD->value();
    if (!list || card < 0 || static_cast<std::size_t>(card) >= list->size() || (*list)[card].kind != source_kind_)
        return -1;
    return (*list)[card].device;
}

ks_v4l2_buffer::settings_t ks_v4l2_buffer::wanted_settings() const
{
    return {selected_device(), static_cast<long>(res->RES_VID_PORT->value()),
            static_cast<long>(res->RES_VID_PORT_NUMBER->value()), static_cast<long>(res->RES_VIDEO_STANDARD->value()),
            static_cast<long>(res->RES_VID_BUFFERS->value())};
}

void ks_v4l2_buffer::close_device()
{
    if (fd_ >= 0)
        seam().close_device(fd_);
    fd_ = -1;
}

void ks_v4l2_buffer::fail(const wxString& message)
{
    wxLogError("%s", message);
    if (streaming_)
        stop_v4l2_buffer();
    close_device();
}

bool ks_v4l2_buffer::select_input()
{
    const long wanted_type = res->RES_VID_PORT->value();
    const long wanted_number = std::max<long>(1, static_cast<long>(res->RES_VID_PORT_NUMBER->value()));
    std::vector<wxString> names;
    int chosen = -1;
    long matches = 0;
    v4l2_input in{};
    for (in.index = 0; in.index < 64 && xioctl(seam(), fd_, VIDIOC_ENUMINPUT, &in) == 0; ++in.index) {
        const char* name = reinterpret_cast<const char*>(in.name);
        names.emplace_back(name, wxConvUTF8, strnlen(name, sizeof in.name));
        if (chosen < 0 && input_type_of(name) == wanted_type && ++matches == wanted_number)
            chosen = static_cast<int>(in.index);
    }
    if (chosen < 0) {
        // Digitisers with a single input often name it after something else.
        if (names.size() != 1) {
            wxString list;
            for (const wxString& n : names)
                list << (list.empty() ? "" : ", ") << "'" << n << "'";
            fail(wxString::Format("The capture device has no input of the chosen type; its inputs are %s.",
                                  list.empty() ? wxString("none") : list));
            return false;
        }
        wxLogWarning("The capture device's only input, '%s', is not of the chosen type; it is used anyway.",
                     names.front());
        chosen = 0;
    }
    if (xioctl(seam(), fd_, VIDIOC_S_INPUT, &chosen) != 0) {
        fail("VIDIOC_S_INPUT v4l2_ioctl in open_device_set_input_standard failed");
        return false;
    }
    wxLogDebug("Selected input %d", chosen);
    return true;
}

bool ks_v4l2_buffer::select_standard()
{
    const long wanted = res->RES_VIDEO_STANDARD->value();
    const bool pal = wanted == 0 || wanted == 2;
    const char* exact = pal ? "PAL-I" : "NTSC-M";
    const char* plain = pal ? "PAL" : "NTSC";
    std::optional<v4l2_std_id> first_exact, first_plain;
    v4l2_standard st{};
    for (st.index = 0; st.index < 256 && xioctl(seam(), fd_, VIDIOC_ENUMSTD, &st) == 0; ++st.index) {
        const char* name = reinterpret_cast<const char*>(st.name);
        if (!first_exact && std::strcmp(name, exact) == 0)
            first_exact = st.id;
        if (!first_plain && std::strcmp(name, plain) == 0)
            first_plain = st.id;
    }
    // Webcams, HDMI and other digital inputs have no standards at all.
    if (st.index == 0)
        return true;
    v4l2_std_id id = first_exact ? *first_exact : first_plain ? *first_plain : 0;
    if (!id) {
        wxLogWarning("The capture device offers no %s standard; its own standard is kept.", plain);
        return true;
    }
    if (xioctl(seam(), fd_, VIDIOC_S_STD, &id) != 0) {
        fail("VIDIOC_S_STD v4l2_ioctl in open_device_set_input_standard failed");
        return false;
    }
    wxLogDebug("Selected standard %llu", static_cast<unsigned long long>(id));
    return true;
}

bool ks_v4l2_buffer::open_device_set_input_standard()
{
    const int device = selected_device();
    if (device < 0) {
        wxLogError("No video capture device is selected.");
        return false;
    }
    close_device();
    fd_ = seam().open_device(seam().device_path(device), O_RDWR | O_NONBLOCK);
    if (fd_ < 0) {
        wxLogError("Could not open device in V4L2 open_device_set_input_standard");
        return false;
    }
    wxLogDebug("Opened device");
    return select_input() && select_standard();
}

bool ks_v4l2_buffer::set_v4l2_format(long& width, long& height)
{
    v4l2_format f{};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(seam(), fd_, VIDIOC_G_FMT, &f) != 0) {
        wxLogError("G_FMT v4l2_ioctl in set_v4l2_format failed");
        return false;
    }
    f.fmt.pix.width = static_cast<std::uint32_t>(std::clamp<long>(width, 1, 99999));
    f.fmt.pix.height = static_cast<std::uint32_t>(std::clamp<long>(height, 1, 99999));
    f.fmt.pix.pixelformat = V4L2_PIX_FMT_YUV420;
    f.fmt.pix.field = V4L2_FIELD_INTERLACED;
    int tries = 0;
    while (xioctl(seam(), fd_, VIDIOC_S_FMT, &f) != 0)
        if (++tries == 10) {
            wxLogError("S_FMT v4l2_ioctl in set_v4l2_format failed");
            return false;
        }
    if (xioctl(seam(), fd_, VIDIOC_G_FMT, &f) != 0) {
        wxLogError("G_FMT v4l2_ioctl in set_v4l2_format failed");
        return false;
    }
    const bool exact = f.fmt.pix.pixelformat == V4L2_PIX_FMT_YUV420 && long(f.fmt.pix.width) == width &&
                       long(f.fmt.pix.height) == height;
    width = static_cast<long>(f.fmt.pix.width);
    height = static_cast<long>(f.fmt.pix.height);
    // Rows may be padded; the chroma planes follow the padded luma.
    layout_ = {width, height, std::max<long>(width, static_cast<long>(f.fmt.pix.bytesperline))};
    return exact;
}

void ks_v4l2_buffer::get_device_video_dimensions(long& width, long& height)
{
    if (streaming_) {
        width = layout_.width;
        height = layout_.height;
        return;
    }
    const int kept = fd_;
    fd_ = selected_device() >= 0 ? seam().open_device(seam().device_path(selected_device()),
                                                           O_RDWR | O_NONBLOCK)
                                 : -1;
    if (fd_ < 0) {
        fd_ = kept;
        width = fallback_width;
        height = fallback_height;
        return;
    }
    width = height = 99999;
    set_v4l2_format(width, height);  // the driver clamps to its largest frame
    const long standard = res->RES_VIDEO_STANDARD->value();
    if (standard == 2 || standard == 3) {
        if (4 * height > 3 * width)
            height = 3 * width / 4;
        else
            width = 4 * height / 3;
        set_v4l2_format(width, height);
    }
    seam().close_device(fd_);
    fd_ = kept;
}

void ks_v4l2_buffer::update_resources()
{
    long width = 0, height = 0;
    get_device_video_dimensions(width, height);
    res->RES_MAX_VIDEO_WIDTH->write_no_changeprocs(width);
    res->RES_MAX_VIDEO_HEIGHT->write_no_changeprocs(height);
    res->RES_VID_STAN_CTRL_WORKING->write_no_changeprocs(true);
    res->RES_VID_PORTS_AVAILABLE->write_no_changeprocs(15);
    res->RES_VID_AUTO_CROP->write_no_changeprocs(false);
    if (res->RES_BUF_FRAMES->value() == 0)
        res->RES_BUF_RF->write_no_changeprocs(false);
    base_res_t::make_pending_writes_happen();
}

bool ks_v4l2_buffer::start_v4l2_buffer()
{
    if (streaming_)
        return true;
    long width = 0, height = 0;
    get_device_video_dimensions(width, height);
    if (!open_device_set_input_standard())
        return false;
    const long asked_width = width, asked_height = height;
    if (!set_v4l2_format(width, height) || width != asked_width || height != asked_height) {
        fail("Inconsisent video size when attempting to start V4L2");
        return false;
    }
    v4l2_requestbuffers req{};
    req.count = static_cast<std::uint32_t>(std::clamp<std::int64_t>(res->RES_VID_BUFFERS->value(), 1, 256));
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (xioctl(seam(), fd_, VIDIOC_REQBUFS, &req) != 0) {
        fail("REQBUFS v4l2_ioctl in start_v4l2_buffer failed");
        return false;
    }
    if (req.memory != V4L2_MEMORY_MMAP) {
        fail("start_v4l2_buffer: video card will not allocate the right type of buffers\n");
        return false;
    }
    if (req.count == 0) {
        fail("The capture device granted no buffers; video capture cannot start.");
        return false;
    }
    mappings_.assign(req.count, mapping_t{});
    for (std::uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer b = capture_buffer();
        b.index = i;
        if (xioctl(seam(), fd_, VIDIOC_QUERYBUF, &b) != 0) {
            fail("QUERYBUF v4l2_ioctl in start_v4l2_buffer failed");
            return false;
        }
        void* start = seam().map(b.length, fd_, b.m.offset);
        if (start == MAP_FAILED) {
            fail("mmap() in start_v4l2_buffer failed");
            return false;
        }
        mappings_[i] = {start, b.length};
        if (xioctl(seam(), fd_, VIDIOC_QBUF, &b) != 0) {
            fail("QBUF v4l2_ioctl in start_v4l2_buffer failed");
            return false;
        }
    }
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(seam(), fd_, VIDIOC_STREAMON, &type) != 0) {
        fail("STREAMON v4l2_ioctl in start_v4l2_buffer failed");
        return false;
    }
    rate_gate_.reset();
    held_.reset();
    clock_offset_ = smallest_gap_ = 0;
    dequeued_ = released_count_ = 0;
    crop_warned_ = false;
    streaming_ = true;
    started_with_ = wanted_settings();
    started_with_.buffers = static_cast<long>(req.count);
    // The count granted is the count asked for from now on; it does not restart the stream.
    res->RES_VID_BUFFERS->write(static_cast<std::int64_t>(req.count));
    return true;
}

void ks_v4l2_buffer::stop_v4l2_buffer()
{
    if (!streaming_ && mappings_.empty())
        return;
    streaming_ = false;
    if (held_)
        give_back(held_->buffer, "QBUF v4l2_ioctl in stop_v4l2_buffer failed");
    held_.reset();
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (fd_ >= 0 && xioctl(seam(), fd_, VIDIOC_STREAMOFF, &type) != 0)
        wxLogDebug("STREAMOFF v4l2_ioctl in stop_v4l2_buffer failed");
    for (const mapping_t& m : mappings_)
        if (m.start)
            seam().unmap(m.start, m.length);
    mappings_.clear();
    close_device();
    wxLogDebug("stop_v4l2_buffer called");
}

void ks_v4l2_buffer::change_v4l2_buffer()
{
    // The rate ceiling needs no restart: it starts afresh from the next frame.
    rate_gate_.reset();
    if (streaming_ && wanted_settings() != started_with_) {
        stop_v4l2_buffer();
        start_v4l2_buffer();
    }
}

bool ks_v4l2_buffer::dequeue(v4l2_buffer* out)
{
    *out = capture_buffer();
    if (xioctl(seam(), fd_, VIDIOC_DQBUF, out) == 0) {
        if (out->index >= mappings_.size()) {
            fail("The capture device returned a buffer it never gave; video capture stopped.");
            return false;
        }
        ++dequeued_;
        return true;
    }
    if (errno != EAGAIN)
        fail(wxString::Format("The video capture device stopped answering (%s); video capture stopped.",
                              std::strerror(errno)));
    return false;
}

bool ks_v4l2_buffer::give_back(v4l2_buffer& buffer, const char* failure)
{
    if (fd_ >= 0 && xioctl(seam(), fd_, VIDIOC_QBUF, &buffer) == 0)
        return true;
    fail(failure);
    return false;
}

std::uint64_t ks_v4l2_buffer::frame_time(const v4l2_buffer& buffer)
{
    const std::uint64_t driver = driver_ticks(buffer.timestamp);
    if ((buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC)
        return clocks_.from_monotonic(static_cast<std::int64_t>(driver));
    // Another clock: one dequeue's queueing delay must not shift every later
    // frame, so the offset is the smallest gap seen over the first frames.
    if (dequeued_ <= frames_to_find_offset) {
        const std::int64_t gap = static_cast<std::int64_t>(clocks_.now()) - static_cast<std::int64_t>(driver);
        smallest_gap_ = dequeued_ == 1 ? gap : std::min(smallest_gap_, gap);
        clock_offset_ = std::llabs(smallest_gap_) < same_clock_limit ? 0 : smallest_gap_;
    }
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(driver) + clock_offset_);
}

std::optional<ks_v4l2_buffer::released_t> ks_v4l2_buffer::v4l2_DelayGetLatestValid()
{
    const std::uint64_t hi = capture_release_time(clocks_.now());
    const std::uint64_t lo = hi > release_window ? hi - release_window : 0;
    released_t frame;
    if (held_) {
        frame = *held_;
        held_.reset();
    } else {
        if (!dequeue(&frame.buffer))
            return std::nullopt;
        frame.time = frame_time(frame.buffer);
    }
    // At most one pass over the driver's buffers per step: the UI must not stall.
    for (std::size_t skipped = 0; frame.time < lo; ++skipped) {
        if (!give_back(frame.buffer, "QBUF v4l2_ioctl in v4l2_DelayGetLatestValid failed"))
            return std::nullopt;
        if (skipped >= mappings_.size() || !dequeue(&frame.buffer))
            return std::nullopt;
        frame.time = frame_time(frame.buffer);
    }
    if (frame.time > hi) {
        held_ = frame;
        return std::nullopt;
    }
    return frame;
}

capture_step_t ks_v4l2_buffer::activ_v4l2_buffer()
{
    if (!streaming_)
        return capture_step_t::idle;
    const long out_width = static_cast<long>(res->RES_BUF_WIDTH->value());
    const long out_height = static_cast<long>(res->RES_BUF_HEIGHT->value());
    const long x0 = static_cast<long>(res->RES_VID_XPOS->value()), y0 = static_cast<long>(res->RES_VID_YPOS->value());
    // Checked before any read: a window outside the device frame waits in the driver until it is mended.
    if (!crop_window_fits(layout_.width, layout_.height, out_width, out_height, x0, y0)) {
        if (!crop_warned_)
            wxLogWarning("The recording window (%li x %li at %li, %li) does not fit in the %li x %li video frame; "
                         "no frames are captured until it does.",
                         out_width, out_height, x0, y0, layout_.width, layout_.height);
        crop_warned_ = true;
        return capture_step_t::no_frame;
    }
    crop_warned_ = false;
    std::optional<released_t> got = v4l2_DelayGetLatestValid();
    if (!got)
        return streaming_ ? capture_step_t::no_frame : capture_step_t::failed;
    released_t& f = *got;
    const auto drop = [&](capture_step_t why) {
        return give_back(f.buffer, "QBUF v4l2_ioctl in activ_v4l2_buffer failed") ? why : capture_step_t::failed;
    };
    if (!rate_gate_.admit(f.time)) {
        wxLogDebug("activ_v4l2_buffer dropping frame because frame rate too fast");
        return drop(capture_step_t::dropped);
    }
    const mapping_t& m = mappings_[f.buffer.index];
    const std::size_t filled = std::min<std::size_t>(f.buffer.bytesused ? f.buffer.bytesused : m.length, m.length);
    if (filled < layout_.frame_bytes()) {
        wxLogDebug("A video frame of %zu bytes, %zu expected, was given back unused.", filled, layout_.frame_bytes());
        return drop(capture_step_t::dropped);
    }
    cip_t image = cip_t::make_8bit(out_width, out_height);
    if (image.empty()) {
        drop(capture_step_t::dropped);
        return capture_step_t::out_of_memory;
    }
    flow_thresholds_t flow{static_cast<int>(res->RES_VID_GREY_THRESH->value()),
                           static_cast<int>(res->RES_VID_CHROMA_THRESH->value())};
    yuv420_copy_loops(static_cast<const std::uint8_t*>(m.start), filled, layout_, image.pixels(), out_width,
                      out_height, x0, y0, res->RES_BUF_DOPPLER->value() ? &flow : nullptr);
    if (!give_back(f.buffer, "QBUF v4l2_ioctl in activ_v4l2_buffer failed"))
        return capture_step_t::failed;
    frame_ = publish_captured_frame(image, f.time, ++released_count_);
    return capture_step_t::published;
}

std::uint64_t capture_release_time(std::uint64_t now)
{
    const auto delay = static_cast<std::uint64_t>(std::max<std::int64_t>(0, res->RES_VID_GROUP_DELAY->value()));
    return now > delay * ticks_per_ms ? now - delay * ticks_per_ms : 0;
}

bool frame_rate_gate_t::admit(std::uint64_t time)
{
    const auto rate = res->RES_VID_RATE->value();
    if (rate <= 0)
        return true;
    if (time < next_)
        return false;
    const std::uint64_t period = 10000000u / static_cast<std::uint64_t>(rate);
    next_ = next_ == 0 || time - next_ >= period ? time + period : next_ + period;
    return true;
}

std::shared_ptr<vid_stat_t> publish_captured_frame(const cip_t& image, std::uint64_t time, std::uint64_t count)
{
    auto frame = std::make_shared<vid_stat_t>();
    frame->image = image;
    frame->size = static_cast<std::int32_t>(image.pixel_count());
    frame->width = static_cast<std::uint32_t>(image.width());
    frame->height = static_cast<std::uint32_t>(image.height());
    frame->time = time;
    frame->frame_count = count;
    res->RES_VIDEO_RATE_COUNT_EVENT->write(static_cast<unsigned long long>(time));
    res->RES_VIDEO_CAPTURE_EVENT->write(frame);
    return frame;
}

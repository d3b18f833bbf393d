#include "simulated_source.h"

#include <algorithm>
#include <cstring>

#include "demo/bscan.h"

namespace {

constexpr std::uint64_t default_interval = 400000;  // 25 frames a second
constexpr std::uint64_t longest_interval = 10000000;
constexpr long most_frames_skipped = 100000;  // per pump, after a long stall
constexpr int chroma_swing = 40;              // well past the flow threshold

fake_v4l2_settings_t device_for(const simulated_frames_t& frames)
{
    fake_v4l2_settings_t s;
    s.card = "Simulated images";
    s.inputs = {"Composite (simulated)"};
    s.standards.clear();
    s.max_width = std::max(16L, frames.width());
    s.max_height = std::max(16L, frames.height());
    s.monotonic = false;  // stamped on the master clock itself
    return s;
}

}  // namespace

recording_replay_t::recording_replay_t(std::vector<cip_t> frames, std::vector<std::uint64_t> times, bool doppler)
    : frames_(std::move(frames)), doppler_(doppler)
{
    const std::size_t n = frames_.size();
    std::uint64_t mean = default_interval;
    if (n > 1 && times.size() >= n && times[n - 1] > times[0])
        mean = std::clamp<std::uint64_t>((times[n - 1] - times[0]) / (n - 1), 1, longest_interval);
    offsets_.resize(n);
    for (std::size_t i = 1; i < n; ++i) {
        const bool timed = times.size() >= n && times[i] > times[i - 1];
        const std::uint64_t gap = timed ? std::min(times[i] - times[i - 1], longest_interval) : mean;
        offsets_[i] = offsets_[i - 1] + gap;
    }
    loop_ = (n ? offsets_.back() : 0) + mean;
}

long recording_replay_t::width() const
{
    return frames_.empty() ? 0 : frames_.front().width();
}

long recording_replay_t::height() const
{
    return frames_.empty() ? 0 : frames_.front().height();
}

std::uint64_t recording_replay_t::next_due(std::uint64_t elapsed) const
{
    const std::uint64_t loop_start = elapsed - elapsed % loop_;
    const auto next = std::upper_bound(offsets_.begin(), offsets_.end(), elapsed - loop_start);
    return next == offsets_.end() ? loop_start + loop_ : loop_start + *next;
}

cip_t recording_replay_t::frame_at(std::uint64_t elapsed, std::uint64_t)
{
    if (frames_.empty())
        return {};
    const auto at = std::upper_bound(offsets_.begin(), offsets_.end(), elapsed % loop_);
    const cip_t& f = frames_[static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, at - offsets_.begin() - 1))];
    // A frame of another size cannot pass for this source's frames.
    return f.width() == width() && f.height() == height() ? f : cip_t{};
}

phantom_bscans_t::phantom_bscans_t(phantom body, probe_setup probe, pose_at_t pose_at, bool labels, refresh_t refresh)
    : body_(std::move(body)), probe_(probe), pose_at_(std::move(pose_at)), labels_(labels), refresh_(std::move(refresh))
{
}

std::uint64_t phantom_bscans_t::next_due(std::uint64_t elapsed) const
{
    return (elapsed / default_interval + 1) * default_interval;
}

cip_t phantom_bscans_t::frame_at(std::uint64_t, std::uint64_t now)
{
    float pose[6] = {};
    if (!pose_at_ || !pose_at_(now, pose))
        return {};  // no pose for this moment: nothing to render
    if (refresh_)
        refresh_(probe_);
    return labels_ ? render_labels(body_, pose, probe_) : render_bscan(body_, pose, probe_, now);
}

floor_bscans_t::floor_bscans_t(water_bath_t bath, pose_at_t pose_at)
    : bath_(std::move(bath)), pose_at_(std::move(pose_at))
{
}

std::uint64_t floor_bscans_t::next_due(std::uint64_t elapsed) const
{
    return (elapsed / default_interval + 1) * default_interval;
}

cip_t floor_bscans_t::frame_at(std::uint64_t, std::uint64_t now)
{
    float pose[6] = {};
    if (!pose_at_ || !pose_at_(now, pose))
        return {};
    return render_floor_bscan(bath_, pose, now);
}

simulated_image_source_t::simulated_image_source_t(std::unique_ptr<simulated_frames_t> frames)
    : frames_(std::move(frames)), device_({device_for(*frames_)})
{
}

void simulated_image_source_t::pump(std::uint64_t now)
{
    if (!device_.streaming()) {
        started_ = false;  // a new stream starts its own timeline
        return;
    }
    if (!started_) {
        started_ = true;
        start_ = now;
        next_ = 0;
    }
    if (now < start_ + next_)
        return;
    const std::uint64_t elapsed = now - start_;
    std::uint64_t due = next_;
    for (long skipped = 0; skipped < most_frames_skipped; ++skipped) {
        const std::uint64_t later = frames_->next_due(due);
        if (later > elapsed)
            break;
        due = later;
        ++dropped_;
    }
    const cip_t frame = frames_->frame_at(due, start_ + due);
    if (frame.empty()) {
        next_ = frames_->worth_waiting(elapsed - due) ? due : frames_->next_due(due);
        return;
    }
    next_ = frames_->next_due(due);
    const bool doppler = frames_->doppler();
    // Drivers stamp whole microseconds.
    device_.deliver((start_ + due) / 10 * 10, [&frame, doppler](const yuv420_layout_t& layout, std::uint8_t* out) {
        paint_coded_frame(frame, doppler, layout, out);
    });
}

void paint_coded_frame(const cip_t& frame, bool doppler, const yuv420_layout_t& layout, std::uint8_t* out)
{
    const std::size_t bytes = layout.frame_bytes();
    if (!bytes)
        return;
    std::memset(out, 128, bytes);
    const long w = std::min(layout.width, frame.width()), h = std::min(layout.height, frame.height());
    const std::uint8_t* px = frame.pixels();
    std::uint8_t* u_plane = out + layout.luma_stride * layout.height;
    std::uint8_t* v_plane = u_plane + layout.chroma_stride() * layout.chroma_rows();
    for (long r = 0; r < h; ++r)
        for (long c = 0; c < w; ++c) {
            const int code = px[r * frame.width() + c];
            if (!doppler) {
                out[r * layout.luma_stride + c] = static_cast<std::uint8_t>(code);
                continue;
            }
            out[r * layout.luma_stride + c] = static_cast<std::uint8_t>(code < 128 ? 2 * code : 4 * (code & 63));
            if ((r & 1) == 0 && (c & 1) == 0 && code >= 128) {
                const long k = (r / 2) * layout.chroma_stride() + c / 2;
                const int swing = code < 192 ? chroma_swing : -chroma_swing;
                u_plane[k] = static_cast<std::uint8_t>(128 + swing);
                v_plane[k] = static_cast<std::uint8_t>(128 - swing);
            }
        }
}

#include "rf_replay_source.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "acquisition/rf_display.h"
#include "acquisition/rf_window.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {
constexpr long most_frames_skipped = 100000;  // per step, after a long stall
constexpr std::uint64_t ticks_per_ms = 10000;
}  // namespace

rf_replay_source_t::rf_replay_source_t(std::vector<cip_t> frames, std::vector<std::uint64_t> times)
    : replay_(std::move(frames), std::move(times))
{
    vectors_ = replay_.width();
    samples_ = replay_.height();
    probe_name_ = res->RES_RF_PROBE_NAME->value();
    probe_number_ = static_cast<long>(res->RES_RF_PROBE->value());
    freq_ = static_cast<long>(res->RES_RF_FREQ->value());
    filter_ = static_cast<long>(res->RES_RF_FILTER->value());
    if (rf_display_service && recording_io)
        rf_display_service->remember_probe_folder(recording_io->recording_directory());
}

void rf_replay_source_t::update_resources()
{
    res->RES_MAX_VIDEO_WIDTH->write_no_changeprocs(vectors_);
    res->RES_MAX_VIDEO_HEIGHT->write_no_changeprocs(samples_);
    res->RES_VID_AUTO_CROP->write_no_changeprocs(false);
    // The frames held decide their own kind and size.
    if (res->RES_BUF_FRAMES->value() == 0) {
        const auto fits = [](std::int64_t offset, std::int64_t count, long size) {
            return offset >= 0 && count > 0 && offset + count <= size;
        };
        res->RES_BUF_RF->write_no_changeprocs(true);
        // A new recording names no probe yet: it takes the one its frames were shown through.
        if (res->RES_RF_PROBE_NAME->value().empty() && res->RES_RF_PROBE->value() < 0) {
            res->RES_RF_PROBE_NAME->write_no_changeprocs(probe_name_);
            res->RES_RF_PROBE->write_no_changeprocs(probe_number_);
            res->RES_RF_FREQ->write_no_changeprocs(freq_);
            res->RES_RF_FILTER->write_no_changeprocs(filter_);
        }
        // A window set on purpose (by a template, say) is kept if it fits; the
        // table's defaults (127 by 1000) would cut the frames for no reason.
        const bool defaults = res->RES_RF_VECTOR_OFFSET->value() == 0 && res->RES_RF_SAMPLE_OFFSET->value() == 0 &&
                              res->RES_RF_VECTORS->value() == 127 && res->RES_RF_SAMPLES->value() == 1000;
        if (defaults || !fits(res->RES_RF_VECTOR_OFFSET->value(), res->RES_RF_VECTORS->value(), vectors_) ||
            !fits(res->RES_RF_SAMPLE_OFFSET->value(), res->RES_RF_SAMPLES->value(), samples_)) {
            write_rf_window({0, 0, vectors_, samples_});
        }
        res->RES_FRAME_SIZE->write_no_changeprocs(res->RES_RF_VECTORS->pending() * res->RES_RF_SAMPLES->pending());
    }
    base_res_t::make_pending_writes_happen();
}

bool rf_replay_source_t::start()
{
    if (vectors_ <= 0 || samples_ <= 0)
        return false;
    running_ = true;
    started_ = false;
    return true;
}

void rf_replay_source_t::stop()
{
    running_ = false;
}

cip_t rf_replay_source_t::live_frame(const cip_t& source, std::uint64_t number) const
{
    const long vector_offset = static_cast<long>(res->RES_RF_VECTOR_OFFSET->value());
    const long sample_offset = static_cast<long>(res->RES_RF_SAMPLE_OFFSET->value());
    const long vectors = static_cast<long>(res->RES_RF_VECTORS->value());
    const long samples = static_cast<long>(res->RES_RF_SAMPLES->value());
    const rf_utility::frame_view_t view{source.signed_samples(), source.width(), source.height()};
    if (!rf_display_service)
        return {};
    const bool fits = vector_offset >= 0 && vectors > 0 && vector_offset <= source.width() - vectors &&
                      sample_offset >= 0 && samples > 0 && sample_offset <= source.height() - samples;
    if (!fits) {
        rf_display_service->show_window(view, {}, static_cast<long>(number));  // says why, once for a run of frames
        return {};
    }
    cip_t frame = cip_t::make_16bit(vectors, samples);
    if (frame.empty())
        return frame;
    for (long v = 0; v < vectors; ++v)
        std::memcpy(frame.signed_samples() + static_cast<std::size_t>(v) * static_cast<std::size_t>(samples),
                    view.samples + static_cast<std::size_t>(vector_offset + v) * static_cast<std::size_t>(source.height()) +
                        sample_offset,
                    static_cast<std::size_t>(samples) * sizeof(std::int16_t));
    if (!rf_display_service->show_window(view, frame, static_cast<long>(number)))
        return {};
    return frame;
}

capture_step_t rf_replay_source_t::step(std::uint64_t now)
{
    if (!running_)
        return capture_step_t::idle;
    // A new recording started since the source was chosen: it is an RF one again.
    const bool probe_lost = res->RES_RF_PROBE_NAME->value().empty() && res->RES_RF_PROBE->value() < 0 &&
                            (!probe_name_.empty() || probe_number_ >= 0);
    if (res->RES_BUF_FRAMES->value() == 0 && (!res->RES_BUF_RF->value() || probe_lost))
        update_resources();
    const auto delay = static_cast<std::uint64_t>(std::max<std::int64_t>(0, res->RES_VID_GROUP_DELAY->value()));
    const std::uint64_t released = now > delay * ticks_per_ms ? now - delay * ticks_per_ms : 0;
    if (!started_) {  // the replay's first frame is taken now, and released a group delay later
        started_ = true;
        start_ = now;
        next_ = 0;
    }
    if (released < start_ + next_)
        return capture_step_t::no_frame;
    const std::uint64_t elapsed = released - start_;
    std::uint64_t due = next_;
    for (long skipped = 0; skipped < most_frames_skipped; ++skipped) {
        const std::uint64_t later = replay_.next_due(due);
        if (later > elapsed)
            break;
        due = later;
        ++dropped_;
    }
    next_ = replay_.next_due(due);
    const cip_t source = replay_.frame_at(due, start_ + due);
    if (source.empty() || !source.has_samples())
        return capture_step_t::dropped;
    const std::uint64_t number = static_cast<std::uint64_t>(published_);
    const cip_t image = live_frame(source, number);
    if (image.empty())
        return capture_step_t::dropped;  // the reason was logged once
    publish_captured_frame(image, start_ + due, static_cast<std::uint64_t>(++published_));
    return capture_step_t::published;
}

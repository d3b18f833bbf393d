#include "live_recorder.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <string>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "common/timestamp.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

constexpr long buffered_frames = 1000;
constexpr std::uint64_t frame_overhead = 64;               // pose array and list entries
constexpr std::uint64_t memory_reserve = 256ull << 20;    // left for the program itself
constexpr std::uint64_t budget_without_meminfo = 1ull << 30;

std::uint64_t frame_bytes(const cip_t& image)
{
    const std::uint64_t n = image.pixel_count();
    return n + (image.has_samples() ? 2 * n : 0) + frame_overhead;
}

// MemAvailable of /proc/meminfo in bytes, 0 when it cannot be read.
std::uint64_t available_memory()
{
    std::ifstream in("/proc/meminfo");
    std::string key;
    std::uint64_t kb = 0;
    std::string unit;
    while (in >> key >> kb) {
        std::getline(in, unit);
        if (key == "MemAvailable:")
            return kb * 1024;
    }
    return 0;
}

}  // namespace

std::uint64_t frame_memory_budget(std::uint64_t held_bytes)
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGE_SIZE);
    std::uint64_t budget = budget_without_meminfo;
    if (pages > 0 && page > 0)
        budget = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) / 2;
    if (const std::uint64_t avail = available_memory())
        budget = std::min(budget, held_bytes + (avail > memory_reserve ? avail - memory_reserve : 0));
    return budget;
}

std::vector<long> sweep_first_frames(const std::vector<long>& boundaries, long frames)
{
    std::vector<long> first;
    if (frames <= 0)
        return first;
    first.push_back(0);
    for (long b : boundaries)
        if (b + 1 > first.back() && b + 1 < frames)
            first.push_back(b + 1);
    return first;
}

live_recorder::live_recorder(clock_t clock) : clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return master_clock ? master_clock->hundred_ns_time() : timestamp::wall_clock_now(); };
    record_proc_ = std::make_unique<pmf_functor<live_recorder>>(this, &live_recorder::record_activity);
    image_only_proc_ = std::make_unique<pmf_functor<live_recorder>>(this, &live_recorder::record_image_only_activity);
    stop_proc_ = std::make_unique<pmf_functor<live_recorder>>(this, &live_recorder::stop);
    res->RES_STOP_IMAGING->read(stop_proc_.get());
}

live_recorder::~live_recorder()
{
    record_proc_.reset();
    image_only_proc_.reset();
    stop_proc_.reset();
}

bool live_recorder::start()
{
    if (recording_)
        return true;
    const bool with_positions = res->RES_POS_REC->value();
    const auto& cards = res->RES_VID_CARD_LIST->value();
    refusal_.clear();
    if (!cards || cards->empty()) {
        refusal_ = "Recording needs an image source, and none was found.";
        wxLogWarning("%s", refusal_);
        return false;
    }
    if (with_positions && res->RES_POSITION_SOURCE->value() == SENSOR_NONE && !res->RES_FLAPPING->value() &&
        !res->RES_ZABER_RUNNING->value()) {
        refusal_ = "Recording with positions needs a position sensor, a swept probe or a running gantry.";
        wxLogWarning("%s", refusal_);
        return false;
    }
    if (!with_positions) {
        res->RES_FRAMES_IN_VOL->write_no_changeprocs(1);
        res->RES_FLAP_PAIREDSCAN->write_no_changeprocs(0);
    }
    adopt_sweeps();
    held_ = held_bytes();
    budget_ = budget_override_ ? budget_override_ : frame_memory_budget(held_);
    size_reported_ = false;
    with_positions_ = with_positions;
    start_time_ = clock_();
    recording_ = true;
    res->RES_RECORDING_NOW->write_no_changeprocs(true);
    base_res_t::make_pending_writes_happen();
    if (with_positions && observer_)
        observer_->recording_started();
    if (with_positions)
        res->RES_LIVE_POS_CAPTURE_EVENT->read(record_proc_.get());
    else
        res->RES_VIDEO_CAPTURE_EVENT->read(image_only_proc_.get());
    return true;
}

void live_recorder::stop()
{
    if (!recording_)
        return;
    recording_ = false;
    res->RES_LIVE_POS_CAPTURE_EVENT->remove_worry(record_proc_.get());
    res->RES_VIDEO_CAPTURE_EVENT->remove_worry(image_only_proc_.get());
    res->RES_FRAME_SIZE->write_no_changeprocs(res->RES_BUF_RF->value()
                                                  ? res->RES_RF_VECTORS->value() * res->RES_RF_SAMPLES->value()
                                                  : res->RES_BUF_WIDTH->value() * res->RES_BUF_HEIGHT->value());
    res->RES_RECORDING_NOW->write_no_changeprocs(false);
    const long mode = res->RES_VID_RATE->value();
    // Only a sweep that gained frames gets a boundary: none at -1 on an empty
    // buffer, no second one on the same frame.
    if (with_positions_ && res->RES_POSITION_SOURCE->value() != SENSOR_NONE && mode != RATE_SINGLE_SHOT &&
        mode != RATE_BUFFERED && sweep_open()) {
        boundaries_.push_back(bufp->frames() - 1);
        sweep_ended();
    }
    if (with_positions_ && observer_)
        observer_->recording_stopped();
    publish_sweeps();
    if (recording_io)
        recording_io->frames_changed();
    else
        res->RES_BUF_FRAMES->write_no_changeprocs(bufp->frames());
    base_res_t::make_pending_writes_happen();
}

void live_recorder::record_activity()
{
    if (!recording_)
        return;
    const auto& paired = res->RES_LIVE_POS_CAPTURE_EVENT->value();
    if (!paired || !paired->gate_open)
        return;
    if (!paired->frame || paired->frame->image.empty()) {
        wxLogDebug("Null pointer came out of a video capture driver !! spotted in RecordActivity");
        return;
    }
    append(paired->frame->image, paired->probe_pose, paired->frame->time);
}

void live_recorder::record_image_only_activity()
{
    if (!recording_)
        return;
    const auto& frame = res->RES_VIDEO_CAPTURE_EVENT->value();
    if (!frame || frame->image.empty()) {
        wxLogDebug("Null pointer came out of a video capture driver !! spotted in RecordImageOnlyActivity");
        return;
    }
    append(frame->image, {}, frame->time);
}

// The image data file holds frames of one length: a frame of another size
// would shift every frame after it.
bool live_recorder::frame_fits(const cip_t& image)
{
    // Frames are stored all of the size of the frames already held: a window
    // changed since (RF, or a network source's new frame size) does not change them.
    // RF frames are stored as their samples, vectors by samples.
    const bool rf = res->RES_BUF_RF->value();
    const cip_t first = bufp->frames() > 0 ? bufp->imagecp(0) : cip_t{};
    const long w = rf ? (first ? first.width() : static_cast<long>(res->RES_RF_VECTORS->value()))
                      : (first ? first.width() : static_cast<long>(res->RES_BUF_WIDTH->value()));
    const long h = rf ? (first ? first.height() : static_cast<long>(res->RES_RF_SAMPLES->value()))
                      : (first ? first.height() : static_cast<long>(res->RES_BUF_HEIGHT->value()));
    if (image.width() == w && image.height() == h && (!rf || image.has_samples()))
        return true;
    if (!size_reported_) {
        size_reported_ = true;
        if (rf)
            wxLogWarning("%s are not recorded: this recording holds RF frames of %ld vectors by %ld samples.",
                         image.has_samples() ? wxString::Format("RF frames of %ld vectors by %ld samples",
                                                                image.width(), image.height())
                                             : wxString("Frames without RF samples"),
                         w, h);
        else
            wxLogWarning("Frames of %ld x %ld pixels are not recorded: this recording holds frames of %ld x %ld.",
                         image.width(), image.height(), w, h);
    }
    return false;
}

void live_recorder::append(const cip_t& image, const counted_array_ptr<float>& pose, std::uint64_t time)
{
    if (!frame_fits(image))
        return;
    const std::uint64_t bytes = frame_bytes(image);
    if (held_ + bytes > budget_) {
        out_of_memory();
        return;
    }
    try {
        bufp->append(image, pose, time);
    } catch (const std::bad_alloc&) {
        out_of_memory();
        return;
    }
    held_ += bytes;
    after_append();
}

void live_recorder::out_of_memory()
{
    wxLogError("Insufficient memory to proceed !\n\nSave this data set and close it\nbefore attempting to record more "
               "data.");
    res->RES_STOP_IMAGING->write();
}

void live_recorder::after_append()
{
    const long mode = res->RES_VID_RATE->value();
    if (with_positions_ && observer_)
        observer_->frame_recorded(bufp->frames() - 1);
    if (mode == RATE_BUFFERED && bufp->frames() > buffered_frames) {
        while (bufp->frames() > buffered_frames)
            drop_oldest();
        if (observer_)
            observer_->frames_discarded();
    }
    const long steps = res->RES_FLAP_STEPS->value();
    if (res->RES_FLAPPING->value() && steps > 0) {
        const long first = boundaries_.empty() ? 0 : boundaries_.back() + 1;
        if (bufp->frames() - first >= steps) {
            boundaries_.push_back(bufp->frames() - 1);
            sweep_ended();
        }
    }
    publish_sweeps();
    base_res_t::make_pending_writes_happen();
    if (mode == RATE_SINGLE_SHOT)
        stop();
}

bool live_recorder::sweep_open() const
{
    const long n = bufp->frames();
    return n > 0 && (boundaries_.empty() || boundaries_.back() < n - 1);
}

void live_recorder::finish_sweep()
{
    if (!sweep_open())
        return;
    boundaries_.push_back(bufp->frames() - 1);
    sweep_ended();
    publish_sweeps();
    base_res_t::make_pending_writes_happen();
}

// The sweep that the newest boundary closes.
void live_recorder::sweep_ended()
{
    if (!observer_ || !with_positions_ || boundaries_.empty())
        return;
    const long first = boundaries_.size() > 1 ? boundaries_[boundaries_.size() - 2] + 1 : 0;
    observer_->sweep_finished(first, boundaries_.back());
}

void live_recorder::clear_record()
{
    const long n = bufp->frames();
    if (recording_ && !boundaries_.empty() && !res->RES_FLAPPING->value()) {
        if (n - 1 > boundaries_.back()) {
            keep_first(boundaries_.back() + 1);  // the sweep being recorded
        } else if (boundaries_.size() < 2) {
            keep_first(0);
            boundaries_.clear();
        } else {
            boundaries_.pop_back();  // the last finished sweep
            keep_first(boundaries_.back() + 1);
        }
    } else {
        keep_first(0);
        boundaries_.clear();
    }
    held_ = held_bytes();
    if (observer_)
        observer_->frames_discarded();
    publish_sweeps();
    if (recording_io)
        recording_io->frames_changed();
    base_res_t::make_pending_writes_happen();
}

void live_recorder::keep_first(long count)
{
    const long n = bufp->frames();
    if (count <= 0) {
        bufp->clear();
        return;
    }
    if (count >= n)
        return;
    std::vector<char> keep(static_cast<std::size_t>(n), 0);
    std::fill(keep.begin(), keep.begin() + count, 1);
    bufp->thin(keep);
}

void live_recorder::drop_oldest()
{
    const long n = bufp->frames();
    if (n == 0)
        return;
    const std::uint64_t bytes = frame_bytes(bufp->imagecp(0));
    std::vector<char> keep(static_cast<std::size_t>(n), 1);
    keep[0] = 0;
    bufp->thin(keep);
    held_ -= std::min(held_, bytes);
    // Boundaries move with their frames; one that leaves the buffer is gone.
    std::vector<long> kept;
    for (long b : boundaries_)
        if (b - 1 >= 0)
            kept.push_back(b - 1);
    boundaries_ = std::move(kept);
}

// Starts from the recording's sweeps as they stand when they are not the ones
// this recorder left (a recording was read, or the buffer cleared elsewhere):
// every sweep there counts as finished.
void live_recorder::adopt_sweeps()
{
    const long n = bufp->frames();
    std::vector<long> first;
    if (const auto& sweeps = res->RES_SWEEPS->value())
        for (long f : sweeps->first_frames)
            if (f >= 0 && f < n)
                first.push_back(f);
    std::sort(first.begin(), first.end());
    first.erase(std::unique(first.begin(), first.end()), first.end());
    const bool ours = (boundaries_.empty() || boundaries_.back() < n) && sweep_first_frames(boundaries_, n) == first;
    if (ours)
        return;
    boundaries_.clear();
    for (std::size_t k = 1; k < first.size(); ++k)
        boundaries_.push_back(first[k] - 1);
    if (n > 0 && (boundaries_.empty() || boundaries_.back() < n - 1))
        boundaries_.push_back(n - 1);
}

void live_recorder::publish_sweeps()
{
    std::vector<long> first = sweep_first_frames(boundaries_, bufp->frames());
    const auto& current = res->RES_SWEEPS->value();
    if (current && current->first_frames == first)
        return;
    auto sweeps = std::make_shared<multi_sweeps>();
    sweeps->first_frames = std::move(first);
    res->RES_SWEEPS->write_no_changeprocs(sweeps);
    res->SWEEPS->write_no_changeprocs();
}

std::uint64_t live_recorder::held_bytes() const
{
    std::uint64_t total = 0;
    for (long i = 0; i < bufp->frames(); ++i)
        total += frame_bytes(bufp->imagecp(i));
    return total;
}

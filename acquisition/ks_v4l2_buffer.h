// The Video4Linux2 image source: finds the capture devices, streams the
// chosen one through memory-mapped driver buffers, stamps each frame on the
// master clock, holds it back until the tracker samples around it have
// arrived, applies the frame-rate ceiling, crops and converts it, and
// publishes it with RES_VIDEO_CAPTURE_EVENT.
//
// A driver that fails, refuses a setting or disappears is reported once and
// acquisition stops; nothing is published from a failed device, and the
// program goes on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <linux/videodev2.h>

#include "acquisition/copy_loops.h"
#include "acquisition/v4l2_seam.h"
#include "common/functor.h"
#include "common/vid_stat.h"
#include "resources/resource_value_types.h"

// What one acquisition step did, for the front end and the tests.
enum class capture_step_t { idle, no_frame, dropped, published, out_of_memory, failed };

// How every image source releases a frame: its rate count and the frame,
// numbered `count`, taken at `time` (master ticks). Returns what was published.
std::shared_ptr<vid_stat_t> publish_captured_frame(const cip_t& image, std::uint64_t time, std::uint64_t count);

// The latest frame time every image source may release at `now` (master
// ticks): now less the group delay, so that the tracker samples around the
// frame have arrived.
std::uint64_t capture_release_time(std::uint64_t now);

// The frame-rate ceiling (RES_VID_RATE frames a second, 0: none) every image
// source applies: frames are let through on a steady cadence, so a device a
// little faster than the ceiling still gives the rate asked for; after a
// pause the cadence starts again from the next frame, never catching up in a burst.
class frame_rate_gate_t {
public:
    // True when the frame taken at `time` may be published.
    bool admit(std::uint64_t time);
    // The next frame starts the cadence (a new stream, a new ceiling).
    void reset() { next_ = 0; }

private:
    std::uint64_t next_ = 0;
};

class ks_v4l2_buffer {
public:
    struct clocks_t {
        std::function<std::uint64_t()> now;                           // master clock, 100 ns ticks
        std::function<std::uint64_t(std::int64_t)> from_monotonic;   // CLOCK_MONOTONIC (100 ns) to master
    };

    // Runs device discovery; the list is published by construct_v4l2_buffer.
    // seam: the devices to use, the program's V4L2 seam when null;
    // source_kind: the kind of RES_VID_CARD_LIST entry this source drives.
    explicit ks_v4l2_buffer(clocks_t clocks = {}, v4l2_seam_t* seam = nullptr, int source_kind = 2);
    ~ks_v4l2_buffer();
    ks_v4l2_buffer(const ks_v4l2_buffer&) = delete;
    ks_v4l2_buffer& operator=(const ks_v4l2_buffer&) = delete;

    // Every capture device that can stream video, as (name, kind 2, number).
    static std::vector<vid_card_list_t> discover_devices(v4l2_seam_t& seam = v4l2_seam());
    // Publishes the devices found with RES_VID_CARD_LIST and follows the settings that restart the stream.
    void construct_v4l2_buffer();
    const std::vector<vid_card_list_t>& devices() const { return devices_; }
    void rediscover();

    bool open_device_set_input_standard();
    // Asks for YU12 frames of width x height; false (with the size granted
    // written back) when the driver gives anything else.
    bool set_v4l2_format(long& width, long& height);
    void get_device_video_dimensions(long& width, long& height);
    void update_resources();

    bool start_v4l2_buffer();
    void stop_v4l2_buffer();
    capture_step_t activ_v4l2_buffer();
    void change_v4l2_buffer();
    bool streaming() const { return streaming_; }
    // The last frame published.
    const std::shared_ptr<vid_stat_t>& frame() const { return frame_; }

    // A released driver buffer with its master-clock time.
    struct released_t {
        v4l2_buffer buffer{};
        std::uint64_t time = 0;
    };
    // The next frame at least the group delay old and at most 200 ms older
    // than that; older frames go back to the driver, newer ones are held.
    std::optional<released_t> v4l2_DelayGetLatestValid();

private:
    v4l2_seam_t& seam() const { return seam_ ? *seam_ : v4l2_seam(); }
    struct settings_t {
        long device = -1, port = 0, port_number = 0, standard = 0, buffers = 0;
        bool operator==(const settings_t&) const = default;
    };
    struct mapping_t {
        void* start = nullptr;
        std::size_t length = 0;
    };
    settings_t wanted_settings() const;
    int selected_device() const;
    bool select_input();
    bool select_standard();
    bool dequeue(v4l2_buffer* out);
    bool give_back(v4l2_buffer& buffer, const char* failure);
    std::uint64_t frame_time(const v4l2_buffer& buffer);
    void fail(const wxString& message);
    void close_device();

    clocks_t clocks_;
    v4l2_seam_t* seam_ = nullptr;
    int source_kind_ = 2;
    std::vector<vid_card_list_t> devices_;
    int fd_ = -1;
    bool streaming_ = false;
    settings_t started_with_;
    yuv420_layout_t layout_;
    std::vector<mapping_t> mappings_;
    std::optional<released_t> held_;
    std::int64_t clock_offset_ = 0;   // added to driver times that are not monotonic
    std::int64_t smallest_gap_ = 0;   // now - driver time, smallest over the first frames
    std::uint64_t dequeued_ = 0;
    frame_rate_gate_t rate_gate_;
    std::uint64_t released_count_ = 0;
    bool crop_warned_ = false;
    std::shared_ptr<vid_stat_t> frame_;
    std::unique_ptr<pmf_functor<ks_v4l2_buffer>> change_proc_;
};

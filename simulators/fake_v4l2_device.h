// An in-memory Video4Linux2 capture device behind the capture seam, for the
// tests and for simulated image sources. It answers the ioctls the capture
// code uses, hands out buffers of its own memory for mapping, and delivers a
// frame only when told to, with the time stamp it is given. Faults real
// drivers show are switches in its settings.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "acquisition/copy_loops.h"
#include "acquisition/v4l2_seam.h"

struct fake_v4l2_settings_t {
    std::string card = "Fake capture";
    std::vector<std::string> inputs = {"Composite0", "S-Video"};
    std::vector<std::string> standards = {"PAL", "NTSC"};  // empty: the device has no standards
    bool can_capture = true, can_stream = true;
    bool refuse_input = false, refuse_standard = false;
    long max_width = 768, max_height = 576;
    long grant_width = 0, grant_height = 0;  // when set, S_FMT grants at most this
    long row_padding = 0;                    // bytes after each Y row
    unsigned max_buffers = 32;
    bool wrong_memory = false;               // grants user-pointer buffers
    long short_by = 0;                       // frames delivered this many bytes short
    bool monotonic = true;                   // buffers flagged with the monotonic clock
    long vanish_after = -1;                  // frames delivered before the device disappears
};

class fake_v4l2_device_t final : public v4l2_seam_t {
public:
    // Fills a YU12 frame of the given layout.
    using painter_t = std::function<void(const yuv420_layout_t&, std::uint8_t*)>;

    // Devices numbered from 0, each with its settings.
    explicit fake_v4l2_device_t(std::vector<fake_v4l2_settings_t> devices = {fake_v4l2_settings_t{}});

    int open_device(const std::string& path, int flags) override;
    int close_device(int fd) override;
    int ioctl_device(int fd, unsigned long request, void* arg) override;
    void* map(std::size_t length, int fd, std::int64_t offset) override;
    int unmap(void* start, std::size_t length) override;

    // Fills the oldest queued buffer of the streaming device with a frame
    // stamped at `driver_time` (100 ns ticks of the device's clock). False
    // when no buffer was queued (the frame is lost, as on a real device).
    bool deliver(std::uint64_t driver_time, const painter_t& paint = {});

    fake_v4l2_settings_t& settings(int device) { return devices_.at(static_cast<std::size_t>(device)); }
    long frames_lost() const { return lost_; }
    int open_count() const { return static_cast<int>(open_.size()); }
    unsigned buffers_granted() const { return static_cast<unsigned>(buffers_.size()); }
    unsigned buffers_held_by_host() const;
    bool streaming() const { return streaming_; }
    int selected_input() const { return input_; }
    int selected_standard() const { return standard_; }
    yuv420_layout_t layout() const { return layout_; }

private:
    struct buffer_t {
        std::vector<std::uint8_t> bytes;
        enum { host, queued, done } state = host;
        std::uint64_t time = 0;
        std::uint32_t sequence = 0, used = 0;
    };
    int device_of(int fd) const;
    int format(int device, void* arg, bool set);

    std::vector<fake_v4l2_settings_t> devices_;
    std::map<int, int> open_;  // fd -> device number
    int next_fd_ = 1000;
    int streaming_device_ = -1;
    bool streaming_ = false, vanished_ = false;
    int input_ = -1, standard_ = -1;
    yuv420_layout_t layout_;
    std::vector<buffer_t> buffers_;
    std::vector<std::size_t> queued_order_, done_order_;
    std::uint32_t sequence_ = 0;
    long lost_ = 0, delivered_ = 0;
};

// Video capture through its real code path, on an in-memory device behind the
// V4L2 seam and a clock the test moves: release timing, clock offsets, the
// rate ceiling, cropping, and every driver fault ending in a clear message
// with nothing published from the failed device.
#include <algorithm>
#include <functional>

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include "acquisition/ks_video_capture.h"
#include "resources/resource_table.h"
#include "simulators/fake_v4l2_device.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"

namespace {

constexpr std::uint64_t ms = 10000;  // ticks

// Counts the frames published while it listens.
class frame_listener_t : public base_functor {
public:
    frame_listener_t() { res->RES_VIDEO_CAPTURE_EVENT->read(this); }
    void call() override { frames.push_back(res->RES_VIDEO_CAPTURE_EVENT->value()); }
    std::vector<std::shared_ptr<vid_stat_t>> frames;
};

// Luma of a test frame: its number and the pixel's place, so a wrong row,
// column or frame shows.
std::uint8_t luma(int frame, long c, long r)
{
    return static_cast<std::uint8_t>(frame * 29 + c * 3 + r * 7);
}

class VideoCapture : public SessionTest {
protected:
    fake_v4l2_device_t fake{{fake_v4l2_settings_t{}}};
    std::uint64_t now = 1000000000;  // the master clock, moved by the tests
    std::int64_t monotonic_offset = 0;
    log_capture log;

    void SetUp() override
    {
        SessionTest::SetUp();
        fake.set_device_prefix("/fake/video");
        set_v4l2_seam(&fake);
        res->RES_VID_GROUP_DELAY->write(50);
        res->RES_BUF_WIDTH->write(320);
        res->RES_BUF_HEIGHT->write(240);
    }
    void TearDown() override
    {
        set_v4l2_seam(nullptr);
        SessionTest::TearDown();
    }
    ks_v4l2_buffer::clocks_t clocks()
    {
        return {[this] { return now; }, [this](std::int64_t t) { return std::uint64_t(t + monotonic_offset); }};
    }
    std::unique_ptr<ks_v4l2_buffer> started(bool expect_ok = true)
    {
        auto v = std::make_unique<ks_v4l2_buffer>(clocks());
        res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(v->devices()));
        res->RES_VID_CARD->write(0);
        EXPECT_EQ(v->start_v4l2_buffer(), expect_ok);
        return v;
    }
    // Delivers frame number n stamped `age` before now, painted with luma().
    bool deliver(int n, std::uint64_t age)
    {
        return fake.deliver(now - age, [n](const yuv420_layout_t& l, std::uint8_t* p) {
            for (long r = 0; r < l.height; ++r)
                for (long c = 0; c < l.width; ++c)
                    p[r * l.luma_stride + c] = luma(n, c, r);
        });
    }
};

// Catches devices that cannot stream listed as sources, and a real lookup
// that invents devices where there are none.
TEST_F(VideoCapture, DiscoveryListsStreamingDevicesOnly)
{
    fake_v4l2_settings_t webcam, stills;
    webcam.card = "Frame grabber";
    stills.can_stream = false;
    fake_v4l2_device_t two{{stills, webcam}};
    two.set_device_prefix("/fake/video");
    set_v4l2_seam(&two);
    const auto found = ks_v4l2_buffer::discover_devices();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].name, "Frame grabber");
    EXPECT_EQ(found[0].kind, 2);
    EXPECT_EQ(found[0].device, 1);
    EXPECT_EQ(two.open_count(), 0) << "every device opened for discovery is closed";

    set_v4l2_seam(nullptr);
    v4l2_seam().set_device_prefix("/nonexistent/video");
    EXPECT_TRUE(ks_v4l2_buffer::discover_devices().empty());
    v4l2_seam().set_device_prefix("/dev/video");
    set_v4l2_seam(&fake);
}

// A frame younger than the group delay waits; one older than the 200 ms
// window goes back to the driver; each is released with its own pixels.
TEST_F(VideoCapture, FramesAreReleasedOnlyOnceOldEnough)
{
    auto v = started();
    ASSERT_TRUE(deliver(1, 300 * ms));  // too old: discarded
    ASSERT_TRUE(deliver(2, 30 * ms));   // too young: held back
    EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::no_frame);
    now += 25 * ms;  // now 55 ms old
    ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published);
    const vid_stat_t& f = *v->frame();
    EXPECT_EQ(f.time, now - 55 * ms);
    EXPECT_EQ(f.frame_count, 1u);
    ASSERT_EQ(f.width, 320u);
    EXPECT_EQ(f.image.pixels()[17 * 320 + 5], luma(2, 5, 17));
    EXPECT_EQ(fake.buffers_held_by_host(), 0u) << "every buffer is back with the driver";
    EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::no_frame);
}

// Driver clocks: monotonic stamps convert exactly; another clock 70 s away
// gets the smallest gap seen over the first frames, so one frame that waited
// in the queue does not shift every later time stamp.
TEST_F(VideoCapture, DriverClocksBecomeMasterClockTimes)
{
    monotonic_offset = 123450;  // drivers stamp in microseconds
    auto v = started();
    ASSERT_TRUE(fake.deliver(now - 60 * ms - monotonic_offset));
    ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published);
    EXPECT_EQ(v->frame()->time, now - 60 * ms);
    v->stop_v4l2_buffer();

    fake.settings(0).monotonic = false;
    v = started();
    const std::uint64_t behind = 700000000;  // 70 s
    const std::uint64_t queued[] = {40 * ms, 5 * ms, 20 * ms, 5 * ms};  // time each frame waited before its dequeue
    std::uint64_t smallest = queued[0];
    for (int k = 0; k < 4; ++k) {
        now += 100 * ms;
        const std::uint64_t driver = now - behind - queued[k];
        ASSERT_TRUE(fake.deliver(driver));
        EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::no_frame) << k << ": dequeued now, too young";
        now += 60 * ms;
        ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published) << k;
        smallest = std::min(smallest, queued[k]);
        EXPECT_EQ(v->frame()->time, driver + behind + smallest) << k;
    }
}

// RES_VID_RATE 10 lets at most one frame through per 100 ms.
TEST_F(VideoCapture, RateCeiling)
{
    res->RES_VID_RATE->write(10);
    auto v = started();
    std::vector<std::uint64_t> times;
    for (int k = 0; k < 25; ++k) {
        ASSERT_TRUE(deliver(k, 60 * ms));
        if (v->activ_v4l2_buffer() == capture_step_t::published)
            times.push_back(v->frame()->time);
        now += 40 * ms;
    }
    // Over a second of frames every 40 ms: ten, never ahead of 10 per second from the first.
    ASSERT_EQ(times.size(), 10u);
    for (std::size_t k = 1; k < times.size(); ++k)
        EXPECT_GE(times[k] - times[0], k * 100 * ms) << k;
    EXPECT_EQ(fake.buffers_held_by_host(), 0u);
}

// Every image source's ceiling: a device a little faster than asked still
// gives the rate asked for, and after a pause it does not catch up in a burst.
TEST_F(VideoCapture, RateCeilingKeepsItsCadenceAndStartsAfreshAfterAPause)
{
    res->RES_VID_RATE->write(25);
    frame_rate_gate_t gate;
    const auto admitted_in_a_second_from = [&gate](std::uint64_t start) {
        int admitted = 0;
        for (std::uint64_t k = 0; k < 30; ++k)  // 30 frames a second
            admitted += gate.admit(start + k * 10000000u / 30);
        return admitted;
    };
    EXPECT_EQ(admitted_in_a_second_from(0), 25);
    EXPECT_EQ(admitted_in_a_second_from(30000000), 25) << "after a pause of two seconds";
    res->RES_VID_RATE->write(0);
    EXPECT_EQ(admitted_in_a_second_from(60000000), 30) << "no ceiling";
}

// A window outside the device frame reads nothing and warns once; mended, frames flow.
TEST_F(VideoCapture, CropWindowIsCheckedBeforeAnyRead)
{
    res->RES_VID_XPOS->write(500);
    auto v = started();
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(deliver(k, 60 * ms));
        EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::no_frame);
    }
    EXPECT_EQ(log.count(wxLOG_Warning), 1u);
    EXPECT_TRUE(log.contains("does not fit in the 768 x 576 video frame", wxLOG_Warning));
    res->RES_VID_XPOS->write(447);  // 447 + 320 = 767: the last full window, odd origin
    res->RES_VID_YPOS->write(3);
    now += 300 * ms;  // the frames that waited are now too old, the next one not
    ASSERT_TRUE(deliver(9, 60 * ms));
    ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published);
    EXPECT_EQ(v->frame()->image.pixels()[0], luma(9, 447, 3));
    EXPECT_EQ(v->frame()->image.pixels()[239 * 320 + 319], luma(9, 766, 242));
}

// Each driver fault: a clear message, no frame published, the program goes on.
TEST_F(VideoCapture, DriverFaultsStopCaptureWithAMessage)
{
    const struct {
        const char* what;
        std::function<void(fake_v4l2_settings_t&)> fault;
        const char* message;
    } cases[] = {
        {"refused input", [](auto& s) { s.refuse_input = true; }, "VIDIOC_S_INPUT"},
        {"refused standard", [](auto& s) { s.refuse_standard = true; }, "VIDIOC_S_STD"},
        {"no input of the type", [](auto& s) { s.inputs = {"Camera", "Digital"}; },
         "its inputs are 'Camera', 'Digital'"},
        {"wrong memory", [](auto& s) { s.wrong_memory = true; }, "will not allocate the right type of buffers"},
        {"no buffers", [](auto& s) { s.max_buffers = 0; }, "granted no buffers"},
    };
    for (const auto& c : cases) {
        fake.settings(0) = fake_v4l2_settings_t{};
        c.fault(fake.settings(0));
        log.clear();
        const auto before = res->RES_VID_BUFFERS->value();
        auto v = started(false);
        EXPECT_TRUE(log.contains(c.message, wxLOG_Error)) << c.what;
        EXPECT_FALSE(v->streaming()) << c.what;
        EXPECT_FALSE(fake.deliver(now)) << c.what << ": the device must not be left streaming";
        EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::idle) << c.what;
        EXPECT_EQ(res->RES_VID_BUFFERS->value(), before) << c.what << ": nothing granted is stored";
        EXPECT_EQ(fake.open_count(), 0) << c.what;
    }
}

// Devices that are odd but usable: one input of another type, no standards,
// fewer buffers (kept without a restart), padded rows.
TEST_F(VideoCapture, UnusualDevicesStillCapture)
{
    fake_v4l2_settings_t& s = fake.settings(0);
    s.inputs = {"HDMI"};
    s.standards.clear();
    s.max_buffers = 3;
    s.row_padding = 64;
    auto v = started();
    EXPECT_TRUE(log.contains("is not of the chosen type; it is used anyway", wxLOG_Warning));
    v->construct_v4l2_buffer();  // follows RES_VID_BUFFERS from now on
    EXPECT_EQ(res->RES_VID_BUFFERS->value(), 3);
    res->RES_VID_BUFFERS->write(3);
    EXPECT_EQ(fake.open_count(), 1) << "the granted count does not restart the stream";
    ASSERT_TRUE(deliver(4, 60 * ms));
    ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published);
    EXPECT_EQ(v->frame()->image.pixels()[100 * 320 + 300], luma(4, 300, 100));
}

// A frame shorter than the format goes back unused; a device that vanishes
// mid-stream is reported once and capture stops.
TEST_F(VideoCapture, ShortFramesAndVanishingDevices)
{
    fake.settings(0).short_by = 1;
    auto v = started();
    ASSERT_TRUE(deliver(1, 60 * ms));
    EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::dropped);
    EXPECT_EQ(fake.buffers_held_by_host(), 0u);
    v->stop_v4l2_buffer();

    fake.settings(0) = fake_v4l2_settings_t{};
    fake.settings(0).vanish_after = 2;
    v = started();
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(deliver(k, 60 * ms));
        ASSERT_EQ(v->activ_v4l2_buffer(), capture_step_t::published);
    }
    EXPECT_FALSE(deliver(2, 60 * ms));
    log.clear();
    EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::failed);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(v->activ_v4l2_buffer(), capture_step_t::idle);
    EXPECT_EQ(log.count(wxLOG_Error), 1u);
    EXPECT_TRUE(log.contains("stopped answering", wxLOG_Error));
}

// The 4:3 standards trim the larger side of the device frame.
TEST_F(VideoCapture, FourThreeStandardsTrimTheFrame)
{
    ks_v4l2_buffer v(clocks());
    res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(v.devices()));
    res->RES_VIDEO_STANDARD->write(static_cast<video_standard_t>(2));
    const struct {
        long max_width, width, height;
    } cases[] = {{768, 768, 576}, {720, 720, 540}};
    for (const auto& c : cases) {
        fake.settings(0).max_width = c.max_width;
        long w = 0, h = 0;
        v.get_device_video_dimensions(w, h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

// The front end runs the device exactly while someone listens for frames,
// publishing from the idle ticks.
TEST_F(VideoCapture, FrontEndRunsWhileFramesAreWanted)
{
    ks_video_capture capture(clocks());
    ASSERT_EQ(capture.kind(), IMAGE_SOURCE_V4L2);
    EXPECT_EQ(res->RES_MAX_VIDEO_WIDTH->value(), 768);
    EXPECT_FALSE(fake.streaming());
    {
        frame_listener_t listener;
        base_res_t::make_pending_writes_happen();
        EXPECT_TRUE(fake.streaming());
        ASSERT_TRUE(deliver(5, 60 * ms));
        res->RES_IDLE_EVENT->write();
        ASSERT_EQ(listener.frames.size(), 1u);
        EXPECT_EQ(listener.frames[0]->image.pixels()[0], luma(5, 0, 0));
    }
    base_res_t::make_pending_writes_happen();
    EXPECT_FALSE(fake.streaming());
    EXPECT_EQ(fake.open_count(), 0);
}

}  // namespace

// The RF demo as users meet it: opened through its own probe file it shows
// the phantom's echo levels at their true brightness, and replayed as a live
// RF source its frames carry their samples and go through the RF display.
#include <cmath>
#include <cstring>
#include <map>

#include <gtest/gtest.h>
#include <wx/filename.h>

#include "acquisition/ks_video_capture.h"
#include "acquisition/live_recorder.h"
#include "acquisition/rf_display.h"
#include "demo/bscan.h"
#include "demo/rf_demo.h"
#include "common/dynabuf.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "simulators/rf_replay_source.h"
#include "simulators/simulated_capture.h"
#include "support/log_capture.h"
#include "support/session_fixture.h"

namespace {

constexpr int demo_frames = 4;
constexpr std::uint64_t ms = 10000;

class RfDemo : public SessionTest {
protected:
    std::unique_ptr<rf_display_service_t> service;
    void SetUp() override
    {
        SessionTest::SetUp();
        service = std::make_unique<rf_display_service_t>(dir);
        ASSERT_TRUE(write_demo_rf_recording(dir, demo_frames));
        recording_io->new_recording();
        ASSERT_TRUE(recording_io->try_read_kestrane_file(path(demo_rf_recording_name)));  // as kestrane-tool info does
    }
    void TearDown() override
    {
        service.reset();
        SessionTest::TearDown();
    }
};

// Mean display grey minus the grey of the mean echo power, per tissue, over
// pixels well inside one tissue along their vector. A filter off the carrier,
// a wrong tap scale or a wrong compression moves these by tens of greys.
TEST_F(RfDemo, EnvelopeShowsThePhantomsEchoLevels)
{
    ASSERT_EQ(bufp->frames(), demo_frames);
    ASSERT_NE(service->recording_probe(), nullptr) << "probe_demo.cfg beside the recording is found";
    const demo_scene scene = make_rf_demo_scene(demo_frames);
    const rf_demo_setup setup;
    // 10 log10 of an exponential variable lies 2.507 dB below 10 log10 of its mean.
    const auto grey = [&](double level) {
        return 255.0 * (20.0 * std::log10(level * setup.amplitude_per_grey) - 2.507 - 20.0) / 60.0;
    };
    struct sum_t {
        double error = 0, shown = 0;
        long count = 0;
    };
    std::map<int, sum_t> tissues;
    const long reach = 16;  // the pulse and filter blur this far along a vector
    for (std::size_t f = 0; f < static_cast<std::size_t>(demo_frames); ++f) {
        const cip_t labels = render_labels(scene, f);
        const std::vector<double> level = rf_echo_amplitude(scene, f);
        const std::uint8_t* shown = bufp->imagecp(static_cast<long>(f)).pixels();
        for (long u = 0; u < setup.vectors; ++u)
            for (long s = reach; s < setup.samples - reach; ++s) {
                const std::uint8_t label = labels.pixels()[s * setup.vectors + u];
                bool uniform = true;
                for (long t = s - reach; t <= s + reach && uniform; ++t)
                    uniform = labels.pixels()[t * setup.vectors + u] == label;
                if (!uniform)
                    continue;
                sum_t& sum = tissues[label];
                const double g = shown[s * setup.vectors + u];
                sum.error += g - grey(level[static_cast<std::size_t>(s * setup.vectors + u)]);
                sum.shown += g;
                ++sum.count;
            }
    }
    const int ellipsoid = ellipsoid_label(0), vessel = tube_label(scene.body, 0);
    for (int label : {int(label_background), ellipsoid, vessel}) {
        ASSERT_GT(tissues[label].count, 1000) << "label " << label << " is cut by the sweep";
        EXPECT_NEAR(tissues[label].error / tissues[label].count, 0.0, label == vessel ? 4.0 : label == ellipsoid ? 3.0 : 1.5) << "label " << label;
    }
    const auto mean = [&](int label) { return tissues[label].shown / tissues[label].count; };
    EXPECT_GT(mean(ellipsoid), mean(label_background) + 20) << "the ellipsoid echoes more than plain tissue";
    EXPECT_LT(mean(vessel), mean(label_background) - 40) << "the vessel is dark";
}

class RfReplay : public RfDemo {
protected:
    std::uint64_t now = 5000000000;
    std::unique_ptr<image_source_t> source;
    std::unique_ptr<ks_video_capture> capture;
    std::vector<std::shared_ptr<vid_stat_t>> frames;
    std::unique_ptr<base_functor> listener;

    void choose_replay()
    {
        res->RES_SIM_IMAGE_SOURCE->write(SIMULATED_REPLAY);
        res->RES_VID_GROUP_DELAY->write(0);
        source = simulated_source_from_settings();
        ASSERT_NE(source, nullptr);
        capture = std::make_unique<ks_video_capture>(
            ks_v4l2_buffer::clocks_t{[this] { return now; }, [](std::int64_t t) { return std::uint64_t(t); }});
        capture->add_source(source.get());
        res->RES_VID_CARD->write(static_cast<std::int64_t>(res->RES_VID_CARD_LIST->value()->size() - 1));
        listener = std::make_unique<pmf_functor<RfReplay>>(this, &RfReplay::on_frame);
        res->RES_VIDEO_CAPTURE_EVENT->read(listener.get());
        base_res_t::make_pending_writes_happen();
    }
    void on_frame() { frames.push_back(res->RES_VIDEO_CAPTURE_EVENT->value()); }
    void run_for(std::uint64_t span)
    {
        for (const std::uint64_t end = now + span; now < end; now += 5 * ms)
            res->RES_IDLE_EVENT->write();
    }
    void TearDown() override
    {
        listener.reset();
        capture.reset();
        source.reset();
        RfDemo::TearDown();
    }
};

// Live RF frames are the held frames' samples, filtered exactly as the frames held were.
TEST_F(RfReplay, LiveFramesCarryTheirSamplesThroughTheDisplay)
{
    choose_replay();
    EXPECT_EQ(source->entry().kind, image_source_simulated_rf);
    EXPECT_TRUE(res->RES_RFSCOPE_VIABLE->value());
    run_for(200 * ms);
    ASSERT_GE(frames.size(), 4u);
    for (std::size_t k = 0; k < 4; ++k) {
        const cip_t& live = frames[k]->image;
        const cip_t held = bufp->imagecp(static_cast<long>(k % demo_frames));
        ASSERT_TRUE(live.has_samples()) << k;
        ASSERT_EQ(live.pixel_count(), held.pixel_count());
        EXPECT_EQ(0, std::memcmp(live.samples(), held.samples(), 2 * held.pixel_count())) << k;
        EXPECT_EQ(0, std::memcmp(live.pixels(), held.pixels(), held.pixel_count())) << k << ": not the envelope";
    }
}

// A window of vectors keeps just those vectors' samples, and their display.
TEST_F(RfReplay, LiveFramesKeepTheChosenWindow)
{
    res->RES_RF_VECTOR_OFFSET->write(40);
    res->RES_RF_VECTORS->write(30);
    choose_replay();
    run_for(100 * ms);
    ASSERT_FALSE(frames.empty());
    const cip_t& live = frames[0]->image;
    const cip_t held = bufp->imagecp(0);
    ASSERT_EQ(live.width(), 30);
    ASSERT_EQ(live.height(), held.height());
    EXPECT_EQ(0, std::memcmp(live.samples(), held.samples() + 40 * held.height(), 2 * live.pixel_count()));
    for (long s = 0; s < live.height(); s += 37)
        for (long v = 0; v < 30; ++v)
            ASSERT_EQ(live.pixels()[s * 30 + v], held.pixels()[s * held.width() + 40 + v]) << s << " " << v;
}

// Recording onto the RF frames held through a narrower window would store
// frames of two sizes in one image data file: they are refused, said once.
TEST_F(RfReplay, FramesOfAnotherSizeAreNotRecordedOntoRfFramesHeld)
{
    res->RES_RF_VECTORS->write(30);
    res->RES_POS_REC->write(false);
    choose_replay();
    live_recorder recorder([this] { return now; });
    log_capture log;
    ASSERT_TRUE(recorder.start());
    run_for(200 * ms);
    recorder.stop();
    ASSERT_FALSE(frames.empty()) << "the source did publish";
    EXPECT_EQ(bufp->frames(), demo_frames);
    EXPECT_EQ(log.count(wxLOG_Warning), 1u);
    EXPECT_TRUE(log.contains("RF frames of 30 vectors by 1024 samples are not recorded", wxLOG_Warning));
}

// A window beyond the frames publishes nothing and says why once, not at every frame.
TEST_F(RfReplay, WindowBeyondTheFramesIsReportedOnce)
{
    res->RES_RF_VECTOR_OFFSET->write(100);
    res->RES_RF_VECTORS->write(50);
    choose_replay();
    log_capture log;
    run_for(300 * ms);
    EXPECT_TRUE(frames.empty());
    EXPECT_EQ(log.count(wxLOG_Error), 1u);
    EXPECT_TRUE(log.contains("RES_RF_VECTOR_OFFSET 100", wxLOG_Error));
}

// After a new recording in another folder the source still gives whole RF
// frames shown through the probe they came with, and the oscilloscope stays usable.
TEST_F(RfReplay, ChosenRfSourceKeepsRfDataAndProbeAfterNewRecording)
{
    choose_replay();
    const cip_t held = bufp->imagecp(0);
    recording_io->new_recording();
    ASSERT_TRUE(wxFileName::Mkdir(path("elsewhere")));
    res->RES_ASCII_FILENAME->write(path("elsewhere/new.ks"));
    base_res_t::make_pending_writes_happen();
    run_for(100 * ms);
    EXPECT_TRUE(res->RES_BUF_RF->value()) << "recorded frames must be stored as RF";
    EXPECT_EQ(res->RES_RF_PROBE_NAME->value(), demo_rf_probe_name);
    EXPECT_TRUE(res->RES_RFSCOPE_VIABLE->value());
    ASSERT_FALSE(frames.empty());
    const cip_t& live = frames.front()->image;
    ASSERT_TRUE(live.has_samples());
    ASSERT_EQ(live.pixel_count(), held.pixel_count()) << "the whole frame, not the table's default window";
    EXPECT_EQ(0, std::memcmp(live.pixels(), held.pixels(), held.pixel_count())) << "not shown through the demo probe";
}

}  // namespace

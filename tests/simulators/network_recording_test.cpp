// Recording from an OpenIGTLink server, as from a tracked-ultrasound server on
// a scanner's PC: its IMAGE messages are the image source and its TRANSFORM
// messages the tracker, through the same capture, synchroniser and recorder
// as a capture card and a serial tracker. Each recorded frame must be one the
// server sent, in order, with the pose the server sent for that moment and
// the server's timing; a message that breaks the stream costs a reconnection,
// never the recording.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include <gtest/gtest.h>

#include "acquisition/igtl_image_source.h"
#include "acquisition/igtl_receiver.h"
#include "acquisition/igtl_server.h"
#include "common/dynabuf.h"
#include "common/interaction.h"
#include "common/timestamp.h"
#include "resources/resource_table.h"
#include "simulators/capture_rig.h"
#include "support/igtl_scanner.h"
#include "support/session_fixture.h"

namespace {

using namespace igtl_scanner;

class NetworkRecording : public SessionTest {
protected:
    // Three messages a frame: the receiver's 50 messages of learning its
    // clock are over, and frames are passed on.
    static constexpr long learning_frames = 20;

    // Records `frames` frames from the server through the program's capture parts.
    void record(const scanner_server_t& server, long frames)
    {
        res->RES_IGTL_SERVER->write(wxString::Format("localhost:%d", server.port()));
        res->RES_POS_DETECT->write(POS_DETECT_OPENIGTLINK);
        res->RES_VID_RATE->write(0);
        res->RES_POS_REC->write(true);
        capture_rig_t rig(interaction());
        ASSERT_EQ(rig.tracker.sensor(), SENSOR_OPENIGTLINK) << res->RES_ALERT_STRING->value();
        const auto& list = *res->RES_VID_CARD_LIST->value();
        long index = -1;
        for (std::size_t k = 0; k < list.size(); ++k)
            if (list[k].kind == image_source_igtl)
                index = static_cast<long>(k);
        ASSERT_GE(index, 0);
        res->RES_VID_CARD->write(index);
        // Recorded once the clocks' offset is learnt, as after watching the live images.
        const auto learnt = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (server.sent() < learning_frames && std::chrono::steady_clock::now() < learnt) {
            res->RES_IDLE_EVENT->write();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(rig.recorder.start());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (bufp->frames() < frames && std::chrono::steady_clock::now() < deadline) {
            res->RES_IDLE_EVENT->write();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        rig.recorder.stop();
        ASSERT_GE(bufp->frames(), frames);
    }

    // Every frame one the server sent, in order, with its pose and its timing.
    void expect_frames_as_sent(const scanner_server_t& server)
    {
        long previous = -1, first = -1;
        double worst_cm = 0.0, worst_deg = 0.0, worst_timing_ms = 0.0;
        for (long k = 0; k < bufp->frames(); ++k) {
            const cip_t frame = bufp->imagecp(k);
            ASSERT_EQ(frame.width(), width);
            ASSERT_EQ(frame.height(), height);
            const long i = frame_number(frame.pixels());
            ASSERT_GT(i, previous) << "frame " << k;
            const cip_t sent = numbered_frame(i);
            ASSERT_TRUE(std::equal(sent.pixels(), sent.pixels() + width * height, frame.pixels())) << k;
            previous = i;
            if (first < 0)
                first = k;

            const counted_array_ptr<float> got = bufp->positioncp(k);
            ASSERT_EQ(got.size(), 6u) << "frame " << k << " has no pose";
            double want[6];
            pose_of(i, want);
            for (int c = 0; c < 3; ++c)
                worst_cm = std::max(worst_cm, std::fabs(got[std::size_t(c)] - want[c]));
            for (int c = 3; c < 6; ++c)
                worst_deg = std::max(worst_deg, std::fabs(std::remainder(got[std::size_t(c)] - want[c], 360.0)));
            // The server's spacing of the frames, kept on this program's clock.
            const double recorded = double(bufp->timestamp(k)) - double(bufp->timestamp(first));
            const long i0 = frame_number(bufp->imagecp(first).pixels());
            const double sent_gap = double(server.sent_time(i)) - double(server.sent_time(i0));
            worst_timing_ms = std::max(worst_timing_ms, std::fabs(recorded - sent_gap) / 1e4);
        }
        EXPECT_LT(worst_cm, 1e-4);  // float precision of the messages
        EXPECT_LT(worst_deg, 1e-3);
        EXPECT_LT(worst_timing_ms, 1.0);
    }
};

TEST_F(NetworkRecording, FramesAndPosesOfTheServerAreRecordedAsSent)
{
    scanner_server_t server;
    ASSERT_TRUE(server.ok());
    record(server, 30);
    expect_frames_as_sent(server);
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), width);  // the whole frame, with nothing recorded before
    EXPECT_EQ(res->RES_BUF_HEIGHT->value(), height);
}

TEST_F(NetworkRecording, AWindowThatFitsCutsTheServersFramesWhereItLies)
{
    scanner_server_t server;
    ASSERT_TRUE(server.ok());
    const long x0 = 9, y0 = 5, w = 31, h = 22;
    res->RES_VID_XPOS->write(x0);
    res->RES_VID_YPOS->write(y0);
    res->RES_BUF_WIDTH->write(w);
    res->RES_BUF_HEIGHT->write(h);
    record(server, 10);
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), w) << "a window that fits was chosen on purpose";
    long previous = -1;
    for (long k = 0; k < bufp->frames(); ++k) {
        const cip_t got = bufp->imagecp(k);
        ASSERT_EQ(got.width(), w);
        ASSERT_EQ(got.height(), h);
        // The sent frame it was cut from: the next one whose window matches.
        long found = -1;
        for (long i = previous + 1; i < previous + 200 && found < 0; ++i) {
            const cip_t sent = numbered_frame(i);
            bool same = true;
            for (long y = 0; y < h && same; ++y)
                same =
                    std::equal(got.pixels() + y * w, got.pixels() + (y + 1) * w, sent.pixels() + (y0 + y) * width + x0);
            if (same)
                found = i;
        }
        ASSERT_GE(found, 0) << "frame " << k << " is no window of a frame sent";
        previous = found;
    }
}

TEST_F(NetworkRecording, AMessageThatBreaksTheStreamCostsAReconnectionNotTheRecording)
{
    const long broken_at = learning_frames + 10;
    scanner_server_t server(broken_at);
    ASSERT_TRUE(server.ok());
    record(server, 25);
    expect_frames_as_sent(server);
    // Recorded on both sides of the broken message, the later ones on the new connection.
    EXPECT_LT(frame_number(bufp->imagecp(0).pixels()), broken_at);
    EXPECT_GT(frame_number(bufp->imagecp(bufp->frames() - 1).pixels()), broken_at);
}

// The frames of a recording are of one size in the image data file: a server
// that starts sending smaller frames mid-recording is warned about, and
// neither the window nor the frames held change.
TEST_F(NetworkRecording, FramesOfANewSizeMidRecordingAreNotMixedIn)
{
    const long shrink_at = learning_frames + 8;
    scanner_server_t server(-1, shrink_at);
    ASSERT_TRUE(server.ok());
    res->RES_IGTL_SERVER->write(wxString::Format("localhost:%d", server.port()));
    res->RES_POS_DETECT->write(POS_DETECT_OPENIGTLINK);
    res->RES_VID_RATE->write(0);
    res->RES_POS_REC->write(true);
    capture_rig_t rig(interaction());
    const auto& list = *res->RES_VID_CARD_LIST->value();
    for (std::size_t k = 0; k < list.size(); ++k)
        if (list[k].kind == image_source_igtl)
            res->RES_VID_CARD->write(static_cast<long>(k));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.sent() < learning_frames && std::chrono::steady_clock::now() < deadline) {
        res->RES_IDLE_EVENT->write();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(rig.recorder.start());
    while (server.sent() < shrink_at + 8 && std::chrono::steady_clock::now() < deadline) {
        res->RES_IDLE_EVENT->write();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (int k = 0; k < 200; ++k) {  // the last frames released
        res->RES_IDLE_EVENT->write();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rig.recorder.stop();
    ASSERT_GE(server.sent(), shrink_at + 8);
    ASSERT_GT(bufp->frames(), 0);
    for (long k = 0; k < bufp->frames(); ++k) {
        EXPECT_EQ(bufp->imagecp(k).width(), width) << "frame " << k;
        EXPECT_LT(frame_number(bufp->imagecp(k).pixels()), shrink_at) << "frame " << k;
    }
    EXPECT_EQ(res->RES_BUF_WIDTH->value(), width);
    EXPECT_EQ(res->RES_FRAME_SIZE->value(), width * height);
}

TEST_F(NetworkRecording, NoServerIsAClearFailureOfBothSources)
{
    // A port nothing listens on: bind one and let it go.
    int port = 0;
    {
        igtl_server_t probe;
        ASSERT_TRUE(probe.start(0));
        port = probe.port();
    }
    res->RES_IGTL_SERVER->write(wxString::Format("localhost:%d", port));
    res->RES_POS_DETECT->write(POS_DETECT_OPENIGTLINK);
    capture_rig_t rig(interaction());
    EXPECT_EQ(rig.tracker.sensor(), SENSOR_NONE);
    EXPECT_EQ(res->RES_ALERT_STRING->value(), "OpenIGTLink connection failed");

    // Not an address at all: the image source refuses to start, with the reason.
    res->RES_IGTL_SERVER->write("localhost");
    igtl_image_source_t source(nullptr);
    EXPECT_FALSE(source.start());
    res->RES_IGTL_SERVER->write(wxString::Format("localhost:%d", port));
    ASSERT_TRUE(source.start());
    EXPECT_EQ(source.step(master_clock->hundred_ns_time()), capture_step_t::no_frame);
    for (int waited = 0; waited < 3000 && !source.status_text().Contains("no server"); waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(source.status_text().Contains("Not connected")) << source.status_text();
    EXPECT_TRUE(source.status_text().Contains("no server answers")) << source.status_text();
}

TEST(IgtlAddress, OnlyHostColonPortIsAnAddress)
{
    wxString host;
    int port = 0;
    EXPECT_TRUE(parse_igtl_address(" scanner.local:18944 ", &host, &port));
    EXPECT_EQ(host, "scanner.local");
    EXPECT_EQ(port, 18944);
    EXPECT_TRUE(parse_igtl_address("::1:5000", &host, &port));  // the port is after the last colon
    EXPECT_EQ(host, "::1");
    for (const char* bad : {"", "scanner", ":18944", "scanner:", "scanner:0", "scanner:65536", "scanner:12x",
                            "my scanner:18944", "scanner:-5"})
        EXPECT_FALSE(parse_igtl_address(bad, &host, &port)) << bad;
}

}  // namespace

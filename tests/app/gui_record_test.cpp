// Recording as a user does it without hardware: a simulated Fastrak on a
// pseudo-terminal moves the probe, the simulated image source renders the
// demo phantom at the tracker's pose, the Live tool shows the frames and the
// Record tool keeps them; the Record page sets how.
#include <algorithm>
#include <cmath>

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/toolbar.h>

#include "acquisition/live_pos.h"
#include "acquisition/live_recorder.h"
#include "app/dialogs/image_source_dialog.h"
#include "app/dialogs/position_source_dialog.h"
#include "app/ids.h"
#include "app/main_window.h"
#include "app/pages/record_page.h"
#include "app/views/review_canvas.h"
#include "app/views/view3d_canvas.h"
#include "common/dynabuf.h"
#include "demo/sweep.h"
#include "demo/demo_recording.h"
#include "gui_fixture.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"
#include "support/igtl_scanner.h"

namespace {

// Counts the frames the image source releases, whoever shows or records them.
struct frame_counter_t {
    long frames = 0;
    std::uint64_t first = 0, last = 0;  // their time stamps
    void count()
    {
        last = res->RES_VIDEO_RATE_COUNT_EVENT->value();
        if (frames++ == 0)
            first = last;
    }
};

class GuiRecord : public GuiTest {
protected:
    std::unique_ptr<pty_link_t> link;

    void TearDown() override
    {
        GuiTest::TearDown();  // the program lets go of the tracker before it goes
        link.reset();
    }

    // The program with a simulated Fastrak moving along `path`, the phantom
    // images chosen and the demo probe's calibration in force.
    void start_with_tracker(pose_trajectory_t path)
    {
        start({});
        sim_options_t options;
        options.trajectory = std::move(path);
        link = std::make_unique<pty_link_t>(make_device_sim("fastrak", options));
        ASSERT_TRUE(link->ok());
        link->start();
        position_source_dialog dialog(&frame(), {});
        dialog.port->SetValue(link->port_path());
        dialog.detect->SetSelection(POS_DETECT_FASTRAK);
        dialog.apply();
        ASSERT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_FASTRAK);
        choose_simulated_images();
    }

    void choose_simulated_images()
    {
        use_demo_probe(demo_probe(640, 480));
        res->RES_SIM_IMAGE_SOURCE->write(0);
        const auto& cards = res->RES_VID_CARD_LIST->value();
        ASSERT_TRUE(cards);
        for (std::size_t i = 0; i < cards->size(); ++i)
            if ((*cards)[i].name == "Simulated images")
                res->RES_VID_CARD->write(static_cast<long>(i));
    }

    record_page& page() { return *frame().record(); }

    void choose_rate(long rate)
    {
        page().video_rate->SetSelection(choice_of_video_rate(rate));
        wxCommandEvent e(wxEVT_CHOICE, page().video_rate->GetId());
        page().video_rate->ProcessWindowEvent(e);
    }

    bool tool_down(int id) { return frame().GetToolBar()->GetToolState(id); }
    wxString message() { return frame().GetStatusBar()->GetStatusText(0); }
    live_recorder& recorder() { return static_cast<MainWindow&>(*wxTheApp).recorder(); }
};

// Component ranges of the demo path, which the recorded poses must keep to.
void demo_path_range(float lo[6], float hi[6])
{
    const pose_trajectory_t path = demo_phantom_path();
    std::fill(lo, lo + 6, 1e30f);
    std::fill(hi, hi + 6, -1e30f);
    for (double t = 0.0; t <= 12.0; t += 0.005) {
        const sim_pose_t p = path(t);
        for (int k = 0; k < 6; ++k) {
            lo[k] = std::min(lo[k], p.v[k]);
            hi[k] = std::max(hi[k], p.v[k]);
        }
    }
}

long pixels_differing(const wxImage& a, const wxImage& b)
{
    long differing = 0;
    for (int y = 0; y < std::min(a.GetHeight(), b.GetHeight()); y += 2)
        for (int x = 0; x < std::min(a.GetWidth(), b.GetWidth()); x += 2)
            differing += a.GetRed(x, y) != b.GetRed(x, y) || a.GetGreen(x, y) != b.GetGreen(x, y);
    return differing;
}

// Live shows the phantom's frames in the review window and places them in the
// 3D window, and keeps none of them.
TEST_F(GuiRecord, LiveShowsTheImageSourcesFramesWithoutRecordingThem)
{
    start_with_tracker(demo_phantom_path());
    const wxImage before = frame().review()->grab();
    const wxImage before3d = frame().view3d()->grab();
    tool(ID_TOOL_LIVE, true);
    ASSERT_TRUE(pump_until([&] { return frame().review()->showing_live() && frame().view3d()->showing_live(); }));
    const wxImage shown = frame().review()->grab();
    EXPECT_GT(pixels_differing(before, shown), 100) << "the review window was empty before and shows a B-scan now";
    EXPECT_GT(pixels_differing(before3d, frame().view3d()->grab()), 100) << "the frame is placed in the 3D window";
    EXPECT_EQ(bufp->frames(), 0) << "live frames are shown, not recorded";

    tool(ID_TOOL_LIVE, false);
    EXPECT_FALSE(frame().review()->showing_live()) << "live off goes back to the recorded frames";
    EXPECT_FALSE(res->RES_TOGGLE_LIVE->value());
}

// A display rate shows no more live frames than it allows, however fast they come.
TEST_F(GuiRecord, TheDisplayRateLimitsTheLiveFramesShown)
{
    start_with_tracker(demo_phantom_path());
    page().display_rate->SetSelection(choice_of_display_rate(5));
    wxCommandEvent chosen(wxEVT_CHOICE, page().display_rate->GetId());
    page().display_rate->ProcessWindowEvent(chosen);
    ASSERT_EQ(res->RES_DISPLAY_RATE->value(), 5);
    frame_counter_t counter;
    pmf_functor<frame_counter_t> counting(&counter, &frame_counter_t::count);
    res->RES_VIDEO_RATE_COUNT_EVENT->add_proc(&counting);
    const long shown_before = frame().live_frames_shown();
    tool(ID_TOOL_LIVE, true);
    ASSERT_TRUE(pump_until([&] { return counter.frames >= 40 && frame().live_frames_shown() > shown_before + 2; }));
    const double seconds = static_cast<double>(counter.last - counter.first) / 1e7;
    EXPECT_LE(frame().live_frames_shown() - shown_before, static_cast<long>(seconds * 5.0) + 2)
        << counter.frames << " frames in " << seconds << " s";
}

// Closing while recording stops the recording and asks before its frames go.
TEST_F(GuiRecord, ClosingWhileRecordingAsksBeforeTheFramesGo)
{
    start_with_tracker(demo_phantom_path());
    choose_rate(RATE_FULL_SPEED);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(pump_until([] { return bufp->frames() >= 5; }));
    script.answers.push_back(answer_t::cancel);
    frame().Close(false);
    ASSERT_NE(main_win, nullptr) << "the close was cancelled";
    EXPECT_FALSE(res->RES_RECORDING_NOW->value());
    EXPECT_TRUE(script.asked.back().StartsWith("Ignore changes"));
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), bufp->frames()) << "the frames stay, counted";
}

// Full speed keeps every paired frame with the pose the synchroniser gave it;
// Save as and reading the file back give the same frames and poses.
TEST_F(GuiRecord, RecordedFramesCarryTheSynchronisedPosesAndSurviveSaving)
{
    start_with_tracker(demo_phantom_path());
    choose_rate(RATE_FULL_SPEED);
    ASSERT_EQ(res->RES_VID_RATE->value(), RATE_FULL_SPEED);
    tool(ID_TOOL_RECORD, true);
    EXPECT_TRUE(tool_down(ID_TOOL_LIVE)) << "recording shows what it records";
    ASSERT_TRUE(pump_until([] { return bufp->frames() >= 25; }));
    tool(ID_TOOL_RECORD, false);
    EXPECT_FALSE(res->RES_RECORDING_NOW->value());
    const long frames = bufp->frames();
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), frames);
    EXPECT_EQ(message(), wxString::Format("%li frames recorded.", frames));

    float lo[6], hi[6];
    demo_path_range(lo, hi);
    long distinct = 0;
    for (long i = 0; i < frames; ++i) {
        const counted_array_ptr<float> pose = bufp->positioncp(i);
        ASSERT_EQ(pose.size(), 6u) << "frame " << i;
        for (int k = 0; k < 6; ++k) {
            EXPECT_GE(pose[k], lo[k] - 0.1f) << "frame " << i << " component " << k;
            EXPECT_LE(pose[k], hi[k] + 0.1f) << "frame " << i << " component " << k;
        }
        counted_array_ptr<float> expected;
        pos_state_t state = POS_MISSING;
        ASSERT_TRUE(lipo->probe_buffer().circ_buf_match_pos(bufp->timestamp(i), expected, nullptr, &state));
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(pose[k], expected[k], 1e-4) << "frame " << i << " is not at its own moment";
        if (i > 0) {
            EXPECT_GT(bufp->timestamp(i), bufp->timestamp(i - 1));
            const counted_array_ptr<float> prev = bufp->positioncp(i - 1);
            distinct += !std::equal(pose.get(), pose.get() + 6, prev.get());
        }
    }
    EXPECT_GE(distinct, (frames - 1) * 9 / 10) << "the probe moves between frames";

    std::vector<std::vector<float>> poses;
    std::vector<std::vector<std::uint8_t>> pixels;
    for (long i = 0; i < frames; ++i) {
        poses.emplace_back(bufp->positioncp(i).get(), bufp->positioncp(i).get() + 6);
        const cip_t image = bufp->imagecp(i);
        pixels.emplace_back(image.pixels(), image.pixels() + image.pixel_count());
    }
    const wxString path = dir + "/swept.ks";
    script.files.push_back(file_choice_t{path, 0});
    menu(ID_FILE_SAVEAS);
    EXPECT_EQ(message(), "Saved " + path);
    menu(ID_FILE_NEW);
    ASSERT_EQ(bufp->frames(), 0);
    script.files.push_back(file_choice_t{path, 0});
    menu(ID_FILE_OPEN);
    ASSERT_EQ(bufp->frames(), frames);
    for (long i = 0; i < frames; ++i) {
        const counted_array_ptr<float> pose = bufp->positioncp(i);
        ASSERT_EQ(pose.size(), 6u);
        for (int k = 0; k < 6; ++k)
            EXPECT_NEAR(pose[k], poses[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)], 1e-3);
        const cip_t image = bufp->imagecp(i);
        ASSERT_EQ(image.pixel_count(), pixels[static_cast<std::size_t>(i)].size());
        EXPECT_TRUE(std::equal(image.pixels(), image.pixels() + image.pixel_count(),
                               pixels[static_cast<std::size_t>(i)].begin()))
            << "frame " << i;
    }
}

// Gated recording keeps nothing while the probe is held still, and says the
// probe may now move.
TEST_F(GuiRecord, GatedRecordsNothingWhileTheProbeIsStill)
{
    sim_pose_t still;
    still.v[0] = 1.0f;
    still.v[2] = 20.0f;
    start_with_tracker(fixed_pose(still));
    choose_rate(RATE_GATED);
    frame_counter_t counter;
    pmf_functor<frame_counter_t> counting(&counter, &frame_counter_t::count);
    res->RES_VIDEO_RATE_COUNT_EVENT->add_proc(&counting);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(res->RES_RECORDING_NOW->value());
    // Past the second of stillness that arms the gate, with frames all along.
    ASSERT_TRUE(pump_until([&] { return counter.frames >= 60; }));
    EXPECT_EQ(bufp->frames(), 0);
    // The page shows the signal the console may not sound: still, so move to record.
    EXPECT_TRUE(page().signal->GetLabel().StartsWith("Held still: move the probe")) << page().signal->GetLabel();
    EXPECT_TRUE(page().signal->GetLabel().EndsWith("(high, low)")) << "the tones of the signal, in order";
    tool(ID_TOOL_RECORD, false);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 0);
}

// Single shot keeps one frame and releases the Record tool by itself; Clear
// while recording empties the buffer and recording goes on; Finish sweep
// starts the next sweep.
TEST_F(GuiRecord, SingleShotKeepsOneFrameAndClearEmptiesWhileRecording)
{
    start_with_tracker(demo_phantom_path());
    choose_rate(RATE_SINGLE_SHOT);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(pump_until([] { return !res->RES_RECORDING_NOW->value(); }));
    EXPECT_EQ(bufp->frames(), 1);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 1);
    EXPECT_FALSE(tool_down(ID_TOOL_RECORD)) << "the tool follows the recorder";

    choose_rate(RATE_FULL_SPEED);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(pump_until([] { return bufp->frames() >= 6; }));
    EXPECT_TRUE(frame().GetToolBar()->GetToolEnabled(ID_TOOL_CLEAR));
    tool(ID_TOOL_CLEAR, false);
    EXPECT_EQ(bufp->frames(), 0) << "the sweep being recorded was cleared";
    EXPECT_TRUE(recorder().recording());
    ASSERT_TRUE(pump_until([] { return bufp->frames() >= 3; })) << "recording went on after the clear";

    // Finish sweep starts a second sweep; stopping ends it.
    wxCommandEvent pressed(wxEVT_BUTTON, page().finish_sweep->GetId());
    ASSERT_TRUE(page().finish_sweep->IsEnabled());
    page().finish_sweep->ProcessWindowEvent(pressed);
    const long first_sweep = bufp->frames();
    ASSERT_TRUE(pump_until([&] { return bufp->frames() >= first_sweep + 3; }));
    tool(ID_TOOL_RECORD, false);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), bufp->frames());
    ASSERT_TRUE(res->RES_SWEEPS->value());
    EXPECT_EQ(res->RES_SWEEPS->value()->first_frames, (std::vector<long>{0, first_sweep}));
    EXPECT_EQ(page().count->GetLabel(), wxString::Format("%li frames recorded in 2 sweeps.", bufp->frames()));
}

// Running out of memory stops recording and live, keeps the frames and
// releases both tools.
TEST_F(GuiRecord, RunningOutOfMemoryStopsRecordingAndLiveKeepingTheFrames)
{
    start_with_tracker(demo_phantom_path());
    choose_rate(RATE_FULL_SPEED);
    recorder().set_memory_budget(3 * (640 * 480 + 64) + 100);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(pump_until([] { return !res->RES_RECORDING_NOW->value(); }));
    EXPECT_EQ(bufp->frames(), 3);
    EXPECT_EQ(res->RES_BUF_FRAMES->value(), 3);
    EXPECT_FALSE(tool_down(ID_TOOL_RECORD));
    EXPECT_FALSE(tool_down(ID_TOOL_LIVE));
    EXPECT_FALSE(res->RES_TOGGLE_LIVE->value()) << "the devices stop";
    EXPECT_TRUE(log->contains("Insufficient memory to proceed", wxLOG_Error));
}

// Without a tracker, Record is refused: the tool comes back up and the status
// bar says why.
TEST_F(GuiRecord, RecordWithoutATrackerIsRefusedWithTheReason)
{
    start({});
    ASSERT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_NONE);
    tool(ID_TOOL_RECORD, true);
    EXPECT_FALSE(tool_down(ID_TOOL_RECORD));
    EXPECT_FALSE(res->RES_RECORDING_NOW->value());
    EXPECT_EQ(message(), "Recording with positions needs a position sensor, a swept probe or a running gantry.");
}

// The page's controls show the resources and write them in their units; with
// a recording read from file they, and the Record tool, are disabled.
TEST_F(GuiRecord, PageControlsFollowTheResourcesAndLockForLoadedData)
{
    start({});
    res->RES_VID_RATE->write(RATE_MULTIPLE_GATED);
    EXPECT_EQ(page().video_rate->GetStringSelection(), "Multiple gated");
    EXPECT_TRUE(page().move_thresh->IsEnabled()) << "the threshold matters in the gated modes";
    choose_rate(10);
    EXPECT_EQ(res->RES_VID_RATE->value(), 10);
    EXPECT_EQ(page().video_rate->GetStringSelection(), "10 fps");
    EXPECT_FALSE(page().move_thresh->IsEnabled());

    page().move_thresh->SetValue(7);
    wxCommandEvent spun(wxEVT_SPINCTRL, page().move_thresh->GetId());
    page().move_thresh->ProcessWindowEvent(spun);
    EXPECT_DOUBLE_EQ(res->RES_VID_MOVE_THRESH->value(), 0.07) << "tenths of a mm to cm";

    page().display_rate->SetSelection(choice_of_display_rate(15));
    wxCommandEvent chosen(wxEVT_CHOICE, page().display_rate->GetId());
    page().display_rate->ProcessWindowEvent(chosen);
    EXPECT_EQ(res->RES_DISPLAY_RATE->value(), 15);
    EXPECT_EQ(page().display_rate->GetStringSelection(), "15 Hz");

    page().auto_correct->SetValue(true);
    wxCommandEvent ticked(wxEVT_CHECKBOX, page().auto_correct->GetId());
    ticked.SetInt(1);
    page().auto_correct->ProcessWindowEvent(ticked);
    EXPECT_TRUE(res->RES_AUTO_CORRECT_POS->value());
    EXPECT_TRUE(message().Contains("later version")) << "the user learns the correction is not made yet";

    script.files.push_back(file_choice_t{demo, 0});
    menu(ID_FILE_OPEN);
    ASSERT_GT(bufp->frames(), 0);
    EXPECT_FALSE(page().video_rate->IsEnabled());
    EXPECT_FALSE(page().pos_rec->IsEnabled());
    EXPECT_FALSE(frame().GetToolBar()->GetToolEnabled(ID_TOOL_RECORD));
    EXPECT_TRUE(page().count->GetLabel().Contains("read from file"));
}

// A scanner's OpenIGTLink server as both sources, chosen in the two dialogs:
// the Record tool keeps the server's frames with the poses it sent for them.
TEST_F(GuiRecord, AnOpenIGTLinkServerIsChosenAsImageAndPositionSourceAndRecorded)
{
    start({});
    igtl_scanner::scanner_server_t server;
    ASSERT_TRUE(server.ok());
    const wxString address = wxString::Format("localhost:%d", server.port());

    position_source_dialog position(&frame(), {});
    position.detect->SetSelection(POS_DETECT_OPENIGTLINK);
    wxCommandEvent picked(wxEVT_CHOICE, position.detect->GetId());
    position.detect->ProcessWindowEvent(picked);
    EXPECT_FALSE(position.port->IsEnabled()) << "a network server has no serial port";
    EXPECT_TRUE(position.igtl_server->IsEnabled());
    position.igtl_server->SetValue(address);
    position.apply();
    pump(50);
    ASSERT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_OPENIGTLINK);
    EXPECT_EQ(frame().GetStatusBar()->GetStatusText(1), "OpenIGTLink tracking connected");

    image_source_dialog images(&frame(), {});
    EXPECT_EQ(images.igtl_server->GetValue(), address) << "one server for both";
    images.igtl_server->SetValue("no address");  // refused, with a warning; the server stays
    const int index = images.source->FindString("OpenIGTLink images");
    ASSERT_NE(index, wxNOT_FOUND);
    images.source->SetSelection(index);
    images.apply();
    EXPECT_EQ(res->RES_IGTL_SERVER->value(), address);

    choose_rate(RATE_FULL_SPEED);
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(pump_until([] { return bufp->frames() >= 15; }));
    image_source_dialog again(&frame(), {}, [] { return static_cast<MainWindow&>(*wxTheApp).network_image_status(); });
    EXPECT_TRUE(again.igtl_status->GetLabel().StartsWith("Connected to " + address)) << again.igtl_status->GetLabel();
    tool(ID_TOOL_RECORD, false);
    long previous = -1;
    for (long k = 0; k < bufp->frames(); ++k) {
        const cip_t image = bufp->imagecp(k);
        ASSERT_EQ(image.width(), igtl_scanner::width) << "the whole frame: nothing was recorded before";
        const long i = igtl_scanner::frame_number(image.pixels());
        EXPECT_GT(i, previous);
        previous = i;
        const counted_array_ptr<float> pose = bufp->positioncp(k);
        ASSERT_EQ(pose.size(), 6u) << "frame " << k;
        double want[6];
        igtl_scanner::pose_of(i, want);
        EXPECT_NEAR(pose[0], want[0], 1e-4) << "frame " << k;
        EXPECT_NEAR(pose[3], want[3], 1e-3) << "frame " << k;
    }
}

}  // namespace

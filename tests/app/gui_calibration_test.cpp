// Plane-phantom calibration on the Probe calib page as a user does it, with
// live frames of the synthetic water bath: lines accepted, the region and
// the scale lines clicked on the review window, the temperature refused and
// set, a solve that leaves the page working, and the save.
#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/notebook.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tglbtn.h>

#include "app/dialogs/position_source_dialog.h"
#include "app/ids.h"
#include "app/pages/probe_calib_page.h"
#include "app/views/review_canvas.h"
#include "calibration/calib_internals.h"
#include "demo/calibration_demo.h"
#include "demo/water_bath.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "simulators/pose_trajectory.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"
#include "simulators/simulated_capture.h"

namespace {

class GuiCalibration : public GuiTest {
protected:
    water_bath_t bath = make_water_bath(5, 26.0);
    std::unique_ptr<pty_link_t> link;

    void TearDown() override
    {
        GuiTest::TearDown();  // the program lets go of the tracker before it goes
        link.reset();
    }

    probe_calib_page& page() { return *frame().probe_calib(); }

    void click(wxButton* b)
    {
        wxCommandEvent e(wxEVT_BUTTON, b->GetId());
        e.SetEventObject(b);
        b->ProcessWindowEvent(e);
    }
    void enter(wxTextCtrl* field, const wxString& text)
    {
        field->ChangeValue(text);
        wxCommandEvent e(wxEVT_TEXT_ENTER, field->GetId());
        e.SetEventObject(field);
        field->ProcessWindowEvent(e);
    }
    void mouse(wxEventType type, double u, double v)
    {
        const wxPoint p = frame().review()->frame_to_window(u, v);
        wxMouseEvent event(type);
        event.m_x = p.x;
        event.m_y = p.y;
        frame().review()->ProcessWindowEvent(event);
    }
    // A live frame of the floor seen from `pose`, shown and looked at.
    void live(const std::array<float, 6>& pose, std::uint64_t seed)
    {
        const cip_t image = render_floor_bscan(bath, pose.data(), seed);
        counted_array_ptr<float> p(6);
        std::copy(pose.begin(), pose.end(), p.get());
        frame().review()->show_live(image);
        frame().feed_calibration(image, p, {}, 1000 + seed);
    }
};

TEST_F(GuiCalibration, AcceptLinesMarkScalesSolveAndSave)
{
    start({});
    ASSERT_EQ(res->RES_BUF_FRAMES->value(), 0);
    res->RES_BUF_WIDTH->write(bath.probe.width);
    res->RES_BUF_HEIGHT->write(bath.probe.height);
    menu(ID_TASK_CALIBRATE);
    pump(100);
    EXPECT_EQ(res->RES_CURRENT_TASK_PAGE->value(), MainFrame::task_page_index(ID_TASK_CALIBRATE));
    EXPECT_EQ(page().calibrated->GetLabel(), "No valid probe calibration");
    EXPECT_EQ(page().accept->GetLabel(), "         No valid line");
    EXPECT_EQ(page().line_count->GetLabel(), "Currently have 0 lines.");
    EXPECT_EQ(page().sigma->GetValue(), "  5.0");
    EXPECT_EQ(page().accept_ratio->GetValue(), " 0.60");

    // Nothing to solve yet.
    click(page().solve);
    EXPECT_TRUE(log->contains("You must accept some lines before solving for spatial calibration.", wxLOG_Error));

    const auto poses = water_bath_poses(bath, 30, 5);
    for (std::size_t i = 0; i < poses.size(); ++i) {
        live(poses[i], i);
        pump(5);
        EXPECT_EQ(page().accept->GetLabel(), "  Accept line for calibration");
        click(page().accept);
    }
    EXPECT_EQ(page().line_count->GetLabel(), "Currently have 30 lines.");

    // Without the scale lines the solve is refused.
    click(page().solve);
    EXPECT_TRUE(log->contains("Step 3 must be completed before solving for spatial calibration.", wxLOG_Error));

    const auto& e = bath.scale_line_ends;
    click(page().mark_first);
    EXPECT_EQ(res->RES_CALIB_DEFINING_SCALELINE->value(), 1);
    mouse(wxEVT_LEFT_DOWN, e[0], e[1]);
    mouse(wxEVT_RIGHT_DOWN, e[2], e[3]);
    EXPECT_EQ(page().mark_status->GetLabel(), " Finished locating ends of line");
    click(page().mark_second);
    mouse(wxEVT_RIGHT_DOWN, e[6], e[7]);
    mouse(wxEVT_LEFT_DOWN, e[4], e[5]);
    EXPECT_EQ(res->RES_CALIB_DEFINING_SCALELINE->value(), 0);
    // As near as the zoomed-out window lets a click land.
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(page().scale_ends()[i], e[i], 2.0) << i;
    page().length_first->SetValue(int(std::lround(100.0 * bath.scale_length1_cm)));
    page().length_second->SetValue(int(std::lround(100.0 * bath.scale_length2_cm)));

    // A temperature out of range goes back; one in range is kept.
    enter(page().temperature, "0.5");
    EXPECT_TRUE(log->contains("The temperature must be in the range 1-90 celcius", wxLOG_Warning));
    EXPECT_EQ(page().temperature->GetValue(), "10");
    enter(page().temperature, "26");
    EXPECT_EQ(res->RES_CAL_TEMPERATURE->value(), 26.0);

    click(page().solve);
    EXPECT_TRUE(page().solving());
    EXPECT_FALSE(page().solve->IsEnabled());
    ASSERT_TRUE(pump_until([&] { return !page().solving(); }));
    EXPECT_EQ(res->RES_CAL_MESSAGE_1->value(), "Calibrated with 30 frames.");
    EXPECT_TRUE(res->RES_CAL_MESSAGE_3->value().StartsWith("RMS error = ")) << res->RES_CAL_MESSAGE_3->value();
    ASSERT_TRUE(page().save->IsEnabled());
    click(page().save);
    EXPECT_FALSE(page().save->IsEnabled());
    EXPECT_TRUE(page().calibrated->GetLabel().StartsWith("Probe calibrated on "));
    EXPECT_TRUE(res->RES_CAL_PLANE_VALID->value());
    // Scales from clicked ends are good to about a pixel in 500: the calibration to a millimetre or so.
    const auto& c = bath.probe.calibration;
    EXPECT_NEAR(res->RES_XTRANS->value(), c[0], 0.15);
    EXPECT_NEAR(res->RES_YTRANS->value(), c[1], 0.15);
    EXPECT_NEAR(res->RES_ZTRANS->value(), c[2], 0.15);
    EXPECT_NEAR(res->RES_XSCALE->value(), bath.probe.sx, 0.01 * bath.probe.sx);

    // Clearing asks first; Cancel keeps the lines.
    script.answers = {answer_t::cancel, answer_t::ok};
    click(page().clear_lines);
    EXPECT_EQ(page().line_count->GetLabel(), "Currently have 30 lines.");
    click(page().clear_lines);
    EXPECT_EQ(page().line_count->GetLabel(), "Currently have 0 lines.");
    EXPECT_TRUE(script.answers.empty());
}

TEST_F(GuiCalibration, RegionDrawnOnTheReviewWindow)
{
    start({});
    res->RES_BUF_WIDTH->write(bath.probe.width);
    res->RES_BUF_HEIGHT->write(bath.probe.height);
    menu(ID_TASK_CALIBRATE);
    pump(100);
    const auto poses = water_bath_poses(bath, 1, 5);
    live(poses[0], 1);
    click(page().define_region);
    EXPECT_EQ(page().messages[0]->GetLabel(), "Left mouse: define region.");
    // The top half of the image, where the floor is not.
    mouse(wxEVT_LEFT_DOWN, 10.5, 5.5);
    mouse(wxEVT_LEFT_DOWN, 630.5, 5.5);
    mouse(wxEVT_LEFT_DOWN, 630.5, 50.5);
    mouse(wxEVT_RIGHT_DOWN, 10.5, 50.5);
    calib_internals& calib = *frame().calib();
    EXPECT_FALSE(calib.defining_roi());
    ASSERT_EQ(calib.roi_vertices().size(), 4u);
    // Canvas rows count up from the bottom.
    EXPECT_NEAR(calib.roi_vertices()[0].first, 10, 2);
    EXPECT_NEAR(calib.roi_vertices()[0].second, 479 - 5, 2);
    pump(50);  // drawn with the region
    live(poses[0], 2);
    EXPECT_EQ(page().accept->GetLabel(), "         No valid line");
    // A new setting starts again from the whole image; Defaults puts it back.
    enter(page().sigma, "4");
    EXPECT_EQ(res->RES_CAL_SIGMA->value(), 4.0);
    EXPECT_EQ(page().sigma->GetValue(), "  4.0");
    live(poses[0], 3);
    EXPECT_EQ(page().accept->GetLabel(), "  Accept line for calibration");
    enter(page().stripes, "many");
    EXPECT_EQ(res->RES_CAL_STRIPES->value(), 20);
    EXPECT_EQ(page().stripes->GetValue(), " 20");
    click(page().defaults);
    EXPECT_EQ(res->RES_CAL_SIGMA->value(), 5.0);
    // Upside-down images flip the label and the search.
    page().invert->SetValue(true);
    wxCommandEvent toggle(wxEVT_TOGGLEBUTTON, page().invert->GetId());
    page().invert->ProcessWindowEvent(toggle);
    EXPECT_TRUE(res->RES_CAL_INVERT->value());
    EXPECT_EQ(page().invert->GetLabel(), " Configure for normal image");
}

// Temporal calibration as a user without hardware does it: a simulated
// Fastrak moves the probe over the water bath (still, then up and down), the
// simulated images show the floor 40 ms behind the tracker, and the Probe
// calib page's temporal calibration finds about that lag.
TEST_F(GuiCalibration, TemporalCalibrationWithTheSimulatedWaterBath)
{
    start({});
    sim_options_t options;
    const pose_trajectory_t bath_path = water_bath_path(calibration_demo_seed, calibration_demo_celsius);
    // Still for the first 6 s, so that the run starts while the probe rests.
    options.trajectory = [bath_path](double s) { return bath_path(s < 6.0 ? 0.0 : s - 3.0); };
    link = std::make_unique<pty_link_t>(make_device_sim("fastrak", options));
    ASSERT_TRUE(link->ok());
    link->start();
    position_source_dialog dialog(&frame(), {});
    dialog.port->SetValue(link->port_path());
    dialog.detect->SetSelection(POS_DETECT_FASTRAK);
    dialog.apply();
    ASSERT_EQ(res->RES_POSITION_SOURCE->value(), SENSOR_FASTRAK);
    res->RES_SIM_IMAGE_LAG->write(40);
    res->RES_TEMP_CALIB->write(0);
    res->RES_SIM_IMAGE_SOURCE->write(SIMULATED_WATER_BATH);
    const auto& cards = res->RES_VID_CARD_LIST->value();
    ASSERT_TRUE(cards);
    for (std::size_t i = 0; i < cards->size(); ++i)
        if ((*cards)[i].name == "Simulated images")
            res->RES_VID_CARD->write(static_cast<long>(i));
    res->RES_BUF_WIDTH->write(640);
    res->RES_BUF_HEIGHT->write(480);
    menu(ID_TASK_CALIBRATE);
    tool(ID_TOOL_LIVE, true);
    ASSERT_TRUE(pump_until([&] { return res->RES_CALIB_LINE_AVAIL->value(); }, 8000))
        << frame().live_frames_shown() << " shown; " << res->RES_CAL_MESSAGE_2->value() << "; "
        << (frame().review()->showing_live() ? "live" : "not live");
    click(page().temporal);
    EXPECT_EQ(page().temporal->GetLabel(), "Stop temporal calibration");
    ASSERT_TRUE(pump_until([&] { return !frame().calib()->temp_calib_running(); }, 30000))
        << res->RES_CAL_MESSAGE_1->value();
    tool(ID_TOOL_LIVE, false);
    EXPECT_TRUE(res->RES_CAL_MESSAGE_1->value().StartsWith("Temporal calibration ")) << res->RES_CAL_MESSAGE_1->value();
    // Poses are to be stamped 40 ms later to meet their images.
    EXPECT_NEAR(double(res->RES_TEMP_CALIB->value()), -40.0, 15.0);
    EXPECT_EQ(page().temporal->GetLabel(), "Start temporal calibration");
}

}  // namespace

// The motor dialogs as a user drives them, against their simulators on a
// pseudo-terminal: the gantry started, moved and stepped by hand, a sequence
// run one step per idle tick, and a stop-and-shoot recording whose frames
// stand where the stage stood.
#include <cmath>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/combobox.h>
#include <wx/ffile.h>
#include <wx/spinctrl.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "support/log_capture.h"

#include "acquisition/live_pos.h"
#include "app/dialogs/probe_motor_dialog.h"
#include "app/dialogs/zaber_dialog.h"
#include "app/ids.h"
#include "app/main_window.h"
#include "common/dynabuf.h"
#include "demo/demo_recording.h"
#include "demo/sweep.h"
#include "devices/flapping.h"
#include "devices/gantry_runner.h"
#include "gui_fixture.h"
#include "resources/resource_table.h"
#include "simulators/pty_link.h"
#include "simulators/swept_motor_sim.h"
#include "simulators/zaber_sim.h"

namespace {

void click(wxButton* b)
{
    wxCommandEvent e(wxEVT_BUTTON, b->GetId());
    e.SetEventObject(b);
    b->ProcessWindowEvent(e);
}

class GuiGantry : public GuiTest {
protected:
    std::unique_ptr<pty_link_t> link;

    void TearDown() override
    {
        GuiTest::TearDown();  // the program lets go of the port first
        link.reset();
    }

    zaber_dialog& open_dialog()
    {
        start({});
        zaber_sim_options_t o;
        o.speed_mm_s = 400.0;  // a full-length move in a quarter second
        link = std::make_unique<pty_link_t>(std::make_unique<zaber_sim_t>(o));
        EXPECT_TRUE(link->ok());
        link->start();
        menu(ID_CONFIG_ZABER);
        zaber_dialog* d = frame().gantry_dialog();
        EXPECT_NE(d, nullptr);
        EXPECT_TRUE(d->IsShown());
        d->port->SetValue(link->port_path());
        click(d->start);
        EXPECT_TRUE(res->RES_ZABER_RUNNING->value());
        return *d;
    }
    wxString write_sequence(const char* text)
    {
        const wxString file = dir + "/scan.zsq";
        wxFFile(file, "w").Write(text);
        return file;
    }
};

TEST_F(GuiGantry, MovesByHandAndRunsASequenceOneStepPerTick)
{
    zaber_dialog& d = open_dialog();
    EXPECT_EQ(d.position->GetLabel(), "Current position is (0.000000, 0.000000, 0.000000) cm");

    for (const char* typed : {"one", "nan", "inf", ""}) {
        d.value[0]->SetValue(typed);
        script.asked.clear();
        click(d.move[0]);
        ASSERT_FALSE(script.asked.empty()) << typed;
        EXPECT_EQ(script.asked.back(), "Zaber gantry control: Enter a numerical value") << typed;
        EXPECT_EQ(res->RES_ZABER_POS_X->value(), 0.0) << typed;
    }
    d.value[0]->SetValue("1.5");
    d.value[2]->SetValue("0.25");
    click(d.move[0]);
    EXPECT_NEAR(res->RES_ZABER_POS_X->value(), 1.5, 1e-3);
    EXPECT_EQ(res->RES_ZABER_POS_Z->value(), 0.0) << "only x was asked to move";
    click(d.step[3]);
    EXPECT_NEAR(res->RES_ZABER_POS_X->value(), 3.0, 1e-3);
    EXPECT_NEAR(res->RES_ZABER_POS_Z->value(), 0.25, 1e-3);
    pump(50);
    EXPECT_EQ(d.position->GetLabel(),
              wxString::Format("Current position is (%.6f, %.6f, %.6f) cm", res->RES_ZABER_POS_X->value(),
                               res->RES_ZABER_POS_Y->value(), res->RES_ZABER_POS_Z->value()));
    click(d.home[3]);
    EXPECT_EQ(res->RES_ZABER_POS_X->value(), 0.0);

    script.files.push_back(
        file_choice_t{write_sequence("BEGIN_MAIN\nhome\nrepeat 4\nstep_y 0.25\npause\nrepeat_end\nEND_MAIN\n"), 0});
    click(d.open_sequence);
    EXPECT_EQ(d.progress->GetLabel(), "Completed 0 of 4 steps");

    // One step per tick: Run returns at once, and each idle tick takes one step.
    click(d.run);
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 0);
    idle_tick();
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 1);
    idle_tick();
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 2);
    click(d.stop_run);
    pump(300);
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 2) << "Stop ends the run";

    click(d.run);
    ASSERT_TRUE(pump_until([] { return res->RES_ZABER_CURRENT_STEP->value() == 4; }));
    pump(100);
    EXPECT_EQ(d.progress->GetLabel(), "Completed 4 of 4 steps");
    EXPECT_NEAR(res->RES_ZABER_POS_Y->value(), 1.0, 1e-3);
    EXPECT_FALSE(static_cast<MainWindow&>(*wxTheApp).gantry_runner().running());

    click(d.reset);
    EXPECT_EQ(d.progress->GetLabel(), "Completed 0 of 4 steps");
    click(d.step_sequence);
    EXPECT_EQ(res->RES_ZABER_CURRENT_STEP->value(), 1);
}

// Stop and shoot with the simulated images: each frame is posed where the
// stage stood, one frame per position, and the recording ends with the
// sequence's positions.
TEST_F(GuiGantry, StopAndShootRecordsOneFramePerStagePosition)
{
    zaber_dialog& d = open_dialog();
    use_demo_probe(demo_probe(320, 240));
    res->RES_SIM_IMAGE_SOURCE->write(0);
    const auto& cards = res->RES_VID_CARD_LIST->value();
    ASSERT_TRUE(cards);
    for (std::size_t i = 0; i < cards->size(); ++i)
        if ((*cards)[i].name == "Simulated images")
            res->RES_VID_CARD->write(static_cast<long>(i));
    script.files.push_back(file_choice_t{
        write_sequence("BEGIN_MAIN\nrepeat 5\nstep_x 0.2\nstep_z 0.1\npause\nrepeat_end\nEND_MAIN\n"), 0});
    click(d.open_sequence);
    d.mode->SetSelection(ZABER_MODE_STEP_PER_FRAME);
    wxCommandEvent chosen(wxEVT_CHOICE, d.mode->GetId());
    d.mode->ProcessWindowEvent(chosen);
    ASSERT_EQ(res->RES_ZABER_MODE->value(), ZABER_MODE_STEP_PER_FRAME);

    res->RES_VID_RATE->write(RATE_FULL_SPEED);  // a still stage would never open the gate of gated recording
    tool(ID_TOOL_RECORD, true);
    ASSERT_TRUE(res->RES_RECORDING_NOW->value());
    ASSERT_TRUE(pump_until([] { return res->RES_ZABER_CURRENT_STEP->value() == 5; }, 8000))
        << bufp->frames() << " frames, step " << res->RES_ZABER_CURRENT_STEP->value();
    pump(500);  // frames that come after the end are not kept
    tool(ID_TOOL_RECORD, false);

    ASSERT_EQ(bufp->frames(), 6) << "the start and five steps";
    for (long i = 0; i < bufp->frames(); ++i) {
        const counted_array_ptr<float> pose = bufp->positioncp(i);
        ASSERT_EQ(pose.size(), 6u);
        EXPECT_NEAR(pose[0], 0.2 * static_cast<double>(i), 1e-3) << i;
        EXPECT_NEAR(pose[2], -0.1 * static_cast<double>(i), 1e-3) << i;
        if (i > 0) {
            EXPECT_GT(bufp->timestamp(i), bufp->timestamp(i - 1));
        }
    }
}

// The probe motor dialog against the simulated controller: initialise
// centres the motor, the ends and frame steps go where the range and frames
// put them, and the controller kind decides whether the buttons move at all.
TEST_F(GuiTest, ProbeMotorDialogInitialisesAndMovesByTheKindsRules)
{
    start({});
    pty_link_t link(std::make_unique<swept_motor_sim_t>(swept_motor_sim_options_t{}));
    ASSERT_TRUE(link.ok());
    link.start();
    flap_timing_t fast;  // short waits: the simulator answers at once
    fast.reply_timeout = 2'000'000;
    fast.motor_timeout = 8'000'000;
    fast.reset_wait = 300'000;
    fast.index_search = 1'500'000;
    fast.halt_settle = 100'000;
    fast.poll_interval = 20'000;
    flapping motor(fast);
    res->RES_FLAP_TYPE->write(1);
    res->RES_FLAP_RANGE->write(10);
    res->RES_FLAP_STEPS->write(50);
    {
        probe_motor_dialog d(&frame(), motor);
        EXPECT_EQ(d.state->GetLabel(), "The motor is not initialised.");
        // One step of a 10 degree, 50 frame sweep, and the chord the middle of the image moves by
        // about an axis 0.78 cm above the stored image.
        const double degrees = 2.0 * (10.0 / 0.0092) / 49.0 * 0.0046;
        const double radius_cm = static_cast<double>(res->RES_VID_YPOS->value()) * res->RES_YSCALE->value() + 0.78 +
                                 0.5 * static_cast<double>(res->RES_BUF_HEIGHT->value()) * res->RES_YSCALE->value();
        const double mm = 20.0 * radius_cm * std::sin(degrees * M_PI / 360.0);
        EXPECT_EQ(d.spacing->GetLabel(), wxString::Format("Mean frame spacing is %.3f mm, %.3f degrees", mm, degrees));

        d.port->SetValue(link.port_path());
        click(d.initialise);
        ASSERT_TRUE(motor.initialised());
        EXPECT_TRUE(res->RES_FLAPPING->value());
        EXPECT_EQ(d.state->GetLabel(), "Motor at 0 counts (centre)");

        click(d.right);
        EXPECT_EQ(motor.get_step(), 1086);
        EXPECT_TRUE(motor.at_right());
        click(d.step_left);
        EXPECT_NEAR(motor.target(), 10.0 / 0.0092 - 2.0 * (10.0 / 0.0092) / 49.0, 1e-6);
        EXPECT_TRUE(d.state->GetLabel().StartsWith("Motor at 1042 counts")) << d.state->GetLabel();

        // A wider range typed is what the next move uses.
        d.range->SetValue(40);
        click(d.left);
        EXPECT_EQ(motor.get_step(), -3200) << "40 degrees is beyond the motor's 14.72";
        EXPECT_EQ(res->RES_FLAP_RANGE->value(), 40);

        d.kind->SetSelection(0);  // no controller: the buttons do nothing
        click(d.centre);
        EXPECT_EQ(motor.get_step(), -3200);
    }
    // A kind this program does not drive: left as it is, nothing moves, and the log says why.
    res->RES_FLAP_TYPE->write(2);
    probe_motor_dialog other(&frame(), motor);
    EXPECT_EQ(other.kind->GetSelection(), wxNOT_FOUND);
    log_capture seen;
    click(other.centre);
    EXPECT_EQ(motor.get_step(), -3200);
    EXPECT_EQ(res->RES_FLAP_TYPE->value(), 2);
    EXPECT_TRUE(seen.contains("not driven by this program"));
}

}  // namespace

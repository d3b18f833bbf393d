// The Polaris driver against the simulated tracker on a pseudo-terminal:
// both command sets, the initialisation dialogue, the poses, every alert
// state and the faults the tracker can report.
#include <algorithm>
#include <chrono>
#include <thread>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "acquisition/polaris_driver.h"
#include "acquisition/serial.h"
#include "common/interaction.h"
#include "common/matrix16d.h"
#include "simulators/polaris_sim.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"
#include "support/log_capture.h"

namespace {

// Messages meant for a dialog, kept for the test to read.
class recording_ui_t : public headless_interaction_t {
public:
    std::vector<std::pair<wxString, wxString>> informed;
    std::vector<wxString> progress;
    void inform(const wxString& caption, const wxString& message) override { informed.emplace_back(caption, message); }
    bool progress_pulse(const wxString& message) override
    {
        if (progress.empty() || progress.back() != message)
            progress.push_back(message);
        return true;
    }
};

// Detection waits cut down: the simulator answers at once, and its reset
// answer never arrives (bytes at a speed the device is not at are lost).
constexpr polaris_timing_t quick{500000, 2000000, 10000000, 20000000};

const sim_pose_t tool_pose{{1.5f, -2.25f, 30.0f, 20.0f, -10.0f, 35.0f}};

class PolarisDriverTest : public ::testing::Test {
protected:
    wxString dir;
    sim_options_t options;
    std::unique_ptr<pty_link_t> link;
    serial_t line;
    std::unique_ptr<polaris_driver_t> driver;
    recording_ui_t ui;
    log_capture logs;
    tracker_config_t config;

    void SetUp() override
    {
        polaris_driver_t::forget_warnings();
        dir = wxFileName::CreateTempFileName("ks_polaris");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
        config.exec_dir = dir;
        options.trajectory = fixed_pose(tool_pose);
    }
    void TearDown() override
    {
        line.close_port();
        link.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }

    // A fresh tracker at power-up, and a host line as detection leaves it.
    void start(std::unique_ptr<device_sim_t> sim)
    {
        line.close_port();
        link = std::make_unique<pty_link_t>(std::move(sim));
        ASSERT_TRUE(link->ok());
        link->start();
        ASSERT_TRUE(line.open_port(link->port_path()));
        ASSERT_TRUE(line.set_params(config.speed, 8, 0, 0, 0));
        driver = std::make_unique<polaris_driver_t>(quick);
    }
    void start(bool newer) { start(std::make_unique<polaris_sim_t>(options, newer)); }

    template <typename F>
    auto with_sim(F f)
    {
        return link->with_sim([&](device_sim_t& s) { return f(static_cast<polaris_sim_t&>(s)); });
    }
    void set_conditions(const polaris_sim_conditions_t& c)
    {
        with_sim([&](polaris_sim_t& s) { s.conditions() = c; });
    }
    std::vector<std::string> commands()
    {
        return with_sim([](polaris_sim_t& s) { return s.commands(); });
    }
    long device_speed()
    {
        return with_sim([](polaris_sim_t& s) { return s.device_speed(); });
    }
    // The pose the tracker last measured for a port.
    sim_pose_t sent(int port)
    {
        return with_sim([&](polaris_sim_t& s) {
            const auto& poses = s.sent_poses();
            const auto it = std::find_if(poses.rbegin(), poses.rend(), [&](const auto& p) { return p.unit == port; });
            EXPECT_NE(it, poses.rend()) << "nothing sent for port " << port;
            return it == poses.rend() ? sim_pose_t{} : it->pose;
        });
    }

    // Detection as posinfo runs it: the host follows the tracker's new speed.
    bool probe()
    {
        const bool found = driver->probe(line, config, ui);
        if (found) {
            EXPECT_TRUE(line.set_params(config.speed, 8, 0, 0, 0));
        }
        return found;
    }
    tracker_reply_t poll()
    {
        EXPECT_TRUE(driver->ask(line));
        return driver->read_reply(line, true, {});
    }
    void write_rom(int port, const std::vector<unsigned char>& data)
    {
        wxFile f(dir + wxFILE_SEP_PATH + "polaris" + polaris_port[port] + ".rom", wxFile::write);
        ASSERT_TRUE(f.IsOpened());
        ASSERT_EQ(f.Write(data.data(), data.size()), data.size());
    }
    void expect_alert(int state, const wxString& text, int colour)
    {
        EXPECT_EQ(driver->alert_state(), state);
        const auto a = driver->take_alert();
        ASSERT_TRUE(a) << "no alert for state " << state;
        EXPECT_EQ(a->text, text);
        EXPECT_EQ(a->colour, colour);
    }
};

void expect_pose(const float* got, const sim_pose_t& want, float cm = 0.002f)
{
    // Quantisation: 0.01 mm for positions, 1e-4 per quaternion component.
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[i], want.v[i], cm) << i;
    for (int i = 3; i < 6; ++i)
        EXPECT_NEAR(got[i], want.v[i], 0.03f) << i;
}

TEST_F(PolarisDriverTest, OlderCommandSetDialogueAndPoses)
{
    config.speed = 38400;
    config.tool = 1;
    start(false);
    ASSERT_TRUE(probe());
    EXPECT_FALSE(driver->newer_command_set());
    EXPECT_FALSE(driver->has_parameters());
    EXPECT_FALSE(driver->has_pointer());
    const std::vector<std::string> expected = {"INIT ",   "TX ",       "GET ",   "PVCLR 1", "PVCLR 2",
                                               "PVCLR 3", "PINIT 1",   "PENA 1D", "SFLIST 03", "VSEL 2",
                                               "TSTART ", "COMM 30000"};
    EXPECT_EQ(commands(), expected);
    EXPECT_EQ(device_speed(), 38400);
    EXPECT_EQ(link->line_mismatches(), 1) << "only the reset byte goes out at another speed";
    // Shape 0 was selected; its four parameters describe the volume.
    const sensor_volume_t v = driver->volume();
    EXPECT_EQ(v.kind, 3);
    EXPECT_EQ(v.shape_count, 4);
    EXPECT_DOUBLE_EQ(v.shape[3], 2400.0);

    const tracker_reply_t r = poll();
    EXPECT_EQ(commands().back(), "GX 0001");
    ASSERT_TRUE(r.received);
    ASSERT_TRUE(r.probe);
    EXPECT_FALSE(r.pointer);
    EXPECT_EQ(r.probe_state, POS_VALID);
    expect_pose(r.probe_pose, sent(0));
    expect_pose(r.probe_pose, tool_pose);
    expect_alert(11, "Polaris tool OK", 0);

    // A reply the layout cannot be followed in is alert 4, with the request's option.
    set_conditions({.tracking_error = "MISSING\n"});
    const tracker_reply_t odd = poll();
    EXPECT_TRUE(odd.received);
    EXPECT_EQ(odd.probe_state, POS_MISSING);
    expect_alert(4, "Kestrane can't interpret GX format 0001", 2);
}

TEST_F(PolarisDriverTest, NewerCommandSetWithPassivePointer)
{
    config.speed = 115200;
    config.tool = 2;
    config.pointer = 11;  // tool 5: passive port B
    const std::vector<unsigned char> rom = polaris_sim_t::rom_image(4);
    write_rom(4, rom);
    start(true);
    ASSERT_TRUE(probe());
    EXPECT_TRUE(driver->newer_command_set());
    EXPECT_TRUE(driver->has_parameters());
    EXPECT_TRUE(driver->has_pointer());
    EXPECT_EQ(device_speed(), 115200);

    std::vector<std::string> sent_commands = commands();
    // The definition goes over in 64-byte pieces, the last padded with zeros.
    std::vector<std::string> pieces;
    std::erase_if(sent_commands, [&](const std::string& c) {
        if (!c.starts_with("PVWR "))
            return false;
        pieces.push_back(c);
        return true;
    });
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_TRUE(pieces[0].starts_with("PVWR 010000"));
    EXPECT_TRUE(pieces[1].starts_with("PVWR 010040"));
    EXPECT_TRUE(pieces[2].starts_with("PVWR 010080"));
    for (const std::string& p : pieces)
        EXPECT_EQ(p.size(), 5u + 2 + 4 + 128);
    EXPECT_EQ(pieces[2].substr(pieces[2].size() - 84), std::string(84, '0'));
    char first[3];
    std::snprintf(first, sizeof first, "%02X", rom[0]);
    EXPECT_EQ(pieces[0].substr(11, 2), first);

    const std::vector<std::string> expected = {"INIT ",
                                               "TX ",
                                               "GET ",
                                               "PHRQ *********1****",
                                               "PHSR ",
                                               "PHINF 0A0020",
                                               "PHINF 0B0020",
                                               "PHINF 0C0020",
                                               "PINIT 0B",
                                               "PENA 0BD",
                                               "PINIT 01",
                                               "PENA 01D",
                                               "SFLIST 03",
                                               "SET Param.Tracking.Selected Volume=2",
                                               "TSTART ",
                                               "COMM 50000"};
    EXPECT_EQ(sent_commands, expected);

    const tracker_reply_t r = poll();
    EXPECT_EQ(commands().back(), "TX 0801");
    ASSERT_TRUE(r.received);
    ASSERT_TRUE(r.probe && r.pointer);
    EXPECT_EQ(r.probe_state, POS_VALID);
    EXPECT_EQ(r.pointer_state, POS_VALID);
    expect_pose(r.probe_pose, sent(1));
    expect_pose(r.pointer_pose, sent(4));
    EXPECT_NEAR(r.pointer_pose[1] - r.probe_pose[1], 15.0f, 0.002f) << "tools kept apart";
}

TEST_F(PolarisDriverTest, OlderSetAsksForPassivePortsWhenAToolIsOnOne)
{
    config.speed = 9600;
    config.tool = 10;  // tool 4: passive port A
    write_rom(3, polaris_sim_t::rom_image(3));
    start(false);
    ASSERT_TRUE(probe());
    const std::vector<std::string> c = commands();
    EXPECT_EQ(std::count_if(c.begin(), c.end(), [](const std::string& s) { return s.starts_with("PVWR A"); }), 3);
    EXPECT_NE(std::find(c.begin(), c.end(), "PINIT A"), c.end());
    const tracker_reply_t r = poll();
    EXPECT_EQ(commands().back(), "GX 8001");
    ASSERT_TRUE(r.probe);
    EXPECT_EQ(r.probe_state, POS_VALID);
    expect_pose(r.probe_pose, sent(3));
}

TEST_F(PolarisDriverTest, SpeedRulesDependOnParameterCommands)
{
    config.speed = 19200;
    start(true);
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].first, "Polaris warning");
    EXPECT_EQ(ui.informed[0].second, polaris_speed_refusal(19200, true));
    EXPECT_TRUE(ui.informed[0].second.Contains("but NOT a speed of 19200 bps."));
    EXPECT_EQ(device_speed(), 9600);

    ui.informed.clear();
    start(false);
    ASSERT_TRUE(probe()) << "trackers without parameters take 19200";
    EXPECT_EQ(device_speed(), 19200);
    EXPECT_TRUE(poll().probe);

    config.speed = 921600;
    start(false);
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].second, polaris_speed_refusal(921600, false));

    start(true);
    ASSERT_TRUE(probe());
    EXPECT_EQ(device_speed(), 921600);
    EXPECT_TRUE(poll().probe);
}

TEST_F(PolarisDriverTest, ReferenceToolGivesTheRelativePose)
{
    options.trajectory = fixed_pose(sim_pose_t{{4.0f, -3.0f, 25.0f, -40.0f, 15.0f, 60.0f}});
    config.speed = 57600;
    config.tool = 4;  // tool 1 relative to tool 2
    start(false);
    ASSERT_TRUE(probe());
    const std::vector<std::string> c = commands();
    EXPECT_NE(std::find(c.begin(), c.end(), "PENA 1D"), c.end());
    EXPECT_NE(std::find(c.begin(), c.end(), "PENA 2S"), c.end()) << "the reference is enabled as static";

    const tracker_reply_t r = poll();
    ASSERT_TRUE(r.probe);
    EXPECT_EQ(r.probe_state, POS_VALID);
    matrix16d inv, fwd;
    inv.inverse(sent(1).v);
    fwd.forward(sent(0).v);
    double v[6];
    (inv * fwd).decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    sim_pose_t expected;
    for (int i = 0; i < 6; ++i)
        expected.v[i] = static_cast<float>(v[i]);
    expect_pose(r.probe_pose, expected, 0.01f);
    // The reference lost makes the probe pose unusable; the sample still goes out.
    set_conditions({.missing = {false, true, false, false, false, false}});
    const tracker_reply_t lost = poll();
    EXPECT_TRUE(lost.probe);
    EXPECT_EQ(lost.probe_state, POS_MISSING);
}

TEST_F(PolarisDriverTest, EveryAlertStateAndItsText)
{
    config.tool = 1;
    config.pointer = 2;
    start(true);
    ASSERT_TRUE(probe());

    tracker_reply_t r = poll();
    EXPECT_EQ(r.probe_state, POS_VALID);
    expect_alert(11, "Polaris tool OK", 0);
    poll();
    EXPECT_FALSE(driver->take_alert()) << "an unchanged state is not shown again";

    set_conditions({.port_bits = {0x80, 0, 0, 0, 0, 0}});
    r = poll();
    EXPECT_EQ(r.probe_state, POS_PARTLY_OUT);
    EXPECT_EQ(r.pointer_state, POS_VALID);
    expect_alert(10, "Polaris tool partially out of volume", 1);

    set_conditions({.port_bits = {0xC0, 0x80, 0, 0, 0, 0}});
    r = poll();
    EXPECT_EQ(r.probe_state, POS_WARNED);
    EXPECT_EQ(r.pointer_state, POS_PARTLY_OUT);
    expect_alert(9, "Polaris tool out of volume", 1);

    // A missing probe still leaves the pointer's pose.
    set_conditions({.missing = {true, false, false, false, false, false}});
    r = poll();
    ASSERT_TRUE(r.received);
    EXPECT_TRUE(r.probe);
    EXPECT_EQ(r.probe_state, POS_MISSING);
    ASSERT_TRUE(r.pointer);
    EXPECT_EQ(r.pointer_state, POS_VALID);
    expect_pose(r.pointer_pose, sent(1));
    expect_alert(8, "Polaris tool cannot be seen by sensor", 2);
    set_conditions({.missing = {true, true, false, false, false, false}});
    r = poll();
    EXPECT_TRUE(r.received);
    EXPECT_FALSE(r.probe || r.pointer) << "nothing to deliver when both are missing";

    set_conditions({.temperature = true});
    r = poll();
    EXPECT_EQ(r.probe_state, POS_WARNED);
    EXPECT_EQ(r.pointer_state, POS_WARNED);
    expect_alert(5, "Polaris outside optimal temperature range", 1);

    const struct {
        int bits, state;
        const char* text;
    } system_faults[] = {{0x02, 1, "Too much external infra red"},
                         {0x08, 3, "Polaris system processing exception"},
                         {0x04, 2, "Polaris communication crc error"}};
    for (const auto& f : system_faults) {
        set_conditions({.system_status = f.bits});
        r = poll();
        EXPECT_TRUE(r.received);
        EXPECT_EQ(r.probe_state, POS_MISSING);
        EXPECT_EQ(r.pointer_state, POS_MISSING);
        expect_alert(f.state, f.text, 2);
    }

    logs.clear();
    set_conditions({.system_status = 0x01});
    EXPECT_FALSE(poll().received);
    expect_alert(0, "Polaris system communication sync error", 2);
    EXPECT_TRUE(logs.contains("There has been a Polaris communication sync error.\n\nRe-start Kestrane", wxLOG_Error));

    set_conditions({.new_alerts = 1u << 22});
    EXPECT_FALSE(poll().received);
    expect_alert(6, "Polaris issued an alert", 2);
    EXPECT_EQ(commands().back(), "GET Info.Status.New Alerts");
    EXPECT_TRUE(logs.contains("There has been a Polaris cable fault.", wxLOG_Error));

    set_conditions({.disabled = {false, true, false, false, false, false}});
    EXPECT_FALSE(poll().received);
    expect_alert(7, "Polaris port is not enabled", 2);
    EXPECT_TRUE(logs.contains("One of the polaris ports is disabled.\n\nRe-start Kestrane", wxLOG_Error));

    set_conditions({});
    EXPECT_EQ(poll().probe_state, POS_VALID);
    expect_alert(11, "Polaris tool OK", 0);
}

TEST_F(PolarisDriverTest, FaultyRepliesAreNeverDelivered)
{
    config.tool = 1;
    config.pointer = 3;
    start(true);
    ASSERT_TRUE(probe());
    poll();
    driver->take_alert();

    // A wrong CRC: the reply counts, its contents do not.
    set_conditions({.bad_crc = 1});
    tracker_reply_t r = poll();
    EXPECT_TRUE(r.received);
    EXPECT_EQ(r.probe_state, POS_MISSING);
    EXPECT_EQ(r.pointer_state, POS_MISSING);
    expect_alert(2, "Polaris communication crc error", 2);
    EXPECT_EQ(poll().probe_state, POS_VALID);
    expect_alert(11, "Polaris tool OK", 0);

    // An error reply is logged with its text; the alert line is written again.
    logs.clear();
    set_conditions({.tracking_error = "ERROR0C"});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains("Polaris error: TX returned ERROR0C (Command is invalid while in the current mode)",
                              wxLOG_Error));
    expect_alert(11, "Polaris tool OK", 0);

    // A port that lost its enabled bit stops delivery.
    set_conditions({.port_clear = {0x20, 0, 0, 0, 0, 0}});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains("Polaris port 1 not enabled correctly - port status is 11.\n", wxLOG_Error));

    // A reply cut short by silence is a timeout, not a pose.
    set_conditions({});
    logs.clear();
    link->set_faults({.fragment = 10, .fragment_gap = 0.3});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains("There has been a Polaris communication timeout.", wxLOG_Error));
}

TEST_F(PolarisDriverTest, InitialisationFailures)
{
    // A non-fatal parameter fault: defaults restored, then initialised again.
    start(true);
    set_conditions({.new_alerts = 1u << 24, .init_error = "ERROR15", .restorable = true});
    ASSERT_TRUE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_TRUE(ui.informed[0].second.StartsWith("There has been a non-fatal Polaris parameter fault.\n"));
    std::vector<std::string> c = commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "INIT "), 2);
    const auto dflt = std::find(c.begin(), c.end(), "DFLT *");
    ASSERT_NE(dflt, c.end());
    EXPECT_EQ(*(dflt - 1), "GET Info.Status.New Alerts");
    EXPECT_EQ(*(dflt + 1), "SAVE ");
    EXPECT_EQ(*(dflt + 2), "INIT ");

    ui.informed.clear();
    start(true);
    set_conditions({.new_alerts = 1u << 23, .init_error = "ERROR2E"});
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].second, "The Polaris firmware is incompatible.\nPlease update the firmware.");

    ui.informed.clear();
    start(false);
    set_conditions({.init_error = "ERROR15"});
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].second, "Polaris initialisation was not successful.\nPlease contact NDI for advice.");

    logs.clear();
    start(true);
    set_conditions({.init_error = "ERROR10"});
    EXPECT_FALSE(probe());
    EXPECT_TRUE(logs.contains("Polaris error: INIT returned ERROR10 (System not initialized)", wxLOG_Error));
}

TEST_F(PolarisDriverTest, ToolWarningsAreShownOncePerRun)
{
    config.tool = 1;
    polaris_sim_conditions_t c;
    c.pinit_reply[0] = "WARNING";
    c.pena_reply[0] = "WARNING03";
    start(true);
    set_conditions(c);
    ASSERT_TRUE(probe()) << "a tool with warnings can be used";
    ASSERT_EQ(ui.informed.size(), 2u);
    EXPECT_EQ(ui.informed[0].first, "Polaris warning");
    EXPECT_EQ(ui.informed[0].second, "Polaris system issued a warning on initialising port 1.\n"
                                     "This tool can be used, but may have a burnt out marker.");
    EXPECT_EQ(ui.informed[1].second, "Polaris system issued a warning on enabling port 1.\n"
                                     "This tool can be used, but does not meet unique geometry requirements\n"
                                     "and conflicts with another unique geometry tool.");
    EXPECT_TRUE(poll().probe);

    start(true);
    c.pena_reply[0] = "WARNING02";
    set_conditions(c);
    ASSERT_TRUE(probe());
    EXPECT_EQ(ui.informed.size(), 2u) << "nothing more in the same run";
}

TEST_F(PolarisDriverTest, MissingDefinitionOrTrackerFailsTheProbe)
{
    config.pointer = 10;  // passive port A, without its definition file
    start(true);
    EXPECT_FALSE(probe());
    EXPECT_TRUE(logs.contains("polarisA.rom", wxLOG_Error));

    // A different tracker on the line: the probe gives up without complaint.
    logs.clear();
    start(make_device_sim("fastrak", {}));
    EXPECT_FALSE(driver->probe(line, config, ui));
    EXPECT_EQ(logs.count(wxLOG_Error), 0u);
    EXPECT_TRUE(ui.informed.empty());
}

TEST_F(PolarisDriverTest, StatusReportStopsAndRestartsTracking)
{
    config.tool = 1;
    config.pointer = 11;
    write_rom(4, polaris_sim_t::rom_image(4));
    for (const bool newer : {true, false}) {
        SCOPED_TRACE(newer ? "newer" : "older");
        start(newer);
        ASSERT_TRUE(probe());
        const wxString report = driver->status_report(line, ui);
        EXPECT_TRUE(report.StartsWith("Polaris detected (positions on port 1), (pointer on port B)")) << report;
        EXPECT_TRUE(report.Contains("Polaris processor status OK.\n"));
        EXPECT_TRUE(report.Contains("\nPolaris supported features list:\n Active tool ports available.\n"));
        EXPECT_TRUE(report.Contains(" Status for Port 1:\n  Tool type 2.1, with 1 switch(es) and 2 LED(s).\n"));
        EXPECT_TRUE(report.Contains(" Status for Port B:\n"));
        EXPECT_TRUE(report.Contains("  Tool plugged in, initialized and enabled.\n"));
        EXPECT_TRUE(report.Contains("  All markers passed electrical current testing.\n"));
        EXPECT_TRUE(report.Contains("\nPolaris infrared diagnostics:\n No external infrared sources detected.\n"));
        const std::vector<std::string> c = commands();
        EXPECT_NE(std::find(c.begin(), c.end(), "TSTOP "), c.end());
        EXPECT_EQ(c.back(), "TSTART ");
        const tracker_reply_t r = poll();
        EXPECT_TRUE(r.probe && r.pointer);
        EXPECT_EQ(r.pointer_state, POS_VALID);

        driver->shut_down(line);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(with_sim([](polaris_sim_t& s) { return s.tracking(); }));
    }
}

const char* const ir_explanation = "\nPolaris infrared diagnostics (see images):\n"
                                   "  Left - left camera, right - right camera\n"
                                   "  Top - tracking, middle - illuminated, bottom - background\n"
                                   "  Green - above background level, red - above detection level\n";

enum class ir_colour_t { grey, green, red };

ir_colour_t colour_at(const wxImage& image, int x, int y)
{
    const unsigned char r = image.GetRed(x, y), g = image.GetGreen(x, y), b = image.GetBlue(x, y);
    if (r == 255 && g == 0 && b == 0)
        return ir_colour_t::red;
    if (r == 0 && g == 255 && b == 0)
        return ir_colour_t::green;
    EXPECT_TRUE(r == g && g == b) << "not grey at " << x << "," << y;
    return ir_colour_t::grey;
}

TEST_F(PolarisDriverTest, StatusReportShowsTheInfraredImages)
{
    config.tool = 1;
    start(true);
    ASSERT_TRUE(probe());
    const wxString report = driver->status_report(line, ui);
    EXPECT_TRUE(report.EndsWith(ir_explanation)) << report;
    EXPECT_NE(std::find(ui.progress.begin(), ui.progress.end(), "Currently retrieving images from Polaris"),
              ui.progress.end());

    // Every pixel: grey, or green above the background level, or red above the trigger level.
    const polaris_sim_conditions_t c;
    const wxImage image = driver->status_image();
    ASSERT_TRUE(image.IsOk());
    ASSERT_EQ(image.GetWidth(), 2 * c.sensor_width);
    ASSERT_EQ(image.GetHeight(), 3 * c.sensor_height);
    const polaris_sim_t::ir_frame_t tiles[] = {polaris_sim_t::ir_tracking, polaris_sim_t::ir_illuminated,
                                               polaris_sim_t::ir_background};
    for (int tile = 0; tile < 3; ++tile)
        for (int sensor = 0; sensor < 2; ++sensor) {
            SCOPED_TRACE(testing::Message() << "tile " << tile << " sensor " << sensor);
            int red = 0, green = 0;
            for (int y = 0; y < c.sensor_height; ++y)
                for (int x = 0; x < c.sensor_width; ++x) {
                    const int v = polaris_sim_t::ir_pixel(sensor, tiles[tile], x, y, c.sensor_width, c.sensor_height);
                    const ir_colour_t want = v > c.ir_trigger      ? ir_colour_t::red
                                             : v > c.ir_background ? ir_colour_t::green
                                                                   : ir_colour_t::grey;
                    const int ix = sensor * c.sensor_width + x, iy = tile * c.sensor_height + y;
                    const ir_colour_t got = colour_at(image, ix, iy);
                    ASSERT_EQ(got, want) << "at " << x << "," << y;
                    if (got == ir_colour_t::grey) {
                        ASSERT_EQ(image.GetRed(ix, iy), v) << "at " << x << "," << y;
                    }
                    red += got == ir_colour_t::red;
                    green += got == ir_colour_t::green;
                }
            EXPECT_EQ(red > 0, tiles[tile] != polaris_sim_t::ir_background) << "markers lit";
            EXPECT_EQ(green > 0, tiles[tile] != polaris_sim_t::ir_tracking) << "the stray source";
        }

    std::vector<std::string> sent = commands();
    const auto dstart = std::find(sent.begin(), sent.end(), "DSTART ");
    ASSERT_NE(dstart, sent.end());
    sent.erase(sent.begin(), dstart);
    const std::vector<std::string> expected_start = {"DSTART ",
                                                     "GET Cmd.VGet.Threshold.Trigger",
                                                     "GET Cmd.VGet.Threshold.Background",
                                                     "GET Cmd.VGet.Sensor.Width",
                                                     "GET Cmd.VGet.Sensor.Height",
                                                     "SET Cmd.VGet.Threshold.Shutter Time=100",
                                                     "SET Cmd.VGet.Start X=0",
                                                     "SET Cmd.VGet.End X=63",
                                                     "SET Cmd.VGet.Stride=1",
                                                     "SET Cmd.VGet.Color Depth=8",
                                                     "SET Cmd.VGet.Sample Option=2",
                                                     "SET Cmd.VSnap.Illuminated Frame=1",
                                                     "SET Cmd.VSnap.Background Frame=0",
                                                     "VSNAP ",
                                                     "VGET 0000001f",  // 31 rows of 129 characters fit one reply
                                                     "VGET 001f0001",
                                                     "VGET 0000011f"};
    ASSERT_GT(sent.size(), expected_start.size());
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + expected_start.size()), expected_start);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()), (std::vector<std::string>{"DSTOP ", "TSTART "}));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "VSNAP "), 3);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& s) { return s.starts_with("VGET"); }), 12);
    EXPECT_TRUE(poll().probe) << "tracking resumed";

    // A larger sensor is subsampled, keeping the markers and the aspect ratio.
    set_conditions({.sensor_width = 400, .sensor_height = 100});
    driver->status_report(line, ui);
    const wxImage big = driver->status_image();
    ASSERT_TRUE(big.IsOk());
    EXPECT_EQ(big.GetWidth(), 2 * 134);  // every third column of 400
    EXPECT_EQ(big.GetHeight(), 3 * 34);
    sent = commands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "SET Cmd.VGet.End X=399"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "SET Cmd.VGet.Stride=3"), sent.end());
    for (int sensor = 0; sensor < 2; ++sensor) {
        int red = 0;
        for (int y = 0; y < 34; ++y)
            for (int x = 0; x < 134; ++x)
                red += colour_at(big, sensor * 134 + x, y) == ir_colour_t::red;
        EXPECT_GT(red, 0) << "sensor " << sensor;
    }
}

TEST_F(PolarisDriverTest, InfraredImagesNeedParameterCommandsAndSoundReplies)
{
    config.tool = 1;
    start(false);
    ASSERT_TRUE(probe());
    wxString report = driver->status_report(line, ui);
    EXPECT_FALSE(report.Contains("(see images)"));
    EXPECT_FALSE(driver->status_image().IsOk());
    std::vector<std::string> sent = commands();
    EXPECT_TRUE(std::none_of(sent.begin(), sent.end(), [](const std::string& s) {
        return s.starts_with("DSTART") || s.starts_with("VSNAP") || s.starts_with("VGET");
    })) << "an older tracker is not asked for images";
    EXPECT_EQ(sent.back(), "TSTART ");

    start(true);
    ASSERT_TRUE(probe());
    ASSERT_TRUE(driver->status_report(line, ui).Contains("(see images)"));
    const std::string row(128, '0');
    const struct {
        const char* what;
        polaris_sim_conditions_t c;
    } faults[] = {
        {"error", {.vget_reply = "ERROR36"}},
        {"rows missing", {.vget_reply = row + "\n"}},
        {"row short", {.vget_reply = row.substr(2) + "\n"}},
        {"not hex", {.vget_reply = std::string(30 * 129, '0') + "0G" + row.substr(2) + "\n"}},
        {"no line feed", {.vget_reply = std::string(31 * 129 - 1, '0') + "0"}},
        {"sensor too tall", {.sensor_width = 64, .sensor_height = 4097}},
        {"no sensor", {.sensor_width = 0}},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.what);
        set_conditions(f.c);
        logs.clear();
        report = driver->status_report(line, ui);
        EXPECT_FALSE(driver->status_image().IsOk());
        EXPECT_FALSE(report.Contains("(see images)"));
        EXPECT_GT(logs.count(wxLOG_Error), 0u);
        sent = commands();
        EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
                  (std::vector<std::string>{"DSTOP ", "TSTART "}));
        set_conditions({});
        EXPECT_TRUE(poll().probe) << "tracking resumed";
    }
}

}  // namespace

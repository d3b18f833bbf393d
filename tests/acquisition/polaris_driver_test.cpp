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
#include "support/wait_until.h"

namespace {

// Messages meant for a dialog, kept for the test to read.
class recording_ui_t : public headless_interaction_t {
public:
    std::vector<std::pair<wxString, wxString>> informed;
    void inform(const wxString& caption, const wxString& message) override { informed.emplace_back(caption, message); }
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
    void set_conditions(const polaris_sim_conditions_t& c) { with_sim([&](polaris_sim_t& s) { s.conditions() = c; }); }
    std::vector<std::string> commands() { return with_sim([](polaris_sim_t& s) { return s.commands(); }); }
    long device_speed() { return with_sim([](polaris_sim_t& s) { return s.device_speed(); }); }
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
        EXPECT_TRUE(!found || line.set_params(config.speed, 8, 0, 0, 0));
        return found;
    }
    // Detected with these tools, at this speed, ready to track.
    void tracking(bool newer, int tool, int pointer = 0, long speed = 38400)
    {
        config.tool = tool;
        config.pointer = pointer;
        config.speed = speed;
        start(newer);
        ASSERT_TRUE(probe());
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
    // The alert line's state and colour; its text comes from a table.
    void expect_alert(int state, int colour)
    {
        EXPECT_EQ(driver->alert_state(), state);
        const auto a = driver->take_alert();
        ASSERT_TRUE(a) << "no alert for state " << state;
        EXPECT_EQ(a->colour, colour) << "state " << state;
    }
};

bool has(const std::vector<std::string>& commands, const std::string& c)
{
    return std::find(commands.begin(), commands.end(), c) != commands.end();
}

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
    tracking(false, 1);
    EXPECT_FALSE(driver->newer_command_set() || driver->has_parameters() || driver->has_pointer());
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
    ASSERT_TRUE(r.received && r.probe);
    EXPECT_FALSE(r.pointer);
    EXPECT_EQ(r.probe_state, POS_VALID);
    expect_pose(r.probe_pose, sent(0));
    expect_pose(r.probe_pose, tool_pose);
    expect_alert(11, 0);

    // A reply the layout cannot be followed in is alert 4, with the request's option.
    set_conditions({.tracking_error = "MISSING\n"});
    const tracker_reply_t odd = poll();
    EXPECT_TRUE(odd.received);
    EXPECT_EQ(odd.probe_state, POS_MISSING);
    EXPECT_EQ(driver->take_alert()->text, "Kestrane can't interpret GX format 0001");
}

TEST_F(PolarisDriverTest, NewerCommandSetWithPassivePointer)
{
    const std::vector<unsigned char> rom = polaris_sim_t::rom_image(4);
    write_rom(4, rom);
    tracking(true, 2, 11, 115200);  // pointer 11: passive port B
    EXPECT_TRUE(driver->newer_command_set() && driver->has_parameters() && driver->has_pointer());
    EXPECT_EQ(device_speed(), 115200);

    // The definition goes over in 64-byte pieces, the last padded with zeros.
    std::vector<std::string> sent_commands = commands(), pieces;
    std::erase_if(sent_commands,
                  [&](const std::string& c) { return c.starts_with("PVWR ") && (pieces.push_back(c), true); });
    ASSERT_EQ(pieces.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(pieces[i].starts_with(i == 0 ? "PVWR 010000" : i == 1 ? "PVWR 010040" : "PVWR 010080"));
        EXPECT_EQ(pieces[i].size(), 5u + 2 + 4 + 128);
    }
    EXPECT_EQ(pieces[2].substr(pieces[2].size() - 84), std::string(84, '0'));
    char first[3];
    std::snprintf(first, sizeof first, "%02X", rom[0]);
    EXPECT_EQ(pieces[0].substr(11, 2), first);

    const std::vector<std::string> expected = {
        "INIT ",     "TX ",     "GET ",      "PHRQ *********1****", "PHSR ", "PHINF 0A0020", "PHINF 0B0020",
        "PHINF 0C0020", "PINIT 0B", "PENA 0BD", "PINIT 01", "PENA 01D", "SFLIST 03",
        "SET Param.Tracking.Selected Volume=2", "TSTART ", "COMM 50000"};
    EXPECT_EQ(sent_commands, expected);

    const tracker_reply_t r = poll();
    EXPECT_EQ(commands().back(), "TX 0801");
    ASSERT_TRUE(r.received && r.probe && r.pointer);
    EXPECT_EQ(r.probe_state, POS_VALID);
    EXPECT_EQ(r.pointer_state, POS_VALID);
    expect_pose(r.probe_pose, sent(1));
    expect_pose(r.pointer_pose, sent(4));
    EXPECT_NEAR(r.pointer_pose[1] - r.probe_pose[1], 15.0f, 0.002f) << "tools kept apart";
}

TEST_F(PolarisDriverTest, OlderSetAsksForPassivePortsWhenAToolIsOnOne)
{
    write_rom(3, polaris_sim_t::rom_image(3));
    tracking(false, 10, 0, 9600);  // tool 10: passive port A
    const std::vector<std::string> c = commands();
    EXPECT_EQ(std::count_if(c.begin(), c.end(), [](const std::string& s) { return s.starts_with("PVWR A"); }), 3);
    EXPECT_TRUE(has(c, "PINIT A"));
    const tracker_reply_t r = poll();
    EXPECT_EQ(commands().back(), "GX 8001");
    ASSERT_TRUE(r.probe);
    EXPECT_EQ(r.probe_state, POS_VALID);
    expect_pose(r.probe_pose, sent(3));
}

TEST_F(PolarisDriverTest, SpeedRulesDependOnParameterCommands)
{
    const struct {
        long speed;
        bool newer, accepted;
    } cases[] = {{19200, true, false}, {19200, false, true}, {921600, false, false}, {921600, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.speed << (c.newer ? " newer" : " older"));
        config.speed = c.speed;
        ui.informed.clear();
        start(c.newer);
        ASSERT_EQ(probe(), c.accepted);
        if (c.accepted) {
            EXPECT_EQ(device_speed(), c.speed);
            EXPECT_TRUE(poll().probe);
        } else {
            ASSERT_EQ(ui.informed.size(), 1u);
            EXPECT_EQ(ui.informed[0].first, "Polaris warning");
            EXPECT_EQ(ui.informed[0].second, polaris_speed_refusal(c.speed, c.newer));
            EXPECT_TRUE(ui.informed[0].second.Contains(wxString::Format("(%ld bps)", c.speed)));
            EXPECT_EQ(device_speed(), 9600);
        }
    }
}

TEST_F(PolarisDriverTest, ReferenceToolGivesTheRelativePose)
{
    options.trajectory = fixed_pose(sim_pose_t{{4.0f, -3.0f, 25.0f, -40.0f, 15.0f, 60.0f}});
    tracking(false, 4, 0, 57600);  // tool 1 relative to tool 2
    EXPECT_TRUE(has(commands(), "PENA 1D"));
    EXPECT_TRUE(has(commands(), "PENA 2S")) << "the reference is enabled as static";

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

TEST_F(PolarisDriverTest, EveryAlertStateIsReachable)
{
    tracking(true, 1, 2);
    EXPECT_EQ(poll().probe_state, POS_VALID);
    expect_alert(11, 0);
    poll();
    EXPECT_FALSE(driver->take_alert()) << "an unchanged state is not shown again";

    // Alert 4 is in the older set's test, alert 2 also from a wrong CRC below.
    const struct {
        polaris_sim_conditions_t c;
        bool received;
        pos_state_t probe, pointer;
        int alert, colour;
        wxString logged;
    } cases[] = {
        {{.port_bits = {0x80, 0, 0, 0, 0, 0}}, true, POS_PARTLY_OUT, POS_VALID, 10, 1, {}},
        {{.port_bits = {0xC0, 0x80, 0, 0, 0, 0}}, true, POS_WARNED, POS_PARTLY_OUT, 9, 1, {}},
        // A missing probe still leaves the pointer's pose.
        {{.missing = {true, false, false, false, false, false}}, true, POS_MISSING, POS_VALID, 8, 2, {}},
        {{.temperature = true}, true, POS_WARNED, POS_WARNED, 5, 1, {}},
        {{.system_status = 0x02}, true, POS_MISSING, POS_MISSING, 1, 2, {}},
        {{.system_status = 0x08}, true, POS_MISSING, POS_MISSING, 3, 2, {}},
        {{.system_status = 0x04}, true, POS_MISSING, POS_MISSING, 2, 2, {}},
        {{.system_status = 0x01}, false, {}, {}, 0, 2, "communication sync error"},
        {{.new_alerts = 1u << 22}, false, {}, {}, 6, 2, polaris_new_alert_message(1u << 22)},
        {{.disabled = {false, true, false, false, false, false}}, false, {}, {}, 7, 2, "ports is disabled"},
        {{}, true, POS_VALID, POS_VALID, 11, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "alert " << c.alert);
        set_conditions(c.c);
        logs.clear();
        const tracker_reply_t r = poll();
        ASSERT_EQ(r.received, c.received);
        if (c.received) {
            EXPECT_TRUE(r.probe && r.pointer);
            EXPECT_EQ(r.probe_state, c.probe);
            EXPECT_EQ(r.pointer_state, c.pointer);
            if (r.pointer_state == POS_VALID)
                expect_pose(r.pointer_pose, sent(1));
        }
        expect_alert(c.alert, c.colour);
        EXPECT_TRUE(c.logged.empty() || logs.contains(c.logged, wxLOG_Error)) << c.logged;
    }

    set_conditions({.missing = {true, true, false, false, false, false}});
    const tracker_reply_t r = poll();
    EXPECT_TRUE(r.received);
    EXPECT_FALSE(r.probe || r.pointer) << "nothing to deliver when both are missing";
}

TEST_F(PolarisDriverTest, FaultyRepliesAreNeverDelivered)
{
    tracking(true, 1, 3);
    poll();
    driver->take_alert();

    // A wrong CRC: the reply counts, its contents do not.
    set_conditions({.bad_crc = 1});
    tracker_reply_t r = poll();
    EXPECT_TRUE(r.received);
    EXPECT_EQ(r.probe_state, POS_MISSING);
    EXPECT_EQ(r.pointer_state, POS_MISSING);
    expect_alert(2, 2);
    EXPECT_EQ(poll().probe_state, POS_VALID);
    expect_alert(11, 0);

    // An error reply is logged with its text; the alert line is written again.
    set_conditions({.tracking_error = "ERROR0C"});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains(polaris_error_message("ERROR0C", "TX"), wxLOG_Error));
    expect_alert(11, 0);

    // A port that lost its enabled bit stops delivery.
    set_conditions({.port_clear = {0x20, 0, 0, 0, 0, 0}});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains("Polaris port 1 not enabled correctly - port status is 11.", wxLOG_Error));

    // A reply cut short by silence is a timeout, not a pose.
    set_conditions({});
    logs.clear();
    link->set_faults({.fragment = 10, .fragment_gap = 0.3});
    EXPECT_FALSE(poll().received);
    EXPECT_TRUE(logs.contains("communication timeout", wxLOG_Error));
}

TEST_F(PolarisDriverTest, InitialisationFailures)
{
    // A non-fatal parameter fault: defaults restored, then initialised again.
    start(true);
    set_conditions({.new_alerts = 1u << 24, .init_error = "ERROR15", .restorable = true});
    ASSERT_TRUE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].second, polaris_init_alert(1u << 24).message);
    const std::vector<std::string> c = commands();
    EXPECT_EQ(std::count(c.begin(), c.end(), "INIT "), 2);
    const auto dflt = std::find(c.begin(), c.end(), "DFLT *");
    ASSERT_NE(dflt, c.end());
    EXPECT_EQ(std::vector<std::string>(dflt - 1, dflt + 3),
              (std::vector<std::string>{"GET Info.Status.New Alerts", "DFLT *", "SAVE ", "INIT "}));

    ui.informed.clear();
    start(true);
    set_conditions({.new_alerts = 1u << 23, .init_error = "ERROR2E"});
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_EQ(ui.informed[0].second, polaris_init_alert(1u << 23).message);

    // Without parameter commands there is no alert word to read.
    ui.informed.clear();
    start(false);
    set_conditions({.init_error = "ERROR15"});
    EXPECT_FALSE(probe());
    ASSERT_EQ(ui.informed.size(), 1u);
    EXPECT_TRUE(ui.informed[0].second.StartsWith("Polaris initialisation was not successful.\n"));

    start(true);
    set_conditions({.init_error = "ERROR10"});
    EXPECT_FALSE(probe());
    EXPECT_TRUE(logs.contains(polaris_error_message("ERROR10", "INIT"), wxLOG_Error));
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
    for (const auto& [caption, message] : ui.informed) {
        EXPECT_EQ(caption, "Polaris warning");
        EXPECT_TRUE(message.Contains("port 1.\n")) << message;
    }
    // Both bits of WARNING03 are explained.
    EXPECT_TRUE(ui.informed[1].second.Contains("does not meet unique geometry"));
    EXPECT_TRUE(ui.informed[1].second.Contains("conflicts with another"));
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
        EXPECT_TRUE(report.Contains(" Status for Port 1:\n  Tool type 2.1, with 1 switch(es) and 2 LED(s).\n"));
        EXPECT_TRUE(report.Contains(" Status for Port B:\n"));
        EXPECT_TRUE(report.Contains("\nPolaris infrared diagnostics:\n No external infrared sources detected.\n"));
        // Only a tracker with parameter commands is asked for images.
        EXPECT_EQ(report.Contains("(see images)"), newer);
        EXPECT_EQ(driver->status_image().IsOk(), newer);
        EXPECT_EQ(has(commands(), "DSTART "), newer);
        EXPECT_TRUE(has(commands(), "TSTOP "));
        EXPECT_EQ(commands().back(), "TSTART ");
        const tracker_reply_t r = poll();
        EXPECT_TRUE(r.probe && r.pointer);
        EXPECT_EQ(r.pointer_state, POS_VALID);

        driver->shut_down(line);
        EXPECT_TRUE(wait_until([&] { return !with_sim([](polaris_sim_t& s) { return s.tracking(); }); }));
    }
}

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

TEST_F(PolarisDriverTest, InfraredImagesFromSoundRepliesOnly)
{
    tracking(true, 1);
    EXPECT_TRUE(driver->status_report(line, ui).Contains("(see images)"));

    // Every pixel: grey, or green above the background level, or red above the trigger level.
    const polaris_sim_conditions_t c;
    const int w = c.sensor_width, h = c.sensor_height;
    const wxImage image = driver->status_image();
    ASSERT_TRUE(image.IsOk());
    ASSERT_EQ(image.GetWidth(), 2 * w);
    ASSERT_EQ(image.GetHeight(), 3 * h);
    const polaris_sim_t::ir_frame_t tiles[] = {polaris_sim_t::ir_tracking, polaris_sim_t::ir_illuminated,
                                               polaris_sim_t::ir_background};
    for (int tile = 0; tile < 3; ++tile)
        for (int sensor = 0; sensor < 2; ++sensor) {
            SCOPED_TRACE(testing::Message() << "tile " << tile << " sensor " << sensor);
            int red = 0, green = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int v = polaris_sim_t::ir_pixel(sensor, tiles[tile], x, y, w, h);
                    const ir_colour_t want = v > c.ir_trigger      ? ir_colour_t::red
                                             : v > c.ir_background ? ir_colour_t::green
                                                                   : ir_colour_t::grey;
                    const int ix = sensor * w + x, iy = tile * h + y;
                    const ir_colour_t got = colour_at(image, ix, iy);
                    ASSERT_EQ(got, want) << "at " << x << "," << y;
                    ASSERT_TRUE(got != ir_colour_t::grey || image.GetRed(ix, iy) == v) << "level at " << x << "," << y;
                    red += got == ir_colour_t::red;
                    green += got == ir_colour_t::green;
                }
            EXPECT_EQ(red > 0, tiles[tile] != polaris_sim_t::ir_background) << "markers lit";
            EXPECT_EQ(green > 0, tiles[tile] != polaris_sim_t::ir_tracking) << "the stray source";
        }

    // Diagnostics end, then tracking starts again and works.
    const auto resumed = [&] {
        const std::vector<std::string> c = commands();
        EXPECT_EQ(std::vector<std::string>(c.end() - 2, c.end()), (std::vector<std::string>{"DSTOP ", "TSTART "}));
        EXPECT_TRUE(poll().probe) << "tracking resumed";
    };
    resumed();
    // 31 rows of 129 characters fit one reply; three frames of two sensors.
    const std::vector<std::string> sent = commands();
    const auto is_vget = [](const std::string& s) { return s.starts_with("VGET"); };
    const auto vget = std::find_if(sent.begin(), sent.end(), is_vget);
    ASSERT_GE(sent.end() - vget, 3);
    EXPECT_EQ(std::vector<std::string>(vget, vget + 3),
              (std::vector<std::string>{"VGET 0000001f", "VGET 001f0001", "VGET 0000011f"}));
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "VSNAP "), 3);
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), is_vget), 12);

    // A larger sensor is subsampled, keeping the markers and the aspect ratio.
    set_conditions({.sensor_width = 400, .sensor_height = 100});
    driver->status_report(line, ui);
    const wxImage big = driver->status_image();
    ASSERT_TRUE(big.IsOk());
    EXPECT_EQ(big.GetWidth(), 2 * 134);  // every third column of 400
    EXPECT_EQ(big.GetHeight(), 3 * 34);
    EXPECT_TRUE(has(commands(), "SET Cmd.VGet.End X=399"));
    EXPECT_TRUE(has(commands(), "SET Cmd.VGet.Stride=3"));
    for (int sensor = 0; sensor < 2; ++sensor) {
        int red = 0;
        for (int y = 0; y < 34; ++y)
            for (int x = 0; x < 134; ++x)
                red += colour_at(big, sensor * 134 + x, y) == ir_colour_t::red;
        EXPECT_GT(red, 0) << "sensor " << sensor;
    }

    // Replies that cannot make an image: none is shown, and tracking resumes.
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
        EXPECT_FALSE(driver->status_report(line, ui).Contains("(see images)"));
        EXPECT_FALSE(driver->status_image().IsOk());
        EXPECT_GT(logs.count(wxLOG_Error), 0u);
        set_conditions({});
        resumed();
    }
}

}  // namespace

// The NDI Polaris as a host sees it on the serial line: commands are ASCII
// lines ending in CR, every reply is text followed by its CRC-16 (four hex
// digits) and CR. It powers up at 9600 bps; a zero byte at 300 bps reads as
// a break and resets it to 9600 ("RESET"), though pty_link_t drops bytes
// sent at a speed the device is not at, so over a link the reset goes
// unseen. "COMM" answers at the old speed and then switches.
//
// Two generations of command set:
//   older: "TX", "GET", "SET" and the port-handle commands answer ERROR01;
//          ports are named by letter ("PINIT A", "PVWR A0000...", "PVCLR 1",
//          "VSEL n") and poses come from "GX 0001" / "GX 8001".
//   newer: wired tools on ports 1-3 have handles 0A-0C from INIT on,
//          passive tools get handles from "PHRQ *********1****"; "PHSR",
//          "PHINF hhoooo", "GET"/"SET" parameters; poses come from
//          "TX 0801". "TX" before "TSTART" answers ERROR0C; "GX", "PVCLR"
//          answer ERROR01.
//
// Tracking replies:
//   TX: handle count (2 hex); per enabled handle: handle (2 hex) then
//       "DISABLED" LF, or "MISSING" + port status (8 hex) + frame (8 hex) LF,
//       or q0 qx qy qz (sign + 5 digits, 1e-4) x y z (sign + 6 digits,
//       hundredths of mm) error (6) port status (8 hex) frame (8 hex) LF;
//       then the system status (4 hex).
//   GX: per block of three ports (1-3; with option 8000 also A-C): three
//       entries ("DISABLED" LF, "MISSING" LF, or the 51 characters of a
//       transformation and LF), then the port status of each port and the
//       system status byte (2 hex each) and LF.
// Port status: 0x01 occupied, 0x10 initialised, 0x20 enabled, 0x40 out of
// volume, 0x80 partially out. System status: 0x01 sync error, 0x02 too much
// infrared, 0x04 CRC error, 0x08 processing exception, 0x0100 new alerts,
// 0x0200 temperature (the high byte only on the newer set).
//
// Tool n (port index n: 0-2 ports 1-3, 3-5 ports A-C) follows
// sim_sensor_pose(options, t, n). A passive tool is seen only once the
// definition uploaded for it equals rom_image(n), zero-padded to 64 bytes.
// Diagnostics ("SSTAT", "SFLIST 00", "PHINF hh002F", "PSTAT 800F", "IRINIT",
// "IRCHK") answer a healthy system.
//
// Infrared images (newer set, between "DSTART" and "DSTOP"): "GET" and "SET"
// of the Cmd.VGet and Cmd.VSnap parameters; "VSNAP" captures a tracking
// frame, or the illuminated or background frame when "Cmd.VSnap.Illuminated
// Frame" or "Cmd.VSnap.Background Frame" is 1. "VGET rrrrsscc" (hex) answers
// cc rows of sensor ss (00 left, 01 right) starting at row rrrr and then
// every Stride-th row, each row the columns Start X to End X, every
// Stride-th, as two hex digits per pixel and LF; rows past the sensor are
// left out. Sample Option 0 takes the block's first pixel, 1 its mean, 2 its
// brightest. Only Color Depth 8 is known. The pixels are ir_pixel().
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simulators/device_sim.h"
#include "simulators/sim_options.h"

// Faults a test can switch on at any time (through pty_link_t::with_sim).
struct polaris_sim_conditions_t {
    std::array<bool, 6> missing{};           // tool not seen by the cameras
    std::array<bool, 6> disabled{};          // reported as disabled while tracking
    std::array<int, 6> port_bits{};          // port status bits added: 0x40 out of volume, 0x80 partly out
    std::array<int, 6> port_clear{};         // port status bits taken away (0x31 occupied/initialised/enabled)
    int system_status = 0;                   // low byte: 0x01 sync, 0x02 infrared, 0x04 CRC, 0x08 exception
    bool temperature = false;                // outside the optimal temperature range
    std::optional<std::uint32_t> new_alerts{}; // raises 0x0100; the value of "Info.Status.New Alerts"
    std::string tracking_error{};            // the answer to TX/GX instead of poses, e.g. "ERROR0C"
    std::string init_error{};                // the answer to INIT, e.g. "ERROR15"
    bool restorable = false;                 // "DFLT *" clears init_error and new_alerts
    std::array<std::string, 6> pinit_reply{}; // instead of OKAY, e.g. "WARNING"
    std::array<std::string, 6> pena_reply{};  // instead of OKAY, e.g. "WARNING02"
    int bad_crc = 0;                         // this many tracking replies carry a wrong CRC
    // The "SFLIST 03" answer: a count, then per volume a shape digit, ten
    // 7-character parameters and more, ending LF.
    std::string volumes =
        "2"
        "7+000100+000200+000300+000400+000500+000600+000700+000800+000900+001000" "00000\n"
        "0-095000+095000+030000+240000+000000+000000+000000+000000+000000+000000" "00000\n";
    int sensor_width = 64;                   // "Cmd.VGet.Sensor.Width"
    int sensor_height = 32;                  // "Cmd.VGet.Sensor.Height"
    int ir_trigger = 160;                    // "Cmd.VGet.Threshold.Trigger"
    int ir_background = 60;                  // "Cmd.VGet.Threshold.Background"
    std::optional<std::string> vget_reply{}; // the answer to VGET instead of the image rows
};

class polaris_sim_t : public device_sim_t {
public:
    polaris_sim_t(sim_options_t options, bool newer);

    void receive(std::span<const unsigned char> bytes, const sim_line_t& line, double now,
                 std::vector<std::vector<unsigned char>>& out) override;
    long device_speed() const override;
    // The reset: a zero byte sent at 300 bps reaches the tracker as a break.
    bool hears_mismatched(const sim_line_t& line) const override { return line.speed == 300; }
    wxString name() const override;

    polaris_sim_conditions_t& conditions() { return conditions_; }
    // The command lines received, oldest first and without their CR; the
    // last few thousand only, so that a long run does not grow without end.
    std::vector<std::string> commands() const { return {commands_.begin(), commands_.end()}; }
    int selected_volume() const { return selected_volume_; }
    bool tracking() const { return tracking_; }
    // The tool definition file of the passive tool on port index n.
    static std::vector<unsigned char> rom_image(int port);

    // What the cameras see (0-255) at column x, row y of a width x height
    // sensor: two markers, lit only in the illuminated frame and brighter
    // than the trigger level, a stray source between the background and
    // trigger levels, and dim ambient light; the tracking frame is the
    // illuminated frame less the background. The right camera sees the
    // markers shifted to the left.
    enum ir_frame_t { ir_tracking, ir_illuminated, ir_background };
    static int ir_pixel(int sensor, ir_frame_t frame, int x, int y, int width, int height);

private:
    struct handle_t {
        int port = -1;    // port index of the tool it tracks; -1 none (yet)
        bool passive = false;
        bool initialised = false;
        bool enabled = false;
        std::vector<unsigned char> rom;
    };

    void reset();
    std::string execute(const std::string& command, double now);
    std::string tracking_reply_tx(double now);
    std::string tracking_reply_gx(unsigned option, double now);
    std::string transformation(int port, double now);
    std::string tool_information(int port, int status) const;
    int port_status(int port, bool initialised, bool enabled) const;
    int system_status() const;
    bool rom_matches(const std::vector<unsigned char>& rom, int port) const;
    handle_t* find_handle(const std::string& text);
    std::string set_speed(const std::string& args);
    std::string set_parameter(const std::string& args);
    std::string get_parameter(const std::string& args) const;
    std::string video_rows(const std::string& args) const;

    sim_options_t options_;
    bool newer_;
    polaris_sim_conditions_t conditions_;
    long speed_ = 9600;
    bool initialised_ = false;
    bool tracking_ = false;
    int frame_ = 0;
    int selected_volume_ = 0;
    std::string line_;
    std::deque<std::string> commands_;
    std::map<int, handle_t> handles_;                     // newer set
    std::array<handle_t, 6> ports_{};                      // older set, by port index

    // Diagnostic mode and the image parameters.
    bool diagnostic_ = false;
    std::optional<ir_frame_t> snapped_;
    int start_x_ = 0, end_x_ = -1, stride_ = 1, colour_depth_ = 8, sample_option_ = 0, shutter_time_ = 100;
    bool illuminated_frame_ = false, background_frame_ = false;
};

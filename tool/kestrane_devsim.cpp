// kestrane-devsim: a simulated tracker, gantry or probe motor on a pseudo-terminal, so that
// Kestrane can be run and tried without the hardware.
#include <atomic>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "demo/calibration_demo.h"
#include "simulators/pty_link.h"
#include "simulators/sim_factory.h"

namespace {

std::atomic<pty_link_t*> running_link{nullptr};

void on_signal(int)
{
    if (pty_link_t* link = running_link.load())
        link->stop();
}

void print_usage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: kestrane-devsim KIND [OPTIONS]\n\n"
                 "Simulates a position tracker, a motorised gantry or a swept probe's motor on a\n"
                 "pseudo-terminal and prints its port.\n\nKinds:\n");
    for (const sim_kind_t& k : device_sim_kinds())
        std::fprintf(out, "  %-14s %s\n", k.name, k.description);
    std::fprintf(out,
                 "\nOptions:\n"
                 "  --speed BPS      line speed of the device (default 38400)\n"
                 "  --latency MS     delay before each reply\n"
                 "  --fragment N     send replies in pieces of N bytes\n"
                 "  --drop N         leave every N-th reply out\n"
                 "  --corrupt N      damage one byte of every N-th reply\n"
                 "  --sensors N      sensors fitted (Ascension kinds, 1 to 10)\n"
                 "  --path P         the tool's path: 'sweep' (default, 10 cm back and forth)\n"
                 "                   or 'demo' (the demo recording's sweep over the demo phantom,\n"
                 "                   as the probe's sensor with the demo calibration)\n"
                 "                   or 'bath' (over the calibration demo's water bath: still, up and\n"
                 "                   down, then turned poses; for the Probe calib page with the\n"
                 "                   simulated water bath images)\n"
                 "  --missing        the tool is missing: pose requests go unanswered\n"
                 "  --out-of-volume  the tool is far outside the measurement volume\n"
                 "\nzaber (9600 bps; prints the positions as they change):\n"
                 "  --slides N       slides daisy-chained as devices 1 to N (1 to 3, default 3)\n"
                 "  --resolution N   microsteps per step (1 to 256, default 64)\n"
                 "  --travel MM      travel of each slide (default 100)\n"
                 "  --slide-speed MM_PER_S  speed of every movement (default 20)\n"
                 "  --error N        answer every N-th command with an error\n"
                 "  --wrong-device N answer every N-th command as another device\n"
                 "  --unsolicited N  send a reply nobody asked for before every N-th answer\n"
                 "  --lose-byte N    lose a byte of every N-th answer\n"
                 "  --stuck D        device D (1 to 3) starts moving and never ends\n"
                 "\nswept-motor (28800 bps, set by the host through termios2; framed commands with\n"
                 "checksums, a wrong checksum answered \"E1\"; prints the position as it changes):\n"
                 "  --index-offset C counts from the index mark to the motor at power-up\n"
                 "                   (-3000 to 3000, default 300)\n"
                 "  --no-index       the index search never finds the mark (initialisation fails)\n"
                 "  --never-stops    the status always says the motor runs\n"
                 "  --bad-status     status digits that are not hex digits\n"
                 "  --lose-byte N    lose a byte of every N-th reply (as for zaber)\n"
                 "  --help           show this help\n");
}

int usage_error(const std::string& message)
{
    std::fprintf(stderr, "kestrane-devsim: %s\nTry 'kestrane-devsim --help'.\n", message.c_str());
    return 2;
}

bool parse_number(const char* text, double low, double high, double* out)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool parse_count(const char* text, long low, long high, long* out)
{
    if (text == nullptr || *text == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    *out = v;
    return true;
}

bool known_kind(const std::string& kind)
{
    for (const sim_kind_t& k : device_sim_kinds())
        if (kind == k.name)
            return true;
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string kind;
    sim_options_t options;
    sim_faults_t faults;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const char* value = i + 1 < args.size() ? args[i + 1].c_str() : nullptr;
        long n = 0;
        double ms = 0.0;
        if (a == "--help" || a == "-h") {
            print_usage(stdout);
            return 0;
        } else if (a == "--no-index") {
            options.swept_motor.no_index = true;
        } else if (a == "--never-stops") {
            options.swept_motor.never_stops = true;
        } else if (a == "--bad-status") {
            options.swept_motor.bad_status = true;
        } else if (a == "--index-offset") {
            if (!parse_number(value, -3000.0, 3000.0, &ms))
                return usage_error("--index-offset needs a number of counts from -3000 to 3000.");
            options.swept_motor.index_offset = ms;
            ++i;
        } else if (a == "--missing") {
            options.tool_missing = true;
        } else if (a == "--out-of-volume") {
            options.out_of_volume = true;
        } else if (a == "--speed") {
            if (!parse_count(value, 1, 10000000, &n) || !pty_link_t::speed_supported(n))
                return usage_error("--speed needs a serial line speed such as 9600, 38400 or 115200.");
            options.speed = n;
            ++i;
        } else if (a == "--latency") {
            if (!parse_number(value, 0.0, 60000.0, &ms))
                return usage_error("--latency needs a number of milliseconds from 0 to 60000.");
            faults.latency = ms / 1000.0;
            ++i;
        } else if (a == "--fragment" || a == "--drop" || a == "--corrupt") {
            if (!parse_count(value, 0, 100000, &n))
                return usage_error(a + " needs a whole number from 0 to 100000.");
            if (a == "--fragment")
                faults.fragment = static_cast<std::size_t>(n);
            else if (a == "--drop")
                faults.drop_every = static_cast<int>(n);
            else
                faults.corrupt_every = static_cast<int>(n);
            ++i;
        } else if (a == "--path") {
            const std::string path = value ? value : "";
            if (path != "sweep" && path != "demo" && path != "bath")
                return usage_error("--path needs 'sweep' (the default), 'demo' or 'bath'.");
            options.trajectory = path == "demo"   ? demo_phantom_path()
                                 : path == "bath" ? water_bath_path(calibration_demo_seed, calibration_demo_celsius)
                                                  : pose_trajectory_t(default_sweep);
            ++i;
        } else if (a == "--slides" || a == "--resolution" || a == "--stuck") {
            const long high = a == "--resolution" ? 256 : 3;
            if (!parse_count(value, 1, high, &n))
                return usage_error(a + " needs a whole number from 1 to " + std::to_string(high) + ".");
            (a == "--slides"       ? options.zaber.slides
             : a == "--resolution" ? options.zaber.resolution
                                   : options.zaber.stuck_device) = static_cast<int>(n);
            ++i;
        } else if (a == "--travel" || a == "--slide-speed") {
            if (!parse_number(value, 0.001, 100000.0, &ms))
                return usage_error(a + " needs a number of millimetres (per second) from 0.001 to 100000.");
            (a == "--travel" ? options.zaber.travel_mm : options.zaber.speed_mm_s) = ms;
            ++i;
        } else if (a == "--error" || a == "--wrong-device" || a == "--unsolicited" || a == "--lose-byte") {
            if (!parse_count(value, 0, 100000, &n))
                return usage_error(a + " needs a whole number from 0 to 100000.");
            (a == "--error"          ? options.zaber.error_every
             : a == "--wrong-device" ? options.zaber.wrong_device_every
             : a == "--unsolicited"  ? options.zaber.unsolicited_every
                                     : options.zaber.lose_byte_every) = static_cast<int>(n);
            if (a == "--lose-byte")
                options.swept_motor.lose_byte_every = static_cast<int>(n);
            ++i;
        } else if (a == "--sensors") {
            if (!parse_count(value, 1, 10, &n))
                return usage_error("--sensors needs a number from 1 to 10.");
            options.sensors = static_cast<int>(n);
            ++i;
        } else if (a.starts_with("-")) {
            return usage_error("unknown option '" + a + "'.");
        } else if (!kind.empty()) {
            return usage_error("only one device kind may be given ('" + kind + "' and '" + a + "').");
        } else {
            kind = a;
        }
    }
    if (kind.empty())
        return usage_error("no device kind given.");
    if (!known_kind(kind))
        return usage_error("unknown device kind '" + kind + "'.");

    options.zaber.report = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    options.swept_motor.report = options.zaber.report;
    std::unique_ptr<device_sim_t> sim = make_device_sim(kind, options);
    if (!sim) {
        std::fprintf(stderr, "kestrane-devsim: the %s simulator is not available in this build.\n", kind.c_str());
        return 1;
    }
    const std::string name = sim->name().utf8_string();
    const long line_speed = sim->device_speed();
    pty_link_t link(std::move(sim), faults);
    if (!link.ok()) {
        std::fprintf(stderr, "kestrane-devsim: could not open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }

    running_link = &link;
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::printf(
        "Simulated %s on %s at %ld bps, 8N1, no flow control.\n"
        "Type this port into Kestrane's %s; Ctrl-C stops.\n",
        name.c_str(), link.port_path().c_str(), line_speed,
        kind == "zaber"         ? "Zaber gantry control (or kestrane-tool zsq-run)"
        : kind == "swept-motor" ? "Probe motor control (or kestrane-tool swept-motor)"
                                : "Position source dialog");
    std::fflush(stdout);
    link.run();
    running_link = nullptr;

    if (const int mismatches = link.line_mismatches(); mismatches > 0)
        std::printf("The host's line settings did not match the device %d time%s.\n", mismatches,
                    mismatches == 1 ? "" : "s");
    return 0;
}

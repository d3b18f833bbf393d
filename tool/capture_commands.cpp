#include "capture_commands.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "common/interaction.h"
#include "output_names.h"
#include "acquisition/igtl_receiver.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "resources/value_text.h"
#include "simulators/capture_rig.h"
#include "tool_session.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool capture                      list the image sources\n"
                 "       kestrane-tool capture SOURCE [--tracker PORT|openigtlink] [--frames N] [--rate R]\n"
                 "                             [--template T] [--replay FILE.ks] [--server HOST:PORT]\n"
                 "                             [--probe-transform NAME] [OUT.ks]\n"
                 "  SOURCE          a number from the list, or part of a source's name\n"
                 "  --tracker PORT  poses from the tracker on this serial port (found automatically), or\n"
                 "                  with 'openigtlink' the TRANSFORM messages of the OpenIGTLink server;\n"
                 "                  without it frames are recorded without positions\n"
                 "  --server H:P    the OpenIGTLink server of the 'OpenIGTLink images' source and tracker\n"
                 "                  (default as the settings say, localhost:18944)\n"
                 "  --probe-transform NAME  the server's TRANSFORM that is the probe (default ProbeToReference)\n"
                 "  --frames N      frames to record (default 100)\n"
                 "  --rate R        full (default), gated, multiple, buffered, single, or 5 10 15 20 25 fps\n"
                 "  --template T    load the settings (probe calibration, scales) of template T first;\n"
                 "                  make-demo writes kestrane_demo.kst for the demo phantom\n"
                 "  --replay FILE   the simulated images replay this recording's frames\n"
                 "                  (otherwise they show the demo phantom at the tracker's pose)\n");
    return 2;
}

// The recording mode or frame rate, as RES_VID_RATE holds it.
bool parse_rate(const wxString& word, std::int64_t* rate)
{
    const struct {
        const char* word;
        long rate;
    } modes[] = {{"full", 0}, {"gated", -1}, {"multiple", -4}, {"buffered", -5}, {"single", -3}};
    for (const auto& m : modes)
        if (word == m.word) {
            *rate = m.rate;
            return true;
        }
    return value_text::parse_long(word, rate) && *rate % 5 == 0 && *rate >= 5 && *rate <= 25;
}

int find_source(const wxString& wanted)
{
    const auto& list = *res->RES_VID_CARD_LIST->value();
    std::int64_t index = 0;
    if (value_text::parse_long(wanted, &index))
        return index >= 0 && index < static_cast<std::int64_t>(list.size()) ? static_cast<int>(index) : -1;
    for (std::size_t k = 0; k < list.size(); ++k)
        if (list[k].name.Lower().Contains(wanted.Lower()))
            return static_cast<int>(k);
    return -1;
}

void list_sources()
{
    const auto& list = *res->RES_VID_CARD_LIST->value();
    for (std::size_t k = 0; k < list.size(); ++k)
        std::printf("%zu  %s\n", k, list[k].name.utf8_str().data());
    if (list.empty())
        std::printf("No image source found.\n");
}

}  // namespace

int run_capture(const std::vector<wxString>& args)
{
    wxString source_name, port, replay, template_file, out, server, probe_transform;
    long frames = 100;
    std::int64_t rate = 0;  // every frame: a tool run has no one to hold the probe still
    for (std::size_t i = 0; i < args.size(); ++i) {
        const wxString& a = args[i];
        const bool has_value = i + 1 < args.size();
        std::int64_t n = 0;
        if (a == "--tracker" && has_value) {
            port = args[++i];
        } else if (a == "--rate" && has_value && parse_rate(args[i + 1], &rate)) {
            ++i;
        } else if (a == "--server" && has_value) {
            server = args[++i];
            wxString host;
            int server_port = 0;
            if (!parse_igtl_address(server, &host, &server_port)) {
                std::fprintf(stderr, "kestrane-tool capture: '%s' is not HOST:PORT.\n", server.utf8_str().data());
                return 2;
            }
        } else if (a == "--probe-transform" && has_value) {
            probe_transform = args[++i];
        } else if (a == "--template" && has_value) {
            template_file = args[++i];
        } else if (a == "--replay" && has_value) {
            replay = args[++i];
        } else if (a == "--frames" && has_value && value_text::parse_long(args[i + 1], &n) && n >= 1 && n <= 1000000) {
            frames = static_cast<long>(n);
            ++i;
        } else if (a.StartsWith("-")) {
            std::fprintf(stderr, "kestrane-tool capture: bad argument '%s'.\n", a.utf8_str().data());
            return usage();
        } else if (source_name.empty()) {
            source_name = a;
        } else if (out.empty()) {
            out = a;
        } else {
            return usage();
        }
    }
    if (!out.empty() && (out = tool_output_name("capture", out, {"ks"})).empty())
        return 2;

    tool_session_t tool;
    if (!template_file.empty() && !recording_io->try_read_template_file(template_file))
        return 1;
    if (!replay.empty()) {
        if (!recording_io->try_read_kestrane_file(replay))
            return 1;
        res->RES_SIM_IMAGE_SOURCE->write(1);
    }
    if (!server.empty())
        res->RES_IGTL_SERVER->write(server);
    if (!probe_transform.empty())
        res->RES_IGTL_PROBE->write(probe_transform);
    const bool network_tracker = port.Lower() == "openigtlink";
    res->RES_SERIAL_PORT->write(network_tracker ? wxString() : port);
    res->RES_POS_DETECT->write(network_tracker ? POS_DETECT_OPENIGTLINK : POS_DETECT_AUTO);
    capture_rig_t rig(interaction());
    if (!replay.empty())
        recording_io->new_recording();  // the simulated source keeps the frames it replays
    if (source_name.empty()) {
        list_sources();
        return 0;
    }
    const int source = find_source(source_name);
    if (source < 0) {
        std::fprintf(stderr, "kestrane-tool capture: no image source '%s'.\n", source_name.utf8_str().data());
        list_sources();
        return 1;
    }
    res->RES_VID_CARD->write(source);
    res->RES_POS_REC->write(!port.empty());
    res->RES_VID_RATE->write(rate);
    if (!port.empty() && rig.tracker.sensor() == SENSOR_NONE) {
        std::fprintf(stderr, "kestrane-tool capture: %s\n", res->RES_ALERT_STRING->value().utf8_str().data());
        return 1;
    }
    if (!rig.recorder.start())
        return 1;

    // Without a window there is no idle event: tick it here instead.
    using clock = std::chrono::steady_clock;
    auto last_frame = clock::now();
    long seen = 0;
    while (rig.recorder.recording() && bufp->frames() < frames) {
        res->RES_IDLE_EVENT->write();
        if (bufp->frames() != seen) {
            seen = bufp->frames();
            last_frame = clock::now();
        } else if (clock::now() - last_frame > std::chrono::seconds(10)) {
            std::fprintf(stderr, "kestrane-tool capture: no frame for 10 s.\n");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    rig.recorder.stop();
    std::printf("%li frames recorded%s\n", bufp->frames(), res->RES_POS_REC->value() ? " with positions" : "");
    if (bufp->frames() == 0)
        return 1;
    if (!out.empty()) {
        if (!recording_io->save_as(out))
            return 1;
        std::printf("%s\n", res->RES_ASCII_FILENAME->value().GetFullPath().utf8_str().data());
    }
    return 0;
}

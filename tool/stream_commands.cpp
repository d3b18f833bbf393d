#include "stream_commands.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <thread>

#include <wx/filename.h>

#include "acquisition/igtl_live_stream.h"
#include "common/dynabuf.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "terminal_progress.h"
#include "tool_session.h"
#include "volumes/sequence_import.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool stream FILE.ks|SEQ.mha|SEQ.nrrd [--port P] [--image-to-probe FILE|MATRIX]\n"
                 "                            [--wait-client SECONDS] [--loop]\n"
                 "  serves the frames as OpenIGTLink IMAGE messages and the probe's poses as TRANSFORM messages\n"
                 "  at the pace they were recorded (25 a second where times are missing)\n"
                 "  --port P            the port to listen on (default %d; 0: any free one, printed)\n"
                 "  --image-to-probe    a sequence's calibration, as kestrane-tool import takes it\n"
                 "  --wait-client S     wait up to S seconds for a first client before sending\n"
                 "  --loop              start again after the last frame, until Ctrl-C\n",
                 igtl_server_t::default_port);
    return 2;
}

bool open_input(const wxString& path, const wxString& calibration)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext == "ks")
        return recording_io->try_read_kestrane_file(path);
    sequence_import_options_t options;
    wxString why;
    if (!calibration.empty()) {
        if (!image_to_probe_from_argument(calibration, options.probe, &options.image_to_probe, &why)) {
            std::fprintf(stderr, "kestrane-tool stream: %s\n", why.utf8_str().data());
            return false;
        }
        options.have_image_to_probe = true;
    }
    sequence_recording_t sequence;
    if (!read_sequence_recording(path, options, &sequence, &why)) {
        std::fprintf(stderr, "kestrane-tool stream: %s\n", why.utf8_str().data());
        return false;
    }
    make_sequence_recording(sequence, sequence_recording_name(path));
    return true;
}

}  // namespace

int run_stream(const std::vector<wxString>& args)
{
    if (args.empty())
        return usage();
    long port = igtl_server_t::default_port;
    double wait_seconds = 0.0;
    bool loop = false;
    wxString calibration;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (args[i] == "--port" && has_value && args[i + 1].ToLong(&port) && port >= 0 && port <= 65535) {
            ++i;
        } else if (args[i] == "--wait-client" && has_value && args[i + 1].ToCDouble(&wait_seconds) &&
                   wait_seconds >= 0.0 && wait_seconds <= 3600.0) {
            ++i;
        } else if (args[i] == "--image-to-probe" && has_value) {
            calibration = args[++i];
        } else if (args[i] == "--loop") {
            loop = true;
        } else {
            std::fprintf(stderr, "kestrane-tool stream: bad option '%s'.\n", args[i].utf8_str().data());
            return usage();
        }
    }
    tool_session_t tool;
    if (!open_input(args[0], calibration))
        return 1;
    const long frames = bufp->frames();
    if (frames == 0) {
        std::fprintf(stderr, "kestrane-tool stream: %s holds no frames.\n", args[0].utf8_str().data());
        return 1;
    }
    igtl_server_t server(16);
    if (!server.start(static_cast<int>(port)))
        return 1;
    std::printf("Streaming %ld frames on port %d\n", frames, server.port());
    std::fflush(stdout);

    using clock = std::chrono::steady_clock;
    const auto wait_until = clock::now() + std::chrono::duration<double>(wait_seconds);
    while (server.stats().clients == 0 && clock::now() < wait_until && !terminal_progress_t::stop_requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));

    matrix16d calibration_matrix;
    calibration_matrix.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                               res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
    const double sx = res->RES_XSCALE->value(), sy = res->RES_YSCALE->value();
    constexpr std::uint64_t ticks_per_second = 10000000u, missing_step = ticks_per_second / 25;
    long sent = 0, unsendable = 0;
    interaction().progress_begin("Streaming", "", static_cast<int>(std::min<long>(frames, INT32_MAX)));
    do {
        const auto pass_start = clock::now();
        const std::uint64_t first = bufp->timestamp(0);
        for (long f = 0; f < frames && !terminal_progress_t::stop_requested(); ++f) {
            // Each frame when its time comes; times that go backwards or are missing step on at 25 a second.
            const std::uint64_t t = bufp->timestamp(f);
            const std::uint64_t offset =
                t >= first && first != 0 ? t - first : static_cast<std::uint64_t>(f) * missing_step;
            std::this_thread::sleep_until(pass_start + std::chrono::nanoseconds(offset * 100));
            if (stream_frame(server, bufp->imagecp(f), bufp->positioncp(f), calibration_matrix, sx, sy, t))
                ++sent;
            else
                ++unsendable;
            interaction().progress_update(static_cast<int>(f), "Streaming");
        }
    } while (loop && !terminal_progress_t::stop_requested());
    interaction().progress_end();
    // Let the clients' queues drain before closing.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const igtl_server_t::stats_t s = server.stats();
    server.stop();
    std::printf("Sent %ld frames (%llu messages to clients; %llu dropped for slow clients)%s\n", sent,
                static_cast<unsigned long long>(s.sent), static_cast<unsigned long long>(s.dropped),
                unsendable ? wxString::Format("; %ld frames could not be sent", unsendable).utf8_str().data() : "");
    return unsendable == 0 ? 0 : 1;
}

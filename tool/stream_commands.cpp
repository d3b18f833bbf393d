#include "stream_commands.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <thread>

#include <wx/filename.h>

#include "acquisition/igtl_client.h"
#include "acquisition/igtl_receiver.h"
#include "acquisition/igtl_live_stream.h"
#include "common/dynabuf.h"
#include "resources/probe_calibration.h"
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

    const matrix16d calibration_matrix = probe_calibration_matrix();
    const double sx = res->RES_XSCALE->value(), sy = res->RES_YSCALE->value();
    constexpr std::uint64_t ticks_per_second = 10000000u, missing_step = ticks_per_second / 25;
    long sent = 0, unsendable = 0;
    interaction().progress_begin("Streaming", "", static_cast<int>(std::min<long>(frames, INT32_MAX)));
    // Each pass after the first goes on a frame's gap after the last one
    // ended, in time and in its stamps, so that a client sees time go forward
    // as from a live scanner.
    auto pass_start = clock::now();
    std::uint64_t pass_shift = 0;
    do {
        const std::uint64_t first = bufp->timestamp(0);
        std::uint64_t offset = 0;
        for (long f = 0; f < frames && !terminal_progress_t::stop_requested(); ++f) {
            // Each frame when its time comes; times that go backwards or are missing step on at 25 a second.
            const std::uint64_t t = bufp->timestamp(f);
            offset = t >= first && first != 0 ? t - first : static_cast<std::uint64_t>(f) * missing_step;
            std::this_thread::sleep_until(pass_start + std::chrono::nanoseconds(offset * 100));
            if (stream_frame(server, bufp->imagecp(f), bufp->positioncp(f), calibration_matrix, sx, sy,
                             t == 0 ? 0 : t + pass_shift))
                ++sent;
            else
                ++unsendable;
            interaction().progress_update(static_cast<int>(f), "Streaming");
        }
        const std::uint64_t pass_length = std::max(
            missing_step, offset + (frames > 1 ? offset / static_cast<std::uint64_t>(frames - 1) : missing_step));
        pass_shift += pass_length;
        pass_start += std::chrono::nanoseconds(pass_length * 100);
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

namespace {

int receive_usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool receive HOST:PORT OUT.ks [--frames N] [--seconds S] [--probe NAME]\n"
                 "  records the IMAGE messages an OpenIGTLink server sends, each posed by the latest TRANSFORM\n"
                 "  named NAME (default ProbeToReference); the probe calibration and pixel size come from the\n"
                 "  first posed image's placement. Stops after N frames, S seconds, Ctrl-C or when the server\n"
                 "  closes, and saves what came.\n");
    return 2;
}

counted_array_ptr<float> pose_floats(const matrix16d& m)
{
    double v[6];
    m.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    counted_array_ptr<float> pose(6);
    for (std::size_t i = 0; i < 6; ++i)
        pose[i] = static_cast<float>(v[i]);
    return pose;
}

}  // namespace

int run_receive(const std::vector<wxString>& args)
{
    if (args.size() < 2)
        return receive_usage();
    wxString host;
    int port = 0;
    long wanted = -1;
    double seconds = 0.0;
    std::string probe = igtl_probe_device;
    if (!parse_igtl_address(args[0], &host, &port))
        return receive_usage();
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (args[i] == "--frames" && has_value && args[i + 1].ToLong(&wanted) && wanted > 0) {
            ++i;
        } else if (args[i] == "--seconds" && has_value && args[i + 1].ToCDouble(&seconds) && seconds > 0.0 &&
                   seconds < 1e6) {
            ++i;
        } else if (args[i] == "--probe" && has_value) {
            probe = args[++i].ToStdString();
        } else {
            std::fprintf(stderr, "kestrane-tool receive: bad option '%s'.\n", args[i].utf8_str().data());
            return receive_usage();
        }
    }
    if (!wxFileName(args[1]).GetExt().IsSameAs("ks", false)) {
        std::fprintf(stderr, "kestrane-tool receive: the recording must be a .ks file.\n");
        return 2;
    }
    tool_session_t tool;
    igtl_client_t client;
    if (!client.connect(host, port, 10000))
        return 1;
    sequence_recording_t recording;
    bool have_pose = false, calibrated = false;
    matrix16d latest_pose;
    long posed = 0, other_size = 0;
    using clock = std::chrono::steady_clock;
    const auto give_up =
        seconds > 0.0 ? clock::now() + std::chrono::duration<double>(seconds) : clock::time_point::max();
    wxString why;
    while (!terminal_progress_t::stop_requested() && clock::now() < give_up &&
           (wanted < 0 || long(recording.frames.size()) < wanted)) {
        igtl_message_t m;
        const igtl_body_t kind = client.next(&m, 2000, &why);
        if (kind == igtl_body_t::none)
            continue;  // a quiet server: wait on, within the limits given
        if (kind == igtl_body_t::bad)
            break;
        if (kind == igtl_body_t::transform && m.header.device == probe) {
            latest_pose = m.transform;
            have_pose = true;
        } else if (kind == igtl_body_t::image) {
            const igtl_image_t& image = m.image;
            if (recording.frames.empty()) {
                recording.width = image.width;
                recording.height = image.height;
            } else if (image.width != recording.width || image.height != recording.height) {
                ++other_size;  // a recording holds frames of one size
                continue;
            }
            cip_t frame = cip_t::make_8bit(image.width, image.height);
            std::copy(image.pixels.begin(), image.pixels.end(), frame.pixels());
            recording.frames.push_back(frame);
            recording.times.push_back(image.ticks);
            recording.poses.push_back(have_pose ? pose_floats(latest_pose) : counted_array_ptr<float>{});
            if (have_pose) {
                ++posed;
                if (!calibrated) {
                    // Where the image lies relative to the probe: the calibration.
                    matrix16d to_probe = latest_pose;
                    to_probe.invert();
                    const matrix16d calibration = to_probe * image.image_to_world;
                    calibration.decompose(&recording.calibration.pose[0], &recording.calibration.pose[1],
                                          &recording.calibration.pose[2], &recording.calibration.pose[3],
                                          &recording.calibration.pose[4], &recording.calibration.pose[5]);
                    recording.calibration.sx = image.sx;
                    recording.calibration.sy = image.sy;
                    calibrated = true;
                }
            }
        }
    }
    client.close();
    if (recording.frames.empty()) {
        std::fprintf(stderr, "kestrane-tool receive: no frames came%s.\n",
                     why.empty() ? "" : (" (" + why + ")").utf8_str().data());
        return 1;
    }
    if (!calibrated) {  // no poses: the pixel size at least, from the first image
        recording.calibration.sx = recording.calibration.sy = 0.01;
    }
    make_sequence_recording(recording, args[1]);
    if (!recording_io->try_write_kestrane_file(args[1]))
        return 1;
    std::printf("Received %zu frames of %ld x %ld (%ld with poses) into %s\n", recording.frames.size(), recording.width,
                recording.height, posed, args[1].utf8_str().data());
    if (other_size > 0)
        std::printf("%ld frames of another size were left out\n", other_size);
    return 0;
}

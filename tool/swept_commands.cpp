#include "swept_commands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

#include "common/timestamp.h"
#include "devices/flapping.h"
#include "resources/value_text.h"
#include "tool_session.h"

namespace {

// The frames of one sweep: each acquired from its start a period after the
// one before, the first as the sweep starts, stamped 8 ms into its acquisition.
void print_frames(flapping& motor, double fps, long frames)
{
    const std::uint64_t trigger = motor.trigger_time(0);
    const double period = 1e7 / fps;
    for (long i = 0; i < frames; ++i) {
        const auto stamp = trigger + 80000 + static_cast<std::uint64_t>(std::llround(period * static_cast<double>(i)));
        long half = 0;
        const long at = motor.time_to_angle(stamp, &half);
        std::printf("frame %ld: %ld counts (half width %ld), %.4f degrees\n", i, at, std::labs(half),
                    static_cast<double>(at) * flap::degrees_per_count);
    }
}

}  // namespace

int run_swept_motor(const std::vector<wxString>& args)
{
    double fps = 0.0;
    std::vector<wxString> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--sweep") {
            double v = 0.0;
            if (i + 1 >= args.size() || !value_text::parse_double(args[i + 1], &v) || !std::isfinite(v) || v <= 0.0) {
                std::fprintf(stderr, "kestrane-tool swept-motor: --sweep needs a frame rate above 0.\n");
                return 2;
            }
            fps = v;
            ++i;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 1) {
        std::fprintf(stderr, "Usage: kestrane-tool swept-motor PORT [--sweep FPS]\n");
        return 2;
    }

    tool_session_t tool_session;
    res->RES_FLAP_PORT->write(positional[0]);
    flapping motor;
    if (!motor.find_centre(false))
        return 1;
    const double range = flap::end_counts(res->RES_FLAP_RANGE->value());
    std::printf("Motor centred; sweeps run from %.0f to %.0f counts (%ld degrees, %ld frames)\n", -range, range,
                res->RES_FLAP_RANGE->value(), res->RES_FLAP_STEPS->value());
    if (fps == 0.0)
        return 0;

    if (!motor.prime_go_right(fps, 0) || !motor.start_primed_move(0))
        return 1;
    const long frames = res->RES_FLAP_STEPS->value();
    // The sweep takes its frames' time; the motor may still be slowing down after it.
    std::this_thread::sleep_for(std::chrono::duration<double>(static_cast<double>(frames) / fps));
    motor.wait_for_motor();
    if (motor.is_motor_running()) {
        std::fprintf(stderr, "kestrane-tool swept-motor: the motor did not stop at the end of the sweep.\n");
        return 1;
    }
    print_frames(motor, fps, frames);
    return 0;
}

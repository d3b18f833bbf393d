// libFuzzer harness: any bytes from the swept-probe motor's line must neither
// crash nor mislead. The first byte picks the target: the reply verdicts and
// frame decoder (a running or centred verdict only for a whole frame; a
// decoded frame whose checksum holds encodes back to the same bytes), the
// motion model with values made of the bytes (never beyond its start, never
// NaN), or the simulated controller fed the bytes as host commands.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "devices/flapping_model.h"
#include "devices/flapping_protocol.h"
#include "simulators/swept_motor_sim.h"

namespace {

struct fuzz_env_t {
    wxInitializer wx;
    fuzz_env_t() { wxLog::EnableLogging(false); }
};

double take_double(std::span<const unsigned char>& bytes)
{
    double v = 0.0;
    const std::size_t n = std::min(sizeof v, bytes.size());
    std::memcpy(&v, bytes.data(), n);
    bytes = bytes.subspan(n);
    return v;
}

void check_replies(std::span<const unsigned char> body)
{
    const bool whole = flap::status_reply_whole(body);
    if (flap::status_says_running(body) && !whole)
        std::abort();
    if (flap::index_says_centred(body) && body.size() != 15)
        std::abort();
    const auto frame = flap::decode(body);
    if (frame && frame->checksum_ok) {
        const auto again = flap::encode(frame->text);
        if (again && !std::equal(again->begin(), again->end(), body.begin(), body.end()))
            std::abort();
    }
}

void check_model(std::span<const unsigned char> body)
{
    const double e = take_double(body);
    const double p0 = take_double(body);
    const double v = take_double(body);
    const double rate = take_double(body);
    const long steps = body.empty() ? 0 : static_cast<long>(body[0]) - 10;
    if (std::isfinite(p0) && std::fabs(p0) <= flap::max_end) {
        const double p = flap::model_position(e, p0, v);
        if (!std::isfinite(p) || std::fabs(p) > std::fabs(p0))
            std::abort();
    }
    const flap::sweep_plan_t plan = flap::plan_sweep(std::fabs(p0), steps, rate);
    if (plan.possible && !(plan.speed > 0.0 && plan.speed <= flap::max_speed))
        std::abort();
    float pose[6] = {1, 2, 3, 4, 5, 6};
    matrix16d mcal;
    flap::sweep_geometry_t g;
    g.elements = {steps, rate};
    if (flap::swept_pose(p0, steps / 2, g, mcal, pose))
        for (const float f : pose)
            if (!std::isfinite(f))
                std::abort();
}

void check_simulator(std::span<const unsigned char> body)
{
    swept_motor_sim_t sim({});
    std::vector<std::vector<unsigned char>> out;
    double now = 0.0;
    // Fed in pieces, time passing between them, as over a line.
    for (std::size_t at = 0; at < body.size(); at += 7) {
        sim.receive(body.subspan(at, std::min<std::size_t>(7, body.size() - at)), {}, now, out);
        now += 0.01;
    }
    sim.run_to(now + 0.5);
    if (!std::isfinite(sim.position()) || std::fabs(sim.position()) > 4000.0)
        std::abort();
    for (const auto& reply : out)
        if (!flap::decode(reply))
            std::abort();  // every answer is a frame
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz_env_t env;
    if (size < 1)
        return 0;
    const std::span<const unsigned char> body(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            check_replies(body);
            break;
        case 1:
            check_model(body);
            break;
        default:
            check_simulator(body);
            break;
    }
    return 0;
}

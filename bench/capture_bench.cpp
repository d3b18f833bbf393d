// One acquisition step (dequeue, release, crop and colour-flow conversion of
// a 1024 x 768 YU12 frame, publication; greyscale alongside) on the in-memory capture device, as
// a fraction of the 16.7 ms between frames at 60 fps on one core (target:
// under 25 %). Filling the device's buffer is not timed: a real driver does it.
#include <cstdint>
#include <memory>
#include <random>

#include <benchmark/benchmark.h>
#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "acquisition/ks_v4l2_buffer.h"
#include "resources/core_session.h"
#include "resources/resource_table.h"
#include "simulators/fake_v4l2_device.h"

namespace {

constexpr long frame_w = 1024, frame_h = 768;
constexpr std::uint64_t ms = 10000;
constexpr double frame_period_s = 1.0 / 60.0;

void BM_CaptureStep(benchmark::State& state)
{
    wxInitializer wx;
    wxLog::EnableLogging(false);
    wxString dir = wxFileName::CreateTempFileName("ks_bench");
    wxRemoveFile(dir);
    wxFileName::Mkdir(dir);
    {
        core_session_t session(dir, "", false);
        session.finish_start_up();
        fake_v4l2_settings_t s;
        s.max_width = frame_w;
        s.max_height = frame_h;
        fake_v4l2_device_t fake({s});
        fake.set_device_prefix("/bench/video");
        res->RES_BUF_WIDTH->write(frame_w);
        res->RES_BUF_HEIGHT->write(frame_h);
        res->RES_BUF_DOPPLER->write(state.range(0) != 0);
        res->RES_VID_GROUP_DELAY->write(50);
        std::uint64_t now = 1000000000;
        ks_v4l2_buffer v({[&now] { return now; }, [](std::int64_t t) { return std::uint64_t(t); }}, &fake);
        res->RES_VID_CARD_LIST->write(std::make_shared<std::vector<vid_card_list_t>>(v.devices()));
        res->RES_VID_CARD->write(0);
        if (!v.start_v4l2_buffer()) {
            state.SkipWithError("the capture device did not start");
            return;
        }
        // Speckle with flow in both directions, painted into every buffer once.
        std::mt19937 gen(5);
        const auto paint = [&gen](const yuv420_layout_t& l, std::uint8_t* p) {
            for (std::size_t i = 0; i < l.frame_bytes(); ++i)
                p[i] = static_cast<std::uint8_t>(gen());
        };
        for (unsigned k = 0; k < fake.buffers_granted(); ++k) {
            fake.deliver(now - 60 * ms, paint);
            v.activ_v4l2_buffer();
            now += 20 * ms;
        }
        long published = 0;
        for (auto _ : state) {
            state.PauseTiming();
            fake.deliver(now - 60 * ms);
            state.ResumeTiming();
            published += v.activ_v4l2_buffer() == capture_step_t::published;
            now += 20 * ms;
        }
        if (published != static_cast<long>(state.iterations()))
            state.SkipWithError("not every frame was published");
        v.stop_v4l2_buffer();
        state.counters["step_fraction_of_60fps_period"] = benchmark::Counter(
            static_cast<double>(state.iterations()) * frame_period_s,
            benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}
BENCHMARK(BM_CaptureStep)->ArgName("colour_flow")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(300);

}  // namespace

BENCHMARK_MAIN();

// Live pairing costs, against the 40 ms between frames at 25 fps (target: a
// frame paired and recorded in well under 1 ms): one match in a full ring of
// samples, and one frame through pairing and recording at full speed and in
// buffered mode, where every frame past 1000 rolls the oldest out.
#include <memory>
#include <random>

#include <benchmark/benchmark.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>

#include "acquisition/cbuf.h"
#include "acquisition/live_pos.h"
#include "acquisition/live_recorder.h"
#include "common/dynabuf.h"
#include "resources/core_session.h"
#include "resources/resource_table.h"

namespace {

constexpr std::uint64_t t0 = 17000000000000000ull, sample_gap = 100000, frame_gap = 400000;

pos_stat_t sample_at(std::uint64_t t)
{
    const float s = static_cast<float>(t - t0) * 1e-7f;
    const float p[6] = {s, 2 * s, 3, 170 + s, 0, -179 + s};
    return pos_stat_t::make(t, p);
}

void BM_MatchFullRing(benchmark::State& state)
{
    cbuf_t ring;
    for (int k = 0; k < cbuf_t::entries; ++k) {
        const pos_stat_t s = sample_at(t0 + static_cast<std::uint64_t>(k) * sample_gap);
        ring.insert_circ_buf(&s);
    }
    std::mt19937_64 random(1);
    std::uniform_int_distribution<std::uint64_t> when(t0, t0 + (cbuf_t::entries - 1) * sample_gap);
    counted_array_ptr<float> pose;
    std::int64_t lag;
    pos_state_t pose_state;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ring.circ_buf_match_pos(when(random), pose, &lag, &pose_state));
        benchmark::DoNotOptimize(pose.get());
    }
}
BENCHMARK(BM_MatchFullRing);

// One frame and its four samples through the change pass, the synchroniser and the recorder.
void frame_through_recording(benchmark::State& state, long mode)
{
    const wxString dir = wxFileName::CreateTempFileName("ks_bench");
    wxRemoveFile(dir);
    wxFileName::Mkdir(dir);
    {
        core_session_t session(dir, "", false);
        session.finish_start_up();
        auto cards = std::make_shared<std::vector<vid_card_list_t>>(1);
        (*cards)[0].kind = 2;
        res->RES_VID_CARD_LIST->write(cards);
        res->RES_POSITION_SOURCE->write(SENSOR_FASTRAK);
        res->RES_VID_RATE->write(mode);
        live_pos sync(std::make_unique<signal_log_t>());
        live_recorder recorder;
        recorder.set_memory_budget(1ull << 50);  // frames share one image; only the bookkeeping is measured
        recorder.start();
        const cip_t image = cip_t::make_8bit(res->RES_BUF_WIDTH->value(), res->RES_BUF_HEIGHT->value());
        std::uint64_t t = t0, next_sample = t0 - 10 * sample_gap;
        for (auto _ : state) {
            for (; next_sample <= t + 2 * sample_gap; next_sample += sample_gap)
                res->RES_POSITION_CAPTURE_EVENT->write(std::make_shared<pos_stat_t>(sample_at(next_sample)));
            auto frame = std::make_shared<vid_stat_t>();
            frame->image = image;
            frame->time = t;
            res->RES_VIDEO_CAPTURE_EVENT->write(frame);
            t += frame_gap;
        }
        state.counters["frames_held"] = static_cast<double>(bufp->frames());
        recorder.stop();
    }
    wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
}

void BM_FrameFullSpeed(benchmark::State& state) { frame_through_recording(state, RATE_FULL_SPEED); }
void BM_FrameBuffered(benchmark::State& state) { frame_through_recording(state, RATE_BUFFERED); }
BENCHMARK(BM_FrameFullSpeed)->Unit(benchmark::kMicrosecond)->Iterations(5000);
BENCHMARK(BM_FrameBuffered)->Unit(benchmark::kMicrosecond)->Iterations(5000);

}  // namespace

#include "simulated_capture.h"

#include <algorithm>

#include <wx/log.h>

#include "acquisition/live_pos.h"
#include "common/dynabuf.h"
#include "demo/calibration_demo.h"
#include "resources/resource_table.h"
#include "simulators/rf_replay_source.h"

namespace {

// The probe as the program is set up now: its calibration and pixel scales.
void current_probe(probe_setup& probe)
{
    probe.calibration = {res->RES_XTRANS->value(),  res->RES_YTRANS->value(),    res->RES_ZTRANS->value(),
                         res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value()};
    probe.sx = res->RES_XSCALE->value();
    probe.sy = res->RES_YSCALE->value();
}

}  // namespace

bool synchronised_probe_pose(std::uint64_t time, float pose[6])
{
    if (!lipo)
        return false;
    // A running gantry carries the probe: the phantom is seen from where the
    // stage stands, as the synchroniser poses the frame.
    if (res->RES_ZABER_RUNNING->value()) {
        const float stage[6] = {static_cast<float>(res->RES_ZABER_POS_X->value()),
                                static_cast<float>(res->RES_ZABER_POS_Y->value()),
                                -static_cast<float>(res->RES_ZABER_POS_Z->value()), 0.0f, 0.0f, 0.0f};
        std::copy(stage, stage + 6, pose);
        return true;
    }
    counted_array_ptr<float> found;
    std::int64_t lag = 0;
    pos_state_t state = POS_MISSING;
    if (!lipo->probe_buffer().circ_buf_match_pos(time, found, &lag, &state) || state == POS_MISSING || found.size() < 6)
        return false;
    for (std::size_t k = 0; k < 6; ++k)
        pose[k] = found[k];
    return true;
}

std::optional<std::uint64_t> water_bath_pose_time(std::uint64_t time)
{
    // A minute either way at most, as the latency itself.
    const std::int64_t back_ms =
        std::clamp<std::int64_t>(res->RES_SIM_IMAGE_LAG->value() + res->RES_TEMP_CALIB->value(), -60000, 60000);
    const std::int64_t back = back_ms * 10000;
    if (back > 0 && std::uint64_t(back) > time)
        return std::nullopt;
    return std::uint64_t(std::int64_t(time) - back);
}

std::unique_ptr<image_source_t> simulated_source_from_settings()
{
    if (res->RES_SIM_IMAGE_SOURCE->value() == SIMULATED_REPLAY) {
        const long frames = bufp ? bufp->frames() : 0;
        const bool rf = res->RES_BUF_RF->value();
        std::vector<cip_t> images;
        std::vector<std::uint64_t> times;
        for (long i = 0; i < frames; ++i) {
            const cip_t image = bufp->imagecp(i);
            if (image.empty() || (rf && !image.has_samples()))
                continue;
            images.push_back(image);
            times.push_back(bufp->timestamp(i));
        }
        if (images.empty()) {
            wxLogWarning("Simulated images replay the frames held, and there are none: open a recording first.");
            return nullptr;
        }
        if (rf)
            return std::make_unique<rf_replay_source_t>(std::move(images), std::move(times));
        return std::make_unique<simulated_image_source_t>(
            std::make_unique<recording_replay_t>(std::move(images), std::move(times), res->RES_BUF_DOPPLER->value()));
    }
    if (res->RES_SIM_IMAGE_SOURCE->value() == SIMULATED_WATER_BATH) {
        const auto late_pose = [](std::uint64_t time, float pose[6]) {
            const auto at = water_bath_pose_time(time);
            return at && synchronised_probe_pose(*at, pose);
        };
        return std::make_unique<simulated_image_source_t>(std::make_unique<floor_bscans_t>(
            make_water_bath(calibration_demo_seed, calibration_demo_celsius), late_pose));
    }
    probe_setup probe = demo_probe(640, 480);
    current_probe(probe);
    return std::make_unique<simulated_image_source_t>(
        std::make_unique<phantom_bscans_t>(demo_phantom(), probe, synchronised_probe_pose, false, current_probe));
}

#include "simulated_capture.h"

#include <wx/log.h>

#include "acquisition/live_pos.h"
#include "common/dynabuf.h"
#include "resources/resource_table.h"

namespace {

// The probe as the program is set up now: its calibration and pixel scales.
void current_probe(probe_setup& probe)
{
    probe.calibration = {res->RES_XTRANS->value(),    res->RES_YTRANS->value(),     res->RES_ZTRANS->value(),
                         res->RES_AZIMUTH->value(),   res->RES_ELEVATION->value(), res->RES_ROLL->value()};
    probe.sx = res->RES_XSCALE->value();
    probe.sy = res->RES_YSCALE->value();
}

}  // namespace

bool synchronised_probe_pose(std::uint64_t time, float pose[6])
{
    if (!lipo)
        return false;
    counted_array_ptr<float> found;
    std::int64_t lag = 0;
    pos_state_t state = POS_MISSING;
    if (!lipo->probe_buffer().circ_buf_match_pos(time, found, &lag, &state) || state == POS_MISSING || found.size() < 6)
        return false;
    for (std::size_t k = 0; k < 6; ++k)
        pose[k] = found[k];
    return true;
}

std::unique_ptr<simulated_image_source_t> simulated_source_from_settings()
{
    if (res->RES_SIM_IMAGE_SOURCE->value() == SIMULATED_REPLAY) {
        const long frames = bufp ? bufp->frames() : 0;
        std::vector<cip_t> images;
        std::vector<std::uint64_t> times;
        for (long i = 0; i < frames; ++i) {
            const cip_t image = bufp->imagecp(i);
            if (image.empty())
                continue;
            images.push_back(image);
            times.push_back(bufp->timestamp(i));
        }
        if (images.empty()) {
            wxLogWarning("Simulated images replay the frames held, and there are none: open a recording first.");
            return nullptr;
        }
        return std::make_unique<simulated_image_source_t>(
            std::make_unique<recording_replay_t>(std::move(images), std::move(times), res->RES_BUF_DOPPLER->value()));
    }
    probe_setup probe = demo_probe(640, 480);
    current_probe(probe);
    return std::make_unique<simulated_image_source_t>(
        std::make_unique<phantom_bscans_t>(demo_phantom(), probe, synchronised_probe_pose, false, current_probe));
}

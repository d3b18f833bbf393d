#include "reslice_frames.h"

#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "reslice_sweeps.h"

bool frame_transform(const counted_array_ptr<float>& pose, const matrix16d& calibration, matrix16d* out)
{
    if (pose.empty() || pose.size() < 6)
        return false;
    for (std::size_t i = 0; i < 6; ++i)
        if (!std::isfinite(pose[i]))
            return false;
    matrix16d m;
    m.forward(pose.get());
    *out = m * calibration;
    for (double v : out->m)
        if (!std::isfinite(v))
            return false;
    return true;
}

bool add_frame(reslice_source* source, const cip_t& image, const counted_array_ptr<float>& pose,
               const matrix16d& calibration)
{
    if (image.empty() || image.width() < 1 || image.height() < 1)
        return false;
    reslice_frame f;
    if (!frame_transform(pose, calibration, &f.image_to_world))
        return false;
    f.image = image;
    source->frames.push_back(std::move(f));
    return true;
}

matrix16d calibration_from_session()
{
    matrix16d calibration;
    calibration.forward(res->RES_XTRANS->value(), res->RES_YTRANS->value(), res->RES_ZTRANS->value(),
                        res->RES_AZIMUTH->value(), res->RES_ELEVATION->value(), res->RES_ROLL->value());
    return calibration;
}

reslice_source source_from_session()
{
    reslice_source source;
    if (!res || !bufp)
        return source;
    source.sx = res->RES_XSCALE->value();
    source.sy = res->RES_YSCALE->value();
    source.pixel_size = source.sx;
    const bool rf = res->RES_BUF_RF->value();
    source.zero_is_no_data = rf || res->RES_MASKED_DATA->value() > 0;
    source.doppler = res->RES_BUF_DOPPLER->value();
    // Colour codes and strain do not blend within a frame.
    source.bilinear = !source.doppler && !(rf && res->RES_RF_DISPLAY->value() == 3);
    const matrix16d calibration = calibration_from_session();
    long skipped = 0;
    for (long i = 0; i < bufp->frames(); ++i) {
        if (add_frame(&source, bufp->imagecp(i), bufp->positioncp(i), calibration))
            source.frames.back().number = i;
        else
            ++skipped;
    }
    if (skipped > 0)
        wxLogDebug("Reslice: %ld frames without a usable pose or image were left out.", skipped);
    const std::shared_ptr<multi_sweeps>& sweeps = res->RES_SWEEPS->value();
    assign_sweeps(&source, sweeps ? sweeps->first_frames : std::vector<long>{});
    source.sweep_view = sweep_display_from_session();
    return source;
}

sweep_display sweep_display_from_session()
{
    sweep_display view;
    if (!res)
        return view;
    view.partitioning = res->RES_USE_PARTITIONING->value();
    view.adjustment = static_cast<long>(res->RES_SWEEP_ADJUSTMENT->value());
    view.single_sweep = res->RES_USE_SINGLE_SWEEP->value();
    view.shown = static_cast<long>(res->RES_SWEEP_DISP_NUMBER->value());
    return view;
}

long sweep_count_from_session()
{
    if (!res || !bufp)
        return 1;
    const std::shared_ptr<multi_sweeps>& sweeps = res->RES_SWEEPS->value();
    if (!sweeps || sweeps->first_frames.size() < 2)
        return 1;
    const matrix16d calibration = calibration_from_session();
    long last = bufp->frames() - 1;
    for (reslice_source probe; last > 0; --last)
        if (add_frame(&probe, bufp->imagecp(last), bufp->positioncp(last), calibration))
            break;
    return std::max<long>(1, static_cast<long>(kept_sweep_firsts(sweeps->first_frames, last).size()));
}

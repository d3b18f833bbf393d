#include "reslice_frames.h"

#include <algorithm>
#include <cmath>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/recording_data.h"
#include "resources/probe_calibration.h"
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

frame_window data_window(const reslice_source& source, const reslice_frame& frame)
{
    frame_window w;
    const long fw = frame.image.width(), fh = frame.image.height();
    w.width = fw;
    w.height = fh;
    w.window_to_world = frame.image_to_world;
    if (!source.clip)
        return w;
    const frame_clip& c = *source.clip;
    w.x0 = std::clamp(c.x, 0L, fw);
    w.y0 = std::clamp(c.y, 0L, fh);
    // In floating point first: a huge width must not overflow the sum.
    const double x1 = std::min(double(c.x) + double(c.width), double(fw));
    const double y1 = std::min(double(c.y) + double(c.height), double(fh));
    w.width = std::max(0L, static_cast<long>(x1) - w.x0);
    w.height = std::max(0L, static_cast<long>(y1) - w.y0);
    matrix16d shift;
    shift.forward(static_cast<double>(w.x0) * source.sx, static_cast<double>(w.y0) * source.sy, 0.0);
    w.window_to_world = frame.image_to_world * shift;
    return w;
}

matrix16d calibration_from_session()
{
    return probe_calibration_matrix();
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

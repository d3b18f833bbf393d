#include "recording_lines.h"

#include <cmath>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

line_detection_settings_t line_settings_from_session()
{
    line_detection_settings_t s;
    s.sigma = res->RES_CAL_SIGMA->value();
    s.stripes = res->RES_CAL_STRIPES->value();
    s.min_gradient = res->RES_CAL_MINGRAD->value();
    s.pixel_threshold = res->RES_CAL_PIXTHRESH->value();
    s.invert = res->RES_CAL_INVERT->value();
    s.accept_ratio = res->RES_CAL_ACCEPT_RATIO->value();
    return s;
}

recording_lines_t detect_recording_lines(const line_detector_t& detector)
{
    recording_lines_t out;
    for (long f = 0; f < bufp->frames(); ++f) {
        const counted_array_ptr<float> pose = bufp->positioncp(f);
        if (!pose || pose.size() < 6)
            continue;
        bool finite = true;
        for (int i = 0; i < 6; ++i)
            finite = finite && std::isfinite(pose[i]);
        if (!finite)
            continue;
        ++out.posed;
        const detected_line_t line = detector.detect(bufp->imagecp(f));
        if (!line.accepted)
            continue;
        frame_status_t s;
        s.decision = 1;
        s.x1 = float(line.x1);
        s.x2 = float(line.x2);
        s.y1 = float(line.y1);
        s.y2 = float(line.y2);
        for (int i = 0; i < 6; ++i)
            s.position[std::size_t(i)] = pose[i];
        out.accepted.push_back(s);
        out.frames.push_back(f);
    }
    return out;
}

// libFuzzer harness: the floor-line detector on arbitrary small frames,
// regions and settings: no crash, no read outside the frame, and a line
// that is found has end points that are numbers within reason and a
// consensus no larger than its stripes. The stylus tip detector on the same
// frames: a tip inside the frame's rows, finite, at a searched angle.
#include <cstdint>
#include <cmath>
#include <cstdlib>

#include <wx/init.h>
#include <wx/log.h>

#include "calibration/line_detection.h"
#include "calibration/point_detection.h"
#include "fuzz_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    reader_t in{data, size};
    const long w = 1 + in.next<std::uint8_t>() % 96, h = 1 + in.next<std::uint8_t>() % 96;
    line_detection_settings_t s;
    s.sigma = double(in.next<std::int8_t>()) / 8.0;
    s.stripes = in.next<std::int8_t>();
    s.min_gradient = double(in.next<std::int8_t>());
    s.pixel_threshold = in.next<std::int8_t>();
    s.invert = in.next<std::uint8_t>() & 1;
    s.accept_ratio = double(in.next<std::uint8_t>()) / 200.0;
    line_detector_t d(w, h, s);
    std::vector<std::pair<long, long>> region;
    for (int k = in.next<std::uint8_t>() % 24; k > 0; --k)
        region.push_back({long(in.next<std::int8_t>()) * 2, long(in.next<std::int8_t>()) * 2});
    if (!region.empty())
        d.set_region(region);
    // The frame, now and then of another size than the detector's.
    const long fw = (in.next<std::uint8_t>() % 8 == 0) ? w + 1 : w;
    cip_t frame = cip_t::make_8bit(fw, h);
    for (long i = 0; i < fw * h; ++i)
        frame.pixels()[i] = in.next<std::uint8_t>();
    const detected_line_t line = d.detect(frame);
    if (line.found) {
        if (line.x1 < 0 || line.x2 > w || line.inliers > int(line.stripe_columns.size()) ||
            line.eligible > int(line.stripe_columns.size()))
            std::abort();
        for (long y : {line.y1, line.y2})
            if (y < -1'000'000'000L - h || y > 1'000'000'000L + h)
                std::abort();
    }
    std::vector<std::pair<long, long>> rows;
    if (in.next<std::uint8_t>() & 1)
        for (long x = 0; x < fw; ++x)
            rows.push_back({long(in.next<std::int8_t>()), long(in.next<std::int8_t>())});
    if (const auto tip = detect_stylus_tip(frame, rows))
        if (!std::isfinite(tip->tip.x + tip->tip.y) || tip->tip.y < 0 || tip->tip.y >= double(h) ||
            tip->angle < -45 || tip->angle > 45)
            std::abort();
    return 0;
}

// libFuzzer harness: the calibration demo's truth file reader and the plane
// solve on arbitrary input. The first byte chooses. Truth text either fails
// with a reason or gives finite values; a plane solve over a few arbitrary
// lines and poses (identical, degenerate, huge, not numbers) ends with every
// trial finite or failed, and a best trial only when it solved.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <wx/init.h>
#include <wx/log.h>

#include "calibration/plane_calibration.h"
#include "demo/calibration_demo.h"
#include "fuzz_reader.h"

namespace {

void truth_text(const std::uint8_t* data, std::size_t size)
{
    calibration_truth_t truth;
    std::string why;
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!parse_calibration_truth(text, &truth, &why)) {
        if (why.empty())
            std::abort();
        return;
    }
    std::vector<double> values{truth.sx, truth.sy, truth.celsius, truth.scale_length1_mm, truth.scale_length2_mm};
    values.insert(values.end(), truth.calibration.begin(), truth.calibration.end());
    values.insert(values.end(), truth.plane.begin(), truth.plane.end());
    values.insert(values.end(), truth.scale_line_ends.begin(), truth.scale_line_ends.end());
    for (double v : values)
        if (!std::isfinite(v))
            std::abort();
}

void plane_lines(reader_t in)
{
    std::vector<frame_status_t> lines(in.next<std::uint8_t>() % 12);
    for (frame_status_t& l : lines) {
        l.decision = 1;
        l.x1 = float(in.next<std::int16_t>()) / 8.0f;
        l.x2 = float(in.next<std::int16_t>()) / 8.0f;
        l.y1 = float(in.next<std::int16_t>()) / 8.0f;
        l.y2 = float(in.next<std::int16_t>()) / 8.0f;
        for (float& p : l.position)
            p = in.next<float>();
    }
    const double sx = double(in.next<std::int16_t>()) / 10000.0, sy = double(in.next<std::int16_t>()) / 10000.0;
    plane_solve s;
    const bool solved = s.run_plane_solve(lines, sx, sy, 20.0, 640, in.next<std::uint32_t>());
    if (solved != (s.best_trial() != nullptr))
        std::abort();
    for (const plane_solve::trial_t& t : s.trials) {
        if (t.rms == -1.0)
            continue;
        for (double v : {t.a, t.b, t.c, t.d, t.tx, t.ty, t.tz, t.azimuth, t.elevation, t.roll, t.rms})
            if (!std::isfinite(v))
                std::abort();
        if (t.elevation < -90.0 || t.elevation > 90.0)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static wxInitializer wx;
    wxLog::EnableLogging(false);
    if (size == 0)
        return 0;
    if (data[0] & 1)
        truth_text(data + 1, size - 1);
    else
        plane_lines(reader_t{data + 1, size - 1});
    return 0;
}

#include "calibration_commands.h"

#include <cmath>
#include <cstdio>

#include <wx/filename.h>
#include <wx/tokenzr.h>

#include "calibration/calibration_store.h"
#include "calibration/plane_calibration.h"
#include "calibration/recording_lines.h"
#include "common/vertex_math.h"
#include "demo/calibration_demo.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "tool_session.h"

namespace {

int calibrate_usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool calibrate FILE.ks [--scale-lines X1,Y1,X2,Y2,MM1,X3,Y3,X4,Y4,MM2] "
                 "[--temperature C] [--truth FILE] [--seed S] [--write | --template FILE.kst]\n"
                 "  --scale-lines  the ends of two lines of known length in mm (pixels: columns, rows from the\n"
                 "                 top); otherwise the recording's own pixel scales are used\n"
                 "  --temperature  of the water bath, 1 to 90 Celsius (otherwise the setting, %.1f)\n"
                 "  --truth        a truth file (make-calib-demo): print the errors of the result\n"
                 "  --seed         for the random starts (otherwise the clock)\n"
                 "  --write        save the calibration into FILE.ks; --template: into a template\n",
                 res ? res->RES_CAL_TEMPERATURE->value() : 10.0);
    return 2;
}

// Ten numbers: two lines' ends and their lengths in mm.
bool parse_scale_lines(const wxString& text, scale_lines_t* lines)
{
    const wxArrayString parts = wxStringTokenize(text, ",");
    if (parts.size() != 10)
        return false;
    double v[10];
    for (int i = 0; i < 10; ++i)
        if (!parts[std::size_t(i)].ToCDouble(&v[i]) || !std::isfinite(v[i]))
            return false;
    lines->ends = {v[0], v[1], v[2], v[3], v[5], v[6], v[7], v[8]};
    lines->length1_cm = v[4] / 10.0;
    lines->length2_cm = v[9] / 10.0;
    return true;
}

// The turn between a calibration and a trial's.
double turn_between(const std::array<double, 6>& a, const plane_solve::trial_t& b)
{
    matrix16d ma;
    ma.forward(a[0], a[1], a[2], a[3], a[4], a[5]);
    return turn_between_degrees(ma, b.calibration_matrix());
}

void print_truth_errors(const calibration_truth_t& truth, const plane_solve& s)
{
    const plane_solve::trial_t& t = *s.best_trial();
    const auto& c = truth.calibration;
    std::printf("error        translation %.3f mm, rotation %.3f degrees, scales %+.3f %% %+.3f %%\n",
                10.0 * std::hypot(t.tx - c[0], t.ty - c[1], t.tz - c[2]), turn_between(c, t),
                100.0 * (s.sx / truth.sx - 1.0), 100.0 * (s.sy / truth.sy - 1.0));
    // The plane's equation may come out negated.
    const double sign = t.a * truth.plane[0] + t.b * truth.plane[1] + t.c * truth.plane[2] < 0 ? -1.0 : 1.0;
    const double cosine = sign * (t.a * truth.plane[0] + t.b * truth.plane[1] + t.c * truth.plane[2]);
    std::printf("plane error  %.3f degrees, %.3f mm\n", std::acos(std::clamp(cosine, -1.0, 1.0)) * 180.0 / M_PI,
                10.0 * std::fabs(sign * t.d - truth.plane[3]));
}

}  // namespace

int run_calibrate(const std::vector<wxString>& args)
{
    if (args.empty() || args[0].StartsWith("--"))
        return calibrate_usage();
    std::optional<scale_lines_t> scale_lines;
    std::optional<double> celsius;
    wxString truth_path, template_path;
    bool write = false;
    std::optional<unsigned long long> seed;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        bool ok = true;
        if (args[i] == "--write") {
            write = true;
            continue;
        }
        if (!has_value) {
            ok = false;
        } else if (args[i] == "--scale-lines") {
            scale_lines.emplace();
            ok = parse_scale_lines(args[i + 1], &*scale_lines);
        } else if (args[i] == "--temperature") {
            double t = 0;
            ok = args[i + 1].ToCDouble(&t) && t >= 1.0 && t <= 90.0;
            celsius = t;
        } else if (args[i] == "--truth") {
            truth_path = args[i + 1];
        } else if (args[i] == "--template") {
            template_path = args[i + 1];
        } else if (args[i] == "--seed") {
            unsigned long long s = 0;
            ok = args[i + 1].ToULongLong(&s);
            seed = s;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool calibrate: bad option '%s'.\n", args[i].utf8_str().data());
            return calibrate_usage();
        }
        ++i;
    }
    if (write && !template_path.empty()) {
        std::fprintf(stderr, "kestrane-tool calibrate: --write and --template cannot go together.\n");
        return 2;
    }
    calibration_truth_t truth;
    if (!truth_path.empty()) {
        std::string why;
        if (!read_calibration_truth(truth_path, &truth, &why)) {
            std::fprintf(stderr, "kestrane-tool calibrate: %s: %s\n", truth_path.utf8_str().data(), why.c_str());
            return 2;
        }
    }
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const double temperature = celsius ? *celsius : res->RES_CAL_TEMPERATURE->value();
    double sx = res->RES_XSCALE->value(), sy = res->RES_YSCALE->value();
    if (scale_lines) {
        wxString why;
        if (!solve_scale_lines(*scale_lines, &sx, &sy, &why)) {
            std::fprintf(stderr, "kestrane-tool calibrate: %s\n", why.utf8_str().data());
            return 1;
        }
    } else if (!(sx > 0.0 && sy > 0.0 && std::isfinite(sx) && std::isfinite(sy))) {
        std::fprintf(stderr, "kestrane-tool calibrate: the recording has no pixel scales; give --scale-lines.\n");
        return 1;
    }
    const line_detector_t detector(res->RES_BUF_WIDTH->value(), res->RES_BUF_HEIGHT->value(),
                                   line_settings_from_session());
    if (!detector.usable()) {
        std::fprintf(stderr, "kestrane-tool calibrate: the line detection settings or the frame size are unusable.\n");
        return 1;
    }
    const recording_lines_t lines = detect_recording_lines(detector);
    std::printf("lines        %zu accepted of %ld posed frames\n", lines.accepted.size(), lines.posed);
    std::printf("scales       %.6f x %.6f cm per pixel%s\n", sx, sy, scale_lines ? " (from the scale lines)" : "");
    std::printf("temperature  %.1f Celsius\n", temperature);
    plane_solve solution;
    const bool solved = seed ? solution.run_plane_solve(lines.accepted, sx, sy, temperature, detector.width(), *seed)
                             : solution.run_plane_solve(lines.accepted, sx, sy, temperature, detector.width());
    std::printf("%s\n%s\n", solution.message1.utf8_str().data(), solution.message3.utf8_str().data());
    if (!solved) {
        std::fprintf(stderr, "kestrane-tool calibrate: %s Nothing was saved.\n", solution.message3.utf8_str().data());
        return 1;
    }
    const plane_solve::trial_t& t = *solution.best_trial();
    std::printf("calibration  %.4f %.4f %.4f cm  %.4f %.4f %.4f degrees\n", t.tx, t.ty, t.tz, t.azimuth, t.elevation,
                t.roll);
    std::printf("plane        %.6f %.6f %.6f %.4f\n", t.a, t.b, t.c, t.d);
    std::printf("rms          %.4f mm\n", 10.0 * t.rms);
    const auto residuals = line_residuals(lines.accepted, solution, solution.best, temperature);
    for (std::size_t i = 0; i < residuals.size(); ++i)
        std::printf("frame %ld\t%+.3f mm\t%+.3f mm\n", lines.frames[i], 10.0 * residuals[i][0], 10.0 * residuals[i][1]);
    if (!truth_path.empty())
        print_truth_errors(truth, solution);
    if (write || !template_path.empty()) {
        store_plane_calibration(solution);
        const bool saved = write ? recording_io->try_write_kestrane_file(args[0])
                                 : recording_io->try_write_template_file(template_path);
        const wxString& target = write ? args[0] : template_path;
        if (!saved) {
            std::fprintf(stderr, "kestrane-tool calibrate: could not save %s.\n", target.utf8_str().data());
            return 1;
        }
        std::printf("saved        %s\n", target.utf8_str().data());
    }
    return 0;
}

int run_make_calib_demo(const std::vector<wxString>& args)
{
    if (args.empty() || args[0].StartsWith("--")) {
        std::fprintf(stderr, "Usage: kestrane-tool make-calib-demo DIR [--seed S] [--temperature C] [--frames N]\n");
        return 2;
    }
    unsigned long long seed = calibration_demo_seed;
    double celsius = calibration_demo_celsius;
    long frames = 200;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        if (has_value && args[i] == "--seed" && args[i + 1].ToULongLong(&seed)) {
        } else if (has_value && args[i] == "--temperature" && args[i + 1].ToCDouble(&celsius) && celsius >= 1.0 &&
                   celsius <= 90.0) {
        } else if (has_value && args[i] == "--frames" && args[i + 1].ToLong(&frames) && frames >= 10 &&
                   frames <= 100000) {
        } else {
            std::fprintf(stderr, "kestrane-tool make-calib-demo: bad option '%s'.\n", args[i].utf8_str().data());
            return 2;
        }
        ++i;
    }
    tool_session_t tool;
    if (!write_calibration_demo(args[0], seed, celsius, int(frames)))
        return 1;
    const wxString recording = wxFileName(args[0], calibration_demo_name).GetFullPath();
    const wxString truth_path = wxFileName(args[0], calibration_truth_name).GetFullPath();
    calibration_truth_t truth;
    std::string why;
    if (!read_calibration_truth(truth_path, &truth, &why))
        return 1;
    const auto& e = truth.scale_line_ends;
    std::printf(
        "%s\n%s\nTry: kestrane-tool calibrate %s --temperature %g --scale-lines "
        "%g,%g,%g,%g,%.4f,%g,%g,%g,%g,%.4f --truth %s\n",
        recording.utf8_str().data(), truth_path.utf8_str().data(), recording.utf8_str().data(), celsius, e[0], e[1],
        e[2], e[3], truth.scale_length1_mm, e[4], e[5], e[6], e[7], truth.scale_length2_mm,
        truth_path.utf8_str().data());
    return 0;
}

#include "correction_demo.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>

#include <wx/filename.h>
#include <wx/log.h>

#include "demo/bscan.h"
#include "demo/demo_recording.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"

namespace {

// Standard normal numbers, the same on every platform.
class normal_source {
public:
    explicit normal_source(std::uint64_t seed) : engine_(seed) {}
    double next()
    {
        const double u1 = (static_cast<double>(engine_() >> 11) + 0.5) * 0x1.0p-53;
        const double u2 = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    }

private:
    std::mt19937_64 engine_;
};

double cycles(double amplitude, double count, double phase, double s)
{
    return amplitude * std::sin(2.0 * std::numbers::pi * count * s + phase);
}

counted_array_ptr<float> pose_of(const matrix16d& sensor)
{
    double v[6];
    sensor.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    counted_array_ptr<float> p(6);
    for (std::size_t k = 0; k < 6; ++k)
        p[k] = static_cast<float>(v[k]);
    return p;
}

}  // namespace

double compression_weight(const correction_demo_options& o, double depth)
{
    const double span = o.compression_bottom - o.compression_top;
    if (!(span > 0.0))
        return depth >= o.compression_top ? 1.0 : 0.0;
    return std::clamp((depth - o.compression_top) / span, 0.0, 1.0);
}

correction_demo make_correction_demo(const correction_demo_options& options)
{
    correction_demo d;
    d.options = options;
    d.scene = make_demo_scene(options.frames, options.width, options.height);
    const probe_setup& probe = d.scene.probe;
    matrix16d to_sensor = probe.calibration_matrix();
    to_sensor.invert();
    normal_source noise(options.seed);
    const double cx = 0.5 * probe.width * probe.sx, cy = 0.5 * probe.height * probe.sy;
    const int n = static_cast<int>(d.scene.trajectory.size());
    for (int i = 0; i < n; ++i) {
        const double s = n > 1 ? static_cast<double>(i) / (n - 1) : 0.0;
        correction_truth_frame f;
        f.compression = 0.1 * options.compression_mm * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * 1.5 * s));
        // The probe pressed in along its own axis.
        matrix16d press;
        press.forward(0.0, f.compression, 0.0);
        const matrix16d truth =
            image_to_world(d.scene.trajectory[static_cast<std::size_t>(i)].pose.get(), probe) * press;
        f.true_pose = pose_of(truth * to_sensor);
        const double mm = 0.1 * options.jitter_mm, drift = 0.1 * options.drift_mm;
        f.error[0] = mm * (0.5 * noise.next() + cycles(0.7, 3.3, 0.4, s)) + drift * s;
        f.error[1] = mm * (0.5 * noise.next() + cycles(0.7, 2.7, 1.9, s)) + drift * s * s;
        f.error[2] = options.jitter_deg * (0.5 * noise.next() + cycles(0.7, 3.9, 2.6, s));
        matrix16d error;
        error.forward(cx + f.error[0], cy + f.error[1], 0.0, f.error[2], 0.0, 0.0);
        matrix16d back;
        back.forward(-cx, -cy, 0.0);
        f.recorded_pose = pose_of(truth * error * back * to_sensor);
        d.frames.push_back(std::move(f));
    }
    return d;
}

cip_t render_correction_frame(const correction_demo& demo, std::size_t k, bool compressed)
{
    if (k >= demo.frames.size())
        return {};
    const probe_setup& probe = demo.scene.probe;
    const correction_truth_frame& f = demo.frames[k];
    // Depths measured from the uncompressed probe position, c above the true one.
    const double c = compressed ? f.compression : 0.0;
    std::vector<double> rows(static_cast<std::size_t>(probe.height));
    for (long v = 0; v < probe.height; ++v) {
        const double depth = v * probe.sy;
        rows[static_cast<std::size_t>(v)] =
            (depth + c * compression_weight(demo.options, depth) - f.compression) / probe.sy;
    }
    // A grain of two pixels: speckle as fine as the image resolves smoothly.
    tissue_speckle speckle{1.0 * probe.sx, 0.12, demo.scene.seed};
    return render_tissue_bscan(demo.scene.body, f.true_pose.get(), probe, rows, speckle);
}

bool write_correction_truth(const std::string& path, const correction_demo& demo)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "# frame, true pose (x y z cm, az el roll deg), recorded pose, compression mm, "
           "error lateral mm, axial mm, turn deg\n";
    out << "frame,true_x,true_y,true_z,true_az,true_el,true_roll,rec_x,rec_y,rec_z,rec_az,rec_el,rec_roll,"
           "compression_mm,error_lateral_mm,error_axial_mm,error_turn_deg\n";
    char line[512];
    for (std::size_t i = 0; i < demo.frames.size(); ++i) {
        const correction_truth_frame& f = demo.frames[i];
        const float* t = f.true_pose.get();
        const float* r = f.recorded_pose.get();
        std::snprintf(line, sizeof line,
                      "%zu,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.6f,%.6f,%.6f,%.6f\n", i, t[0],
                      t[1], t[2], t[3], t[4], t[5], r[0], r[1], r[2], r[3], r[4], r[5], 10.0 * f.compression,
                      10.0 * f.error[0], 10.0 * f.error[1], f.error[2]);
        out << line;
    }
    out.close();
    return !out.fail();
}

bool write_correction_demo(const wxString& dir, const correction_demo_options& options)
{
    if (options.frames < 1 || options.width < 1 || options.height < 1 || options.width > 65535 ||
        options.height > 65535) {
        wxLogError("The demo needs at least one frame of a sensible size.");
        return false;
    }
    if (!make_demo_folder(dir))
        return false;
    const correction_demo demo = make_correction_demo(options);
    recording_io->new_recording();
    const probe_setup& probe = demo.scene.probe;
    res->RES_BUF_WIDTH->write(probe.width);
    res->RES_BUF_HEIGHT->write(probe.height);
    res->RES_FRAME_SIZE->write(probe.width * probe.height);
    res->RES_POS_REC->write(true);
    use_demo_probe(probe);
    res->RES_CAL_DATE->write("1 March 2024 (exact, synthetic)");
    res->RES_CAL_PROBE->write("Demo linear probe");
    res->RES_COMMENT->write(std::make_shared<std::vector<wxString>>(std::vector<wxString>{
        "Synthetic sweep for image-based correction, made by kestrane-tool make-demo --correction.",
        wxString("Recorded poses carry a known in-plane error; the truth is in ") + correction_truth_name + "."}));
    for (std::size_t i = 0; i < demo.frames.size(); ++i)
        bufp->append(render_correction_frame(demo, i), demo.frames[i].recorded_pose, demo.scene.trajectory[i].time);
    recording_io->frames_changed();
    const wxString truth = wxFileName(dir, correction_truth_name).GetFullPath();
    const wxString scene = wxFileName(dir, demo_truth_name).GetFullPath();
    if (!write_correction_truth(truth.ToStdString(), demo) || !write_ground_truth(scene.ToStdString(), demo.scene)) {
        wxLogError("Could not write the truth beside the demo in %s.", dir);
        return false;
    }
    return recording_io->save_as(wxFileName(dir, correction_demo_name).GetFullPath());
}

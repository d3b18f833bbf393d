#include "model_commands.h"

#include <cmath>
#include <cstdio>

#include <wx/filename.h>

#include "demo/shape_model_demo.h"
#include "models/fit_model.h"
#include "surfaces/ply_reader.h"

namespace {

int fit_usage()
{
    std::fprintf(
        stderr,
        "Usage: kestrane-tool fit-model MODEL.ssm SURFACE.ply [--iterations N] [--modes K] [--lad] "
        "[--range MM] [--flexibility F] [--flip] [--out FILE]\n"
        "  MODEL.ssm      the statistical model; its surface MODEL.ply (with FIT_MODEL_LM landmarks) beside it\n"
        "  SURFACE.ply    the target: its vertices, and its LANDMARK comments for a first landmark fit\n"
        "  --iterations N closest-point iterations (default 20)\n"
        "  --modes K      modes of the model to fit (default 5; 0 fits pose and scale only)\n"
        "  --lad          least absolute deviation rather than least squares (for outliers)\n"
        "  --range MM     search range: target points farther from the model take no part (default 10)\n"
        "  --flexibility F  how freely the modes follow the data (default 1; 0 keeps the mean shape)\n"
        "  --flip         mirror the model first (\"Flip inside/outside\")\n"
        "  --out FILE     save the fitted surface (.ply, or .wrl for VRML)\n");
    return 2;
}

void print_registration(const fit_model& f)
{
    const rotation_t& r = f.rotation();
    std::printf(
        "rotation    %10.6f %10.6f %10.6f\n            %10.6f %10.6f %10.6f\n            %10.6f %10.6f %10.6f\n", r[0],
        r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8]);
    std::printf("angle %.3f deg\n", rotation_angle_degrees(r));
    std::printf("translation %.4f %.4f %.4f mm\n", 10.0 * f.translation().x, 10.0 * f.translation().y,
                10.0 * f.translation().z);
    std::printf("scale %.5f%s\n", f.scale(), f.reflected() ? " (mirrored)" : "");
    std::printf("weights (in standard deviations):");
    for (std::size_t k = 0; k < f.weights().size(); ++k)
        std::printf(" %.4f", f.eigenvalues()[k] > 0.0 ? f.weights()[k] / std::sqrt(f.eigenvalues()[k]) : 0.0);
    std::printf("\n");
}

}  // namespace

int run_fit_model(const std::vector<wxString>& args)
{
    if (args.size() < 2)
        return fit_usage();
    fit_model f;
    f.settings.search_range = 1.0;
    wxString out;
    bool flip = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        long n = 0;
        double v = 0.0;
        bool ok = true;
        if (args[i] == "--lad") {
            f.settings.type = ssm_registration_t::lad;
            continue;
        }
        if (args[i] == "--flip") {
            flip = true;
            continue;
        }
        if (args[i] == "--iterations" && has_value)
            ok = args[i + 1].ToLong(&n) && n >= 1 && n <= 10000, f.settings.iterations = int(n);
        else if (args[i] == "--modes" && has_value)
            ok = args[i + 1].ToLong(&n) && n >= 0 && n <= 100000, f.settings.modes = int(n);
        else if (args[i] == "--range" && has_value)
            ok = args[i + 1].ToCDouble(&v) && std::isfinite(v) && v > 0.0, f.settings.search_range = v / 10.0;
        else if (args[i] == "--flexibility" && has_value)
            ok = args[i + 1].ToCDouble(&v) && std::isfinite(v) && v >= 0.0, f.settings.flexibility = v;
        else if (args[i] == "--out" && has_value)
            out = args[i + 1];
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool fit-model: bad option '%s'.\n", args[i].utf8_str().data());
            return fit_usage();
        }
        ++i;
    }
    wxFileName model(args[0]);
    if (model.GetExt().Lower() == "ssm")
        model.SetExt("ply");
    const ssm_load_t loaded = f.parse_ply_and_ssm_files(model.GetFullPath());
    if (loaded != ssm_load_t::ok) {
        std::fprintf(stderr, "kestrane-tool fit-model: %s\n",
                     ssm_load_failure_text(loaded).BeforeFirst('\n').utf8_str().data());
        return 1;
    }
    ply_surface_t target;
    if (!read_ply_file(args[1], 0, target))
        return 1;
    std::vector<vertex3d> points;
    for (const surface_point_t& p : target.mesh.points)
        points.push_back(p.position);
    f.set_target_points(std::move(points));
    std::printf("model %s: %zu vertices, %d modes, %zu landmarks\n", model.GetFullPath().utf8_str().data(),
                f.vertex_count(), f.mode_count(), f.model_landmarks().size());
    std::printf("target %s: %zu points, %zu landmarks\n", args[1].utf8_str().data(), f.target_points().size(),
                target.marks.list.size());
    if (flip)
        f.reflect_registration_matrix();
    std::size_t named = 0;
    for (const ssm_landmark_t& l : f.model_landmarks())
        for (const landmark_t& m : target.marks.list)
            named += m.name == l.name;
    if (named >= 3) {
        if (!f.fit_to_landmarks(target.marks))
            return 1;
        std::printf("landmarks: %zu matched\n", named);
    } else if (!f.initialize_from_points()) {
        std::fprintf(stderr, "kestrane-tool fit-model: the target has no points.\n");
        return 1;
    } else {
        std::printf("landmarks: fewer than 3 matched; started from the targets' centre and size\n");
    }
    const bool done = f.register_model([](int i, const ssm_iteration_t& r) {
        if (r.applied)
            std::printf("iteration %d: %zu pairs, RMS %.4f mm -> %.4f mm\n", i + 1, r.pairs, 10.0 * r.rms_before,
                        10.0 * r.rms_after);
        std::fflush(stdout);
    });
    print_registration(f);
    if (!done)
        return 1;
    if (!out.empty()) {
        if (!f.save_surface(out))
            return 1;
        std::printf("saved %s\n", out.utf8_str().data());
    }
    return 0;
}

int run_make_model_demo(const std::vector<wxString>& args)
{
    if (args.empty()) {
        std::fprintf(stderr,
                     "Usage: kestrane-tool make-model-demo DIR [--vertices N] [--modes K] [--outliers F] "
                     "[--mirrored] [--seed S]\n");
        return 2;
    }
    long vertices = 1000, modes = 6, seed = 1;
    double outliers = 0.0;
    bool mirrored = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        bool ok = true;
        if (args[i] == "--mirrored") {
            mirrored = true;
            continue;
        }
        if (args[i] == "--vertices" && has_value)
            ok = args[i + 1].ToLong(&vertices) && vertices >= 20 && vertices <= 1000000;
        else if (args[i] == "--modes" && has_value)
            ok = args[i + 1].ToLong(&modes) && modes >= 2 && modes <= 31;
        else if (args[i] == "--seed" && has_value)
            ok = args[i + 1].ToLong(&seed) && seed >= 0;
        else if (args[i] == "--outliers" && has_value)
            ok = args[i + 1].ToCDouble(&outliers) && outliers >= 0.0 && outliers <= 1.0;
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "kestrane-tool make-model-demo: bad option '%s'.\n", args[i].utf8_str().data());
            return 2;
        }
        ++i;
    }
    const shape_model_demo_t demo = make_shape_model_demo(int(vertices), int(modes));
    shape_instance_options_t how;
    how.outliers = outliers;
    how.mirrored = mirrored;
    how.seed = static_cast<std::uint32_t>(seed);
    if (!write_shape_model_demo(args[0], demo, how))
        return 1;
    for (const char* name : {shape_model_demo_name, "shape_model.ssm", shape_instance_demo_name, shape_truth_demo_name})
        std::printf("%s\n", wxFileName(args[0], name).GetFullPath().utf8_str().data());
    return 0;
}

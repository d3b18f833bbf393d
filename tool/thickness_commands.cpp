#include "thickness_commands.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>

#include <wx/filename.h>

#include "dicom_commands.h"
#include "resources/resource_table.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"
#include "thickness/density_estimate.h"
#include "thickness/derived_surfaces.h"
#include "thickness/surface_distance.h"
#include "thickness/techniques.h"
#include "thickness/thickness_map.h"
#include "tool_session.h"
#include "volumes/slice_volume.h"

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: kestrane-tool thickness VOLUME SURFACE.ply OUT_DIR [options]\n"
                 "  VOLUME          what import reads (DICOM folder or file, volume file, or a .ks recording)\n"
                 "  SURFACE.ply     the bone's outer surface, in cm, with normals pointing out of the bone\n"
                 "  OUT_DIR         where the result files go, named after the surface\n"
                 "  --series N      which DICOM series, when there are several\n"
                 "  --technique T   0 to 7 or its name (Manual, Auto threshold, FWHM, CBM v1, CBM v2,\n"
                 "                  Endo CBM v2, SSC-CBM, HRTC)\n"
                 "  --line MM       profile length (default 18)     --width W   bundle half-width, 0 to 16\n"
                 "  --gauss MM      in-plane FWHM blur              --rect MM   out-of-plane FWHM blur\n"
                 "  --outer HU, --cortex HU, --inner HU   densities to hold fixed\n"
                 "  --in-frame      profiles within the slice plane\n"
                 "  --estimate-density   first estimate the cortical density and the blur from the whole\n"
                 "                  surface, and map with them (unless given)\n"
                 "  --smooth N      smoothing passes for the smoothed thickness (default 0)\n"
                 "  --create        also save the outer and inner cortical surfaces (NAME_outer.ply, NAME_inner.ply)\n"
                 "  --alternate OTHER.ply   thickness as the distance along each normal to this second surface\n"
                 "                  (within the line length), instead of fitting profiles\n"
                 "  --threads N     fitting threads (default: every core)\n"
                 "  --overwrite     replace result files that exist\n");
    return 2;
}

bool number(const wxString& text, double* v)
{
    return text.ToCDouble(v) && std::isfinite(*v);
}

long technique_of(const wxString& text)
{
    long k = -1;
    if (text.ToLong(&k))
        return k >= 0 && k <= 7 ? k : -1;
    for (long t = 0; t < 8; ++t)
        if (text.IsSameAs(thickness_technique_names[t], false))
            return t;
    return -1;
}

}  // namespace

int run_thickness(const std::vector<wxString>& args)
{
    if (args.size() < 3)
        return usage();
    long series = -1, threads = 0, technique = -1, smooth = 0;
    bool overwrite = false, estimate = false, create = false;
    wxString alternate;
    thickness_config_t config;
    std::map<wxString, double*> values = {{"--gauss", &config.gauss_mm},
                                          {"--rect", &config.rect_mm},
                                          {"--outer", &config.a},
                                          {"--cortex", &config.b},
                                          {"--inner", &config.c}};
    for (std::size_t i = 3; i < args.size(); ++i) {
        const bool has_value = i + 1 < args.size();
        double v = 0;
        if (args[i] == "--overwrite") {
            overwrite = true;
        } else if (args[i] == "--estimate-density") {
            estimate = true;
        } else if (args[i] == "--create") {
            create = true;
        } else if (args[i] == "--alternate" && has_value) {
            alternate = args[++i];
        } else if (args[i] == "--in-frame") {
            config.in_frame = true;
        } else if (args[i] == "--series" && has_value && args[i + 1].ToLong(&series) && series >= 1) {
            ++i;
        } else if (args[i] == "--smooth" && has_value && args[i + 1].ToLong(&smooth) && smooth >= 0 && smooth <= 1000) {
            ++i;
        } else if (args[i] == "--threads" && has_value && args[i + 1].ToLong(&threads) && threads >= 1 &&
                   threads <= 64) {
            ++i;
        } else if (args[i] == "--technique" && has_value && (technique = technique_of(args[i + 1])) >= 0) {
            ++i;
        } else if (args[i] == "--line" && has_value && number(args[i + 1], &v) && v > 0.0 && v <= 200.0) {
            config.line_cm = v / 10.0;
            ++i;
        } else if (args[i] == "--width" && has_value && args[i + 1].ToLong(&config.width) && config.width >= 0 &&
                   config.width <= 16) {
            ++i;
        } else if (values.count(args[i]) && has_value && number(args[i + 1], &v)) {
            *values[args[i]] = v;
            ++i;
        } else {
            std::fprintf(stderr, "kestrane-tool thickness: bad option '%s'.\n", args[i].utf8_str().data());
            return usage();
        }
    }
    if (technique >= 0) {
        thickness_switches_t s;
        s.a = config.a;
        s.b = config.b;
        s.c = config.c;
        s.gauss = config.gauss_mm;
        s.rect = config.rect_mm;
        s.width = config.width;
        apply_technique(technique, &s);
        config.a = s.a;
        config.b = s.b;
        config.c = s.c;
        config.gauss_mm = s.gauss;
        config.rect_mm = s.rect >= 1e10 ? 0.0 : s.rect;
        config.width = s.width;
        config.fwhm_rule = s.fwhm;
        config.post_blur = s.post_blur;
        config.endo_model = s.endo_model;
    }
    const wxString out_dir = args[2];
    if (!wxFileName::DirExists(out_dir) && !wxFileName::Mkdir(out_dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        std::fprintf(stderr, "kestrane-tool thickness: cannot make the folder %s.\n", out_dir.utf8_str().data());
        return 1;
    }
    const wxString base = wxFileName(out_dir, wxFileName(args[1]).GetName()).GetFullPath();
    if (!overwrite)
        for (const wxString& name : thickness_file_names(base))
            if (wxFileName::Exists(name)) {
                std::fprintf(stderr, "kestrane-tool thickness: %s exists; give --overwrite to replace it.\n",
                             name.utf8_str().data());
                return 2;
            }

    tool_session_t tool;
    wxString data_folder;
    if (const int status = load_tool_input(args[0], series, "thickness", &data_folder))
        return status;
    wxString why;
    const auto volume = slice_volume_t::from_session(&why);
    if (!volume) {
        std::fprintf(stderr, "kestrane-tool thickness: the data cannot be sampled: %s\n", why.utf8_str().data());
        return 1;
    }
    ply_surface_t surface;
    if (!read_ply_file(args[1], 0, surface))
        return 1;
    if (!surface.has_normals) {
        std::fprintf(stderr, "kestrane-tool thickness: %s has no normals.\n", args[1].utf8_str().data());
        return 1;
    }

    auto last = std::chrono::steady_clock::now();
    auto progress_for = [&](const char* title) {
        return [&, title](std::size_t done, std::size_t all) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last >= std::chrono::milliseconds(200) || done == all) {
                std::fprintf(stderr, "\r%s %s: point %zu of %zu", title, args[1].utf8_str().data(), done, all);
                last = now;
            }
            return true;
        };
    };
    if (estimate) {
        density_estimate_t e;
        estimate_density(*volume, surface.mesh, config, int(threads), progress_for("Estimating density for"), &e);
        std::fputc('\n', stderr);
        if (e.ok) {
            std::printf("%s\n", e.text().utf8_str().data());
            if (e.doubtful)
                std::printf("These results are unlikely to be accurate.\n");
            if (config.b >= thickness_unknown)
                config.b = e.density;
            if (config.gauss_mm >= thickness_unknown && e.in_fwhm > 0.0) {
                config.gauss_mm = e.in_fwhm;
                config.rect_mm = e.out_fwhm;
            }
        } else {
            std::printf("Cortical density estimation failed.\n");
        }
    }
    thickness_results_t results;
    bool mapped = false;
    if (!alternate.empty()) {
        ply_surface_t other;
        if (!read_ply_file(alternate, 0, other))
            return 1;
        std::vector<double> distances;
        mapped = distances_to_surface(surface.mesh, other.mesh, config.line_cm, int(threads),
                                      progress_for("Mapping intersections between"), &distances);
        results.reset(surface.mesh.points.size());
        results.values[thickness_results_t::thick] = distances;
    } else {
        mapped = map_thickness(*volume, surface.mesh, config, int(threads), progress_for("Mapping thickness over"),
                               &results);
    }
    std::fputc('\n', stderr);
    if (mapped)
        smooth_thickness(surface.mesh, int(smooth), smooth > 0 ? 100 : 0, &results);
    if (!mapped || !save_thickness(base, results))
        return 1;
    if (create && alternate.empty())
        for (const derived_surface_t kind : {derived_surface_t::outer, derived_surface_t::inner}) {
            const wxString name = base + derived_surface_suffix(kind) + ".ply";
            if (wxFileName::Exists(name) && !overwrite) {
                std::fprintf(stderr, "kestrane-tool thickness: %s exists; give --overwrite to replace it.\n",
                             name.utf8_str().data());
                return 2;
            }
            if (!save_surface(name, derived_surface(surface.mesh, results, kind), surface_save_t{}))
                return 1;
            std::printf("surface     %s\n", name.utf8_str().data());
        }

    const auto& thick = results.values[thickness_results_t::thick];
    const auto& density = results.values[thickness_results_t::density];
    double sum = 0, squares = 0, density_sum = 0;
    long measured = 0, with_density = 0;
    for (std::size_t i = 0; i < thick.size(); ++i)
        if (thick[i] != thickness_unknown) {
            sum += thick[i];
            squares += thick[i] * thick[i];
            ++measured;
            if (density[i] != thickness_unknown) {
                density_sum += density[i];
                ++with_density;
            }
        }
    std::printf("points      %zu, %ld measured\n", thick.size(), measured);
    if (measured > 0) {
        const double mean = sum / double(measured);
        std::printf("thickness   %.3f mm mean, %.3f mm SD\n", mean,
                    std::sqrt(std::max(0.0, squares / double(measured) - mean * mean)));
    }
    if (with_density > 0)
        std::printf("density     %.0f HU mean\n", density_sum / double(with_density));
    std::printf("saved       %s_*\n", base.utf8_str().data());
    return 0;
}

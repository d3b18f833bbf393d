#include "thickness_commands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include <wx/filename.h>

#include "dicom_commands.h"
#include "display/plot_files.h"
#include "resources/recording_file.h"
#include "thickness/coloured_surfaces.h"
#include "thickness/profile_dump.h"
#include "thickness/thickness_plots.h"
#include "thickness/thickness_settings.h"
#include "thickness_options.h"
#include "resources/resource_table.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"
#include "thickness/density_estimate.h"
#include "thickness/derived_surfaces.h"
#include "thickness/surface_distance.h"
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
                 "  OUT_DIR         where the result files go, named after the surface\n%s",
                 thickness_options_usage());
    return 2;
}

// The plot as the options ask (PNG when none is named); false when a file could not be written.
bool write_plot(const plot_t& plot, const wxString& base, const thickness_options_t& options)
{
    const bool png = options.plots_png || !options.plots_csv;
    if (png && !save_plot_png(plot, base + ".png"))
        return false;
    if (options.plots_csv && !save_plot_csv(plot, base + ".csv"))
        return false;
    std::printf("plot        %s\n", base.utf8_str().data());
    return true;
}

std::vector<wxString> plot_files(const wxString& base, const thickness_options_t& options)
{
    std::vector<wxString> files;
    if (options.plots_png || !options.plots_csv)
        files.push_back(base + ".png");
    if (options.plots_csv)
        files.push_back(base + ".csv");
    return files;
}

bool refuse_existing(const wxString& name)
{
    std::fprintf(stderr, "kestrane-tool thickness: %s exists; give --overwrite to replace it.\n",
                 name.utf8_str().data());
    return false;
}

}  // namespace

int run_thickness(const std::vector<wxString>& args)
{
    thickness_options_t options;
    if (args.size() < 3 || !parse_thickness_options(args, 3, &options))
        return usage();
    const wxString out_dir = args[2];
    if (!wxFileName::DirExists(out_dir) && !wxFileName::Mkdir(out_dir, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL)) {
        std::fprintf(stderr, "kestrane-tool thickness: cannot make the folder %s.\n", out_dir.utf8_str().data());
        return 1;
    }
    const wxString base = wxFileName(out_dir, wxFileName(args[1]).GetName()).GetFullPath();
    std::vector<wxString> outputs = thickness_file_names(base);
    if (options.dump_profiles)
        outputs.push_back(base + "_profiles.jsonl");
    const derived_surface_t created[] = {derived_surface_t::outer, derived_surface_t::inner, derived_surface_t::cortex,
                                         derived_surface_t::smoothed_thickness};
    if (options.create && options.alternate.empty()) {
        for (const derived_surface_t kind : created)
            outputs.push_back(base + derived_surface_suffix(kind) + ".ply");
        for (const coloured_result_t& which : coloured_results)
            outputs.push_back(base + which.suffix + ".ply");
    }
    const wxString profile_base = base + wxString::Format("_profile%ld", options.profile_point);
    if (options.profile_point >= 0)
        for (const wxString& name : plot_files(profile_base, options))
            outputs.push_back(name);
    const bool density_plots = options.estimate && (options.plots_png || options.plots_csv);
    if (density_plots)
        for (const char* suffix : {"_density", "_density_distribution"})
            for (const wxString& name : plot_files(base + suffix, options))
                outputs.push_back(name);
    if (!options.overwrite)
        for (const wxString& name : outputs)
            if (wxFileName::Exists(name) && !refuse_existing(name))
                return 2;

    tool_session_t tool;
    // The settings: the template's (read while no frames are held, as templates must be), then a
    // recording's own, then the options'.
    if (!options.template_path.empty() && !recording_io->try_read_template_file(options.template_path)) {
        std::fprintf(stderr, "kestrane-tool thickness: could not read the template %s.\n",
                     options.template_path.utf8_str().data());
        return 1;
    }
    wxString data_folder;
    if (const int status = load_tool_input(args[0], options.series, "thickness", &data_folder))
        return status;
    for (const auto& write_setting : options.settings)
        write_setting();
    thickness_config_t config = thickness_config_from_settings();
    const long threads = options.threads;
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

    if (options.profile_point >= 0 && std::size_t(options.profile_point) >= surface.mesh.points.size()) {
        std::fprintf(stderr, "kestrane-tool thickness: the surface has no point %ld.\n", options.profile_point);
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
    if (options.estimate) {
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
        if (density_plots && (!write_plot(cortical_density_plot(e), base + "_density", options) ||
                              !write_plot(density_distribution_plot(e), base + "_density_distribution", options)))
            return 1;
    }
    thickness_results_t results;
    std::vector<point_fit_detail_t> details;
    bool mapped = false;
    if (!options.alternate.empty()) {
        ply_surface_t other;
        if (!read_ply_file(options.alternate, 0, other))
            return 1;
        std::vector<double> distances;
        mapped = distances_to_surface(surface.mesh, other.mesh, config.line_cm, int(threads),
                                      progress_for("Mapping intersections between"), &distances);
        results.reset(surface.mesh.points.size());
        results.values[thickness_results_t::thick] = distances;
    } else {
        mapped = map_thickness(*volume, surface.mesh, config, int(threads), progress_for("Mapping thickness over"),
                               &results, options.dump_profiles ? &details : nullptr);
    }
    std::fputc('\n', stderr);
    if (mapped && options.alternate.empty() && res->RES_THICKNESS_DISTANCE_REJECT->value() > 0)
        std::printf("outliers    %zu dropped\n", drop_outliers_as_set(surface.mesh, &results));
    if (mapped) {
        const long smooth = std::clamp(res->RES_THICKNESS_SMOOTH->value(), 0L, 1000L);
        const long fill = std::clamp(res->RES_THICKNESS_SMOOTH_FILL->value(), 0L, 1000L);
        smooth_thickness(surface.mesh, int(smooth), smooth > 0 ? int(fill) : 0, &results);
    }
    if (!mapped || !save_thickness(base, results))
        return 1;
    if (options.dump_profiles) {
        if (!write_profile_dump(base + "_profiles.jsonl", details, results))
            return 1;
        std::printf("profiles    %s_profiles.jsonl\n", base.utf8_str().data());
    }
    if (options.profile_point >= 0) {
        const surface_point_t& p = surface.mesh.points[std::size_t(options.profile_point)];
        point_fit_detail_t detail;
        const point_result_t r = fit_at_point(*volume, p.position, p.normal, config, &detail);
        if (r.ok())
            std::printf("point %ld     Thickness is %.2lf +/- %.2lf mm\n", options.profile_point, r.thickness,
                        r.thickness_error);
        if (!write_plot(profile_plot(detail, true, true, true), profile_base, options))
            return 1;
    }
    if (options.create && options.alternate.empty())
        for (const derived_surface_t kind : created) {
            const wxString name = base + derived_surface_suffix(kind) + ".ply";
            if (!save_surface(name, derived_surface(surface.mesh, results, kind, cortex_parts_from_settings()),
                              surface_save_t{}))
                return 1;
            std::printf("surface     %s\n", name.utf8_str().data());
        }
    if (options.create && options.alternate.empty())
        for (const coloured_result_t& which : coloured_results)
            if (!save_surface(base + which.suffix + ".ply",
                              coloured_surface(surface.mesh, results, which, thickness_scale_from_settings()),
                              surface_save_t{}))
                return 1;

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

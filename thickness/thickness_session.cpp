#include "thickness_session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

#include <wx/filename.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "surfaces/surface_interp.h"
#include "thickness/surface_distance.h"
#include "thickness/thickness_map.h"
#include "thickness/thickness_settings.h"
#include "volumes/slice_volume.h"

namespace {

std::shared_ptr<surface_interp> surface_of(int object)
{
    if (object < 0 || object >= resource_t::surface_slots)
        return nullptr;
    return res->RES_SURFACE[std::size_t(object)]->value();
}

wxString object_name(int object)
{
    const auto& objects = res->RES_OBJECT->value();
    return objects && object < object_table::size ? (*objects)[object].name : wxString::Format("object %d", object);
}

// Progress through the interaction, at most every 0.2 s; false once cancelled.
class progress_t {
public:
    // The densities fitted so far, from every worker: shown while mapping, used for nothing else.
    struct running_density_t {
        std::mutex lock;
        double sum = 0.0;
        long count = 0;
        void add(const point_result_t& r)
        {
            if (!r.ok() || !std::isfinite(r.density))
                return;
            const std::lock_guard<std::mutex> hold(lock);
            sum += r.density;
            ++count;
        }
    };

    progress_t(const wxString& title, std::size_t points, running_density_t* density = nullptr)
        : points_(points), density_(density)
    {
        interaction().progress_begin(title, text(0), int(std::min<std::size_t>(points, 1u << 30)));
    }
    ~progress_t() { interaction().progress_end(); }
    bool operator()(std::size_t done, std::size_t)
    {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(200) && done < points_)
            return true;
        last_ = now;
        return interaction().progress_update(int(std::min<std::size_t>(done, 1u << 30)), text(done));
    }

private:
    wxString text(std::size_t done) const
    {
        wxString text =
            wxString::Format("Calculating thickness values close to point %li of %li.", long(done), long(points_));
        if (density_) {
            const std::lock_guard<std::mutex> hold(density_->lock);
            if (density_->count > 0)
                text += wxString::Format("\nEstimated real cortical density is %.2lf HU.",
                                         density_->sum / double(density_->count));
        }
        return text;
    }
    std::size_t points_;
    running_density_t* density_;
    std::chrono::steady_clock::time_point last_{};
};

}  // namespace

surface_mesh_t thickness::mesh_of(const surface_interp& surface)
{
    return surface.joined();
}

const thickness_results_t* thickness::results(int object) const
{
    const auto found = held_.find(object);
    if (found == held_.end())
        return nullptr;
    const auto surface = surface_of(object);
    return surface && found->second.surface.lock() == surface ? &found->second.results : nullptr;
}

void thickness::clear(int object)
{
    if (held_.erase(object))
        res->RES_REDISPLAY_THICKNESS->write();
}

bool thickness::calc_thickness(int object, int threads)
{
    const auto surface = surface_of(object);
    wxString why;
    const auto volume = slice_volume_t::from_session(&why);
    if (!surface || !volume) {
        wxLogError("No thickness can be mapped: %s", surface ? why : wxString("the object has no surface"));
        return false;
    }
    const surface_mesh_t mesh = mesh_of(*surface);
    thickness_results_t results;
    {
        const thickness_config_t config = thickness_config_from_settings();
        // With the density fitted at every point, their running mean is worth watching.
        progress_t::running_density_t density;
        const bool fitted = !(config.b < thickness_unknown);
        progress_t progress("Mapping thickness over " + object_name(object), mesh.points.size(),
                            fitted ? &density : nullptr);
        if (!map_thickness(*volume, mesh, config, threads, std::ref(progress), &results, nullptr,
                           [&](const point_result_t& r) { density.add(r); }))
            return false;
        // The last word, whichever thread fitted the last point (only this one reports as it goes).
        progress(mesh.points.size(), mesh.points.size());
    }
    drop_outliers_as_set(mesh, &results);
    held_[object] = {surface, std::move(results)};
    smooth(object);
    res->RES_REDISPLAY_THICKNESS->write();
    return true;
}

bool thickness::calc_thickness_from_surface(int object, int alternate, int threads)
{
    const auto surface = surface_of(object), other = surface_of(alternate);
    if (!surface || !other || object == alternate) {
        wxLogError("Thickness from a surface needs two different surfaces.");
        return false;
    }
    const surface_mesh_t mesh = mesh_of(*surface);
    std::vector<double> distances;
    {
        progress_t progress("Mapping intersections between " + object_name(object) + " and " + object_name(alternate),
                            mesh.points.size());
        if (!distances_to_surface(mesh, mesh_of(*other), thickness_config_from_settings().line_cm, threads,
                                  std::ref(progress), &distances))
            return false;
    }
    thickness_results_t results;
    results.reset(mesh.points.size());
    results.values[thickness_results_t::thick] = std::move(distances);
    held_[object] = {surface, std::move(results)};
    smooth(object);
    res->RES_REDISPLAY_THICKNESS->write();
    return true;
}

bool thickness::estimate_density(int object, density_estimate_t* estimate, int threads)
{
    const auto surface = surface_of(object);
    wxString why;
    const auto volume = slice_volume_t::from_session(&why);
    if (!surface || !volume) {
        wxLogError("No density can be estimated: %s", surface ? why : wxString("the object has no surface"));
        return false;
    }
    const surface_mesh_t mesh = mesh_of(*surface);
    progress_t progress("Estimating density for " + object_name(object), mesh.points.size());
    return ::estimate_density(*volume, mesh, thickness_config_from_settings(), threads, std::ref(progress), estimate);
}

void thickness::smooth(int object)
{
    const auto surface = surface_of(object);
    const auto found = held_.find(object);
    if (!surface || found == held_.end() || found->second.surface.lock() != surface)
        return;
    const long passes = std::clamp(res->RES_THICKNESS_SMOOTH->value(), 0L, 1000L);
    const long fill = std::clamp(res->RES_THICKNESS_SMOOTH_FILL->value(), 0L, 1000L);
    smooth_thickness(mesh_of(*surface), int(passes), passes > 0 ? int(fill) : 0, &found->second.results);
}

bool thickness::save_thickness(int object, const wxString& base)
{
    const thickness_results_t* held = results(object);
    if (!held) {
        wxLogError("There are no thickness results to save.");
        return false;
    }
    const std::vector<wxString> names = thickness_file_names(base);
    for (const wxString& name : names)
        if (wxFileName::Exists(name)) {
            if (interaction().ask("Overwrite files", "One of the files\n\n" + name + "\nalready exists. Overwrite?",
                                  question_t::yes_no, answer_t::no) != answer_t::yes)
                return false;
            break;
        }
    if (!::save_thickness(base, *held))
        return false;
    auto files = std::make_shared<std::vector<wxFileName>>();
    for (const wxString& name : names)
        files->emplace_back(name);
    res->RES_DAT_THICKNESS_FILES->write(files);
    return true;
}

bool thickness::load_thickness(int object, const wxString& base)
{
    const auto surface = surface_of(object);
    if (!surface) {
        wxLogError("Thickness results need the surface they were mapped over.");
        return false;
    }
    thickness_results_t loaded;
    if (!::load_thickness(base, mesh_of(*surface).points.size(), &loaded))
        return false;
    held_[object] = {surface, std::move(loaded)};
    auto files = std::make_shared<std::vector<wxFileName>>();
    for (const wxString& name : thickness_file_names(base))
        files->emplace_back(name);
    res->RES_DAT_THICKNESS_FILES->write(files);
    res->RES_REDISPLAY_THICKNESS->write();
    return true;
}

surface_mesh_t thickness::derived(int object, derived_surface_t kind) const
{
    const thickness_results_t* held = results(object);
    const auto surface = surface_of(object);
    if (!held || !surface)
        return {};
    return derived_surface(mesh_of(*surface), *held, kind, cortex_parts_from_settings());
}

point_result_t thickness::refit_point(int object, std::size_t point, point_fit_detail_t* detail) const
{
    const auto surface = surface_of(object);
    wxString why;
    const auto volume = surface ? slice_volume_t::from_session(&why) : std::nullopt;
    if (!surface || !volume)
        return {};
    const surface_mesh_t mesh = mesh_of(*surface);
    if (point >= mesh.points.size())
        return {};
    const surface_point_t& p = mesh.points[point];
    return fit_at_point(*volume, p.position, p.normal, thickness_config_from_settings(), detail);
}

thickness& thickness_session()
{
    auto held = res->RES_THICKNESS->value();
    if (!held) {
        held = std::make_shared<thickness>();
        res->RES_THICKNESS->write(held);
    }
    return *held;
}

#include "thickness_actions.h"

#include <wx/filename.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "resources/resource_table.h"
#include "script/script_arguments.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_interp.h"
#include "thickness/coloured_surfaces.h"
#include "thickness/thickness_session.h"
#include "thickness/thickness_settings.h"

namespace {

bool has_surface(long object)
{
    return object >= 0 && object < resource_t::surface_slots && res->RES_SURFACE[std::size_t(object)]->value();
}

bool need_surface()
{
    if (has_surface(thickness_session().surface_object))
        return true;
    wxLogError("Choose a surface to work on first.");
    return false;
}

bool save_results(long object)
{
    return thickness_session().save_thickness(int(object), thickness_file_base(object));
}

}  // namespace

bool choose_thickness_surface(long object)
{
    if (!has_surface(object)) {
        wxLogError("Object %ld has no surface.", object);  // numbered as the object table names them
        return false;
    }
    thickness_session().surface_object = object;
    res->RES_REDISPLAY_THICKNESS->write();  // the page's choice follows a script's
    return true;
}

long thickness_surface_object()
{
    return has_surface(thickness_session().surface_object) ? thickness_session().surface_object : -1;
}

bool thickness_surf_fit()
{
    return need_surface() && thickness_session().calc_thickness(int(thickness_session().surface_object));
}

bool thickness_est_density(density_estimate_t* out, bool* show_plot)
{
    if (!need_surface())
        return false;
    density_estimate_t e;
    if (!thickness_session().estimate_density(int(thickness_session().surface_object), &e))
        return false;
    if (out)
        *out = e;
    if (show_plot)
        *show_plot = false;
    if (!e.ok) {
        const answer_t show =
            interaction().ask("Estimate cortical density", "Cortical density estimation failed.\n\nShow raw data?",
                              question_t::yes_no, answer_t::no);
        if (show_plot)
            *show_plot = show == answer_t::yes;
        return false;
    }
    const wxString question =
        e.doubtful ? "\n\nThese results are unlikely to be accurate.\nConfirm using the graphical results?"
                   : "\n\nShow graphical results?";
    // Doubtful estimates are taken only when the user says so; sure ones unless refused.
    const answer_t answer = interaction().ask("Estimate cortical density", e.text() + question, question_t::yes_no,
                                              e.doubtful ? answer_t::no : answer_t::yes);
    if (show_plot)
        *show_plot = answer == answer_t::yes;
    if (e.doubtful && answer != answer_t::yes)
        return false;
    res->RES_THICKNESS_B->write(e.density);
    if (!(res->RES_THICKNESS_GAUSS->value() < 1e10) && e.in_fwhm > 0.0) {
        res->RES_THICKNESS_GAUSS->write(e.in_fwhm);
        res->RES_THICKNESS_RECT->write(e.out_fwhm);
    }
    return true;
}

bool thickness_alternate(long object)
{
    if (!has_surface(object)) {
        wxLogError("Object %ld has no surface.", object);  // numbered as the object table names them
        return false;
    }
    res->RES_THICKNESS_SURF->write(object);
    return true;
}

bool thickness_compare()
{
    const long alternate = alternate_surface_object();
    if (!need_surface())
        return false;
    if (alternate < 0) {
        wxLogError("Choose an alternate surface first.");
        return false;
    }
    return thickness_session().calc_thickness_from_surface(int(thickness_session().surface_object), int(alternate));
}

bool thickness_surf_save()
{
    return need_surface() && save_results(thickness_session().surface_object);
}

bool thickness_surf_load()
{
    return need_surface() &&
           thickness_session().load_thickness(int(thickness_session().surface_object),
                                              thickness_file_base(thickness_session().surface_object));
}

bool thickness_save_alternate()
{
    const long alternate = alternate_surface_object();
    if (alternate < 0) {
        wxLogError("Choose an alternate surface first.");
        return false;
    }
    return save_results(alternate);
}

bool thickness_create()
{
    if (!need_surface())
        return false;
    if (!thickness_session().results(int(thickness_session().surface_object))) {
        wxLogError("There are no thickness results to make surfaces from.");
        return false;
    }
    const int object = int(thickness_session().surface_object);
    const wxString base = thickness_file_base(object);
    std::vector<std::pair<wxString, surface_mesh_t>> surfaces;
    for (const derived_surface_t kind : {derived_surface_t::outer, derived_surface_t::inner, derived_surface_t::cortex,
                                         derived_surface_t::smoothed_thickness})
        surfaces.emplace_back(base + derived_surface_suffix(kind) + ".ply", thickness_session().derived(object, kind));
    const surface_mesh_t mesh = thickness::mesh_of(*res->RES_SURFACE[std::size_t(object)]->value());
    for (const coloured_result_t& which : coloured_results)
        surfaces.emplace_back(base + which.suffix + ".ply", coloured_surface(mesh, *thickness_session().results(object),
                                                                             which, thickness_scale_from_settings()));
    for (const auto& [name, surface] : surfaces)
        if (wxFileName::Exists(name)) {
            if (interaction().ask("Overwrite files", "One of the files\n\n" + name + "\nalready exists. Overwrite?",
                                  question_t::yes_no, answer_t::no) != answer_t::yes)
                return false;
            break;
        }
    for (const auto& [name, surface] : surfaces)
        if (!save_surface(name, surface, surface_save_t{}))
            return false;
    return true;
}

wxString thickness_file_base(long object)
{
    return object_file_base(object);
}

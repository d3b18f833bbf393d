#include "script_functions.h"

#include <wx/log.h>

#include "file_functions.h"

namespace {

struct known_t {
    const char* name;
    int min_args, max_args;
};

// The language's functions and how many words follow each.
constexpr known_t known_functions[] = {
    {"FILE_SAVE", 0, 0},
    {"FILE_SAVEAS", 1, 1},
    {"FILE_OPEN", 1, 1},
    {"FILE_CLOSE", 0, 0},
    {"SAVE_3D", 1, 1},
    {"SAVE_REVIEW", 1, 1},
    {"SAVE_RESLICE", 1, 1},
    {"SAVE_ORTHO_LEFT", 1, 1},
    {"SAVE_ORTHO_RIGHT", 1, 1},
    {"SURFACE_ALL", 0, 0},
    {"SURFACE_RESOLUTION", 1, 1},
    {"SURFACE_SMOOTH_TYPE", 1, 1},
    {"SURFACE_SMOOTHING", 1, 1},
    {"CURRENT_OBJECT", 1, 1},
    {"IMPORT_SURFACE", 1, 1},
    {"SURFACE_CURRENT", 0, 0},
    {"SAVE_CURRENT_SURFACE", 0, 0},
    {"RENAME_CURRENT", 1, 1},
    {"OBJECT_OPACITY", 2, 2},
    {"THICKNESS_SURFACE", 1, 1},
    {"THICKNESS_SURF_SAVE", 0, 0},
    {"THICKNESS_SURF_LOAD", 0, 0},
    {"THICKNESS_SURF_FIT", 0, 0},
    {"THICKNESS_EST_DENSITY", 0, 0},
    {"THICKNESS_ALTERNATE", 1, 1},
    {"THICKNESS_SAVE_ALTERNATE", 0, 0},
    {"THICKNESS_CREATE", 0, 0},
    {"THICKNESS_COMPARE", 0, 0},
    {"DICOM_CALIBRATE", 0, 0},
    {"ORIENT_3D", 6, 6},
    {"LOCATE_3D", 3, 3},
    {"ROTATE_3D", 1, 1},
    {"ROTATE_RESLICE", 1, 1},
    {"ROTATE_RESLICE_3D", 1, 1},
    {"TWIST_3D", 1, 1},
    {"TWIST_RESLICE", 1, 1},
    {"TWIST_RESLICE_3D", 1, 1},
    {"MOVE_3D", 1, 1},
    {"MOVE_RESLICE", 1, 1},
    {"MOVE_ORTHO_LEFT", 1, 1},
    {"MOVE_ORTHO_RIGHT", 1, 1},
    {"OFFSET_REVIEW", 1, 1},
    {"OFFSET_RESLICE", 1, 1},
    {"OFFSET_ORTHO_LEFT", 1, 1},
    {"OFFSET_ORTHO_RIGHT", 1, 1},
    {"ZOOM_3D", 1, 1},
    {"ZOOM_REVIEW", 1, 1},
    {"ZOOM_RESLICE", 1, 1},
    {"ZOOM_ORTHO_LEFT", 1, 1},
    {"ZOOM_ORTHO_RIGHT", 1, 1},
    // Templates and export.
    {"TEMPLATE_OPEN", 1, 1},
    {"EXPORT_FRAMES", 2, 2},
    {"EXPORT_VOXELS", 1, 8},  // file, step, spacing and up to five options
};

}  // namespace

script_function_table_t::script_function_table_t()
{
    for (const known_t& k : known_functions)
        functions_.push_back({k.name, k.min_args, k.max_args, {}, false});
}

script_function_t* script_function_table_t::find_exact(const wxString& name)
{
    for (script_function_t& f : functions_)
        if (f.name == name)
            return &f;
    return nullptr;
}

bool script_function_table_t::register_function(const wxString& name, script_callable_t call, bool needs_display)
{
    script_function_t* f = find_exact(name);
    if (!f) {
        wxLogError("There is no script function %s to register.", name);
        return false;
    }
    f->call = std::move(call);
    f->needs_display = needs_display;
    return true;
}

void script_function_table_t::unregister_function(const wxString& name)
{
    if (script_function_t* f = find_exact(name)) {
        f->call = nullptr;
        f->needs_display = false;
    }
}

void script_function_table_t::add_state(const wxString& name, script_state_t state)
{
    for (auto& [held, kept] : states_)
        if (held == name) {
            kept = std::move(state);
            return;
        }
    states_.emplace_back(name, std::move(state));
}

void script_function_table_t::save_states() const
{
    for (const auto& [name, state] : states_)
        if (state.save)
            state.save();
}

void script_function_table_t::restore_states(bool new_data) const
{
    for (const auto& [name, state] : states_)
        if (state.restore)
            state.restore(new_data);
}

wxString script_function_table_t::strip_prefix(const wxString& label)
{
    for (const char* prefix : {"S_", "KSC_", "KSM_"}) {
        wxString rest;
        if (label.StartsWith(prefix, &rest))
            return rest;
    }
    return label;
}

const script_function_t* script_function_table_t::find(const wxString& label) const
{
    const wxString name = strip_prefix(label);
    for (const script_function_t& f : functions_)
        if (f.name == name)
            return &f;
    return nullptr;
}

wxString script_function_table_t::unavailable_reason(const script_function_t& f) const
{
    if (!f.call)
        return "Function " + f.name + " is not available in this version.";
    if (f.needs_display && !display_)
        return "Function " + f.name + " is not available without the program's window.";
    return {};
}

script_function_table_t& script_functions()
{
    static script_function_table_t table = [] {
        script_function_table_t t;
        register_file_functions(t);
        return t;
    }();
    return table;
}

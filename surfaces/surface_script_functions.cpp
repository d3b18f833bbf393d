#include "surface_script_functions.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "script/script_arguments.h"
#include "script/script_functions.h"
#include "surfaces/ply_reader.h"
#include "surfaces/surface_files.h"
#include "surfaces/surface_session.h"

namespace {

// The Draw page's choices a script has set.
struct surface_choices_t {
    long resolution = 4;  // Medium
    long smooth_type = 0, strength = 0;
};
surface_choices_t choices;

script_result_t fail(const wxString& why)
{
    return {false, why};
}

long current_object()
{
    return std::clamp<long>(res->CURRENT_OBJECT->value(), 0, object_table::size - 1);
}

// A whole number within [low, high] into *value.
script_callable_t set_choice(long* value, long low, long high, const char* what)
{
    return [value, low, high, what](const std::vector<wxString>& args) {
        long v = 0;
        if (!args.at(0).ToLong(&v) || v < low || v > high)
            return fail(wxString::Format("the %s must be a whole number from %ld to %ld", what, low, high));
        *value = v;
        return script_result_t{true, {}};
    };
}

script_result_t build(int object)
{
    const surface_update_t done =
        update_surfaces(surface_settings_from_session(surface_resolution_step(int(choices.resolution)),
                                                      int(choices.smooth_type), int(choices.strength)),
                        object);
    if (done.cancelled)
        return fail("cancelled");
    if (!done.failed.empty())
        return fail(wxString::Format("no surface for %zu object(s)", done.failed.size()));
    return {true, wxString::Format("%zu surface(s) built", done.built.size())};
}

}  // namespace

void register_surface_functions(script_function_table_t& table)
{
    table.register_function("CURRENT_OBJECT", [](const std::vector<wxString>& args) {
        const long object = script_object(args.at(0));
        if (object < 0)
            return fail("no object '" + args.at(0) + "'");
        res->CURRENT_OBJECT->write(object);
        return script_result_t{true, {}};
    });
    table.register_function("RENAME_CURRENT", [](const std::vector<wxString>& args) {
        const wxString name = args.at(0).Strip(wxString::both);
        if (name.empty() || !res->RES_OBJECT->value())
            return fail("an object needs a name");
        auto copy = std::make_shared<object_table>(*res->RES_OBJECT->value());
        (*copy)[int(current_object())].name = name;
        res->RES_OBJECT->write(copy);
        return script_result_t{true, {}};
    });
    table.register_function("OBJECT_OPACITY", [](const std::vector<wxString>& args) {
        const long object = script_object(args.at(0));
        double opacity = 0.0;
        if (object < 0 || !res->RES_OBJECT->value())
            return fail("no object '" + args.at(0) + "'");
        if (!args.at(1).ToCDouble(&opacity) || !std::isfinite(opacity) || opacity < 0.0 || opacity > 1.0)
            return fail("the opacity must be a number from 0 to 1");
        auto copy = std::make_shared<object_table>(*res->RES_OBJECT->value());
        (*copy)[int(object)].opacity = opacity;
        res->RES_OBJECT->write(copy);
        return script_result_t{true, {}};
    });
    table.register_function("SURFACE_RESOLUTION", set_choice(&choices.resolution, 0, 6, "resolution"));
    table.register_function("SURFACE_SMOOTH_TYPE", set_choice(&choices.smooth_type, 0, 2, "smoothing type"));
    table.register_function("SURFACE_SMOOTHING", set_choice(&choices.strength, 0, 20, "smoothing strength"));
    table.register_function("SURFACE_ALL", [](const std::vector<wxString>&) { return build(-1); });
    table.register_function("SURFACE_CURRENT",
                            [](const std::vector<wxString>&) { return build(int(current_object())); });
    table.register_function("SAVE_CURRENT_SURFACE", [](const std::vector<wxString>&) {
        const long object = current_object();
        const auto& surface = res->RES_SURFACE[std::size_t(object)]->value();
        if (!surface || !res->RES_OBJECT->value())
            return fail("the current object has no surface");
        const wxString path = object_file_base(object) + ".ply";
        if (!save_surface(path, surface->joined(), surface_save_t{}))
            return fail("could not write " + path);
        return script_result_t{true, "Saved " + path};
    });
    table.register_function("IMPORT_SURFACE", [](const std::vector<wxString>& args) {
        const long object = current_object();
        const wxString path = beside_recording(args.at(0));
        ply_surface_t ply;
        if (!read_ply_file(path, std::int32_t(object), ply))
            return fail("could not read " + path);
        std::shared_ptr<surface_interp> surface = surface_interp::from_mesh(std::move(ply.mesh), int(object));
        if (!surface)
            return fail(path + " encloses no volume");
        res->RES_SURFACE[std::size_t(object)]->write(surface);
        return script_result_t{true, {}};
    });
}

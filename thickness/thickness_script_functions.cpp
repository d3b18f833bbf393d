#include "thickness_script_functions.h"

#include "script/script_arguments.h"
#include "script/script_functions.h"
#include "thickness/thickness_actions.h"

namespace {

script_result_t done(bool ok, const wxString& message = {})
{
    return {ok, message};
}

// An operation without arguments, failing with `why` (its own reasons are in the log).
script_callable_t plain(bool (*operation)(), const char* why)
{
    return [operation, why](const std::vector<wxString>&) { return operation() ? done(true) : done(false, why); };
}

// An operation on one object.
script_callable_t on_object(bool (*operation)(long))
{
    return [operation](const std::vector<wxString>& args) {
        const long object = script_object(args.at(0));
        if (object < 0)
            return done(false, "no object '" + args.at(0) + "'");
        return operation(object) ? done(true) : done(false, "object '" + args.at(0) + "' has no surface");
    };
}

}  // namespace

void register_thickness_functions(script_function_table_t& table)
{
    table.register_function("THICKNESS_SURFACE", on_object(choose_thickness_surface));
    table.register_function("THICKNESS_ALTERNATE", on_object(thickness_alternate));
    table.register_function("THICKNESS_SURF_FIT", plain(thickness_surf_fit, "the thickness was not mapped"));
    table.register_function("THICKNESS_COMPARE", plain(thickness_compare, "the alternate surface was not compared"));
    table.register_function("THICKNESS_SURF_SAVE", plain(thickness_surf_save, "the results were not saved"));
    table.register_function("THICKNESS_SURF_LOAD", plain(thickness_surf_load, "the results were not loaded"));
    table.register_function("THICKNESS_SAVE_ALTERNATE",
                            plain(thickness_save_alternate, "the alternate surface's results were not saved"));
    table.register_function("THICKNESS_CREATE", plain(thickness_create, "the surfaces were not made"));
    table.register_function("THICKNESS_EST_DENSITY", [](const std::vector<wxString>&) {
        density_estimate_t e;
        if (!thickness_est_density(&e))
            return done(false, e.ok ? "the estimate was not taken" : "Cortical density estimation failed.");
        return done(true, e.text());
    });
}

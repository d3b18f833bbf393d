#include "voxel_script_functions.h"

#include <cmath>

#include "script/script_arguments.h"
#include "script/script_functions.h"
#include "surfaces/session_voxels.h"

void register_voxel_functions(script_function_table_t& table)
{
    table.register_function("EXPORT_VOXELS", [](const std::vector<wxString>& args) {
        session_voxels_t how;
        how.path = beside_recording(args.at(0));
        if (args.size() > 1 && (!args[1].ToLong(&how.step) || how.step < 1 || how.step > voxel_max_step))
            return script_result_t{false, "the step '" + args[1] + "' is not a whole number of pixels"};
        if (args.size() > 2 &&
            (!args[2].ToCDouble(&how.spacing_mm) || !std::isfinite(how.spacing_mm) || !(how.spacing_mm > 0.0)))
            return script_result_t{false, "the spacing '" + args[2] + "' is not a length in mm"};
        voxel_layout_t layout;
        wxString why;
        if (!export_session_voxels(how, &layout, &why))
            return script_result_t{false, why};
        return script_result_t{true, wxString::Format("%s: %li slices of %li x %li voxels", how.path, layout.slices,
                                                      layout.width, layout.height)};
    });
}

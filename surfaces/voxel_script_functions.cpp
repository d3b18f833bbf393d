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
        // Step and spacing by position; reconstruction options as name=value
        // words (or "masked") after them, as export-voxels names its flags.
        std::vector<wxString> positional;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (!args[i].Contains("=") && args[i] != "masked") {
                if (positional.size() == 2)
                    return script_result_t{false, "'" + args[i] + "' is neither a step, a spacing nor an option"};
                positional.push_back(args[i]);
                continue;
            }
            wxString why;
            if (!parse_voxel_option_word(args[i], &how, &why))
                return script_result_t{false, why};
        }
        if (!positional.empty() && (!positional[0].ToLong(&how.step) || how.step < 1 || how.step > voxel_max_step))
            return script_result_t{false, "the step '" + positional[0] + "' is not a whole number of pixels"};
        if (positional.size() > 1 &&
            (!positional[1].ToCDouble(&how.spacing_mm) || !std::isfinite(how.spacing_mm) || !(how.spacing_mm > 0.0)))
            return script_result_t{false, "the spacing '" + positional[1] + "' is not a length in mm"};
        voxel_layout_t layout;
        wxString why;
        if (!export_session_voxels(how, &layout, &why))
            return script_result_t{false, why};
        return script_result_t{true, wxString::Format("%s: %li slices of %li x %li voxels", how.path, layout.slices,
                                                      layout.width, layout.height)};
    });
}

#include "resource_rules.h"

#include "resources/base_res.h"

namespace {

bool named_one_of(const base_res_t& r, std::initializer_list<const char*> names)
{
    const wxString name(r.name());
    for (const char* n : names)
        if (name == n)
            return true;
    return false;
}

// Lines of a recording's body and header that carry data, not a setting.
bool is_data_line(const base_res_t& r)
{
    return named_one_of(r, {"IM", "LOAD", "CONT", "OBJECT", "CURVE", "SWEEPS", "LANDMARK", "FIDUCIAL", "#",
                            "RES_END_HEADER", "RES_BIN_IM_FILENAME", "RES_DICOM_FRAME_LIST"});
}

// The interpreter's own state: a script setting it would confuse the run.
bool is_interpreters(const base_res_t& r)
{
    return named_one_of(r, {"RES_IN_SCRIPT", "RES_SCRIPT_RESULTS_DIR", "RES_SCRIPT_RESULTS_NAME", "RES_SCRIPT_FUNC_ARG",
                            "RES_SCRIPT_WRITE_MESSAGE", "RES_SCRIPT_FILENAME"});
}

}  // namespace

base_res_t* find_script_resource(const wxString& label)
{
    if (base_res_t* r = base_res_t::find_named_resource(label))
        return r;
    return label.StartsWith("RES_") ? nullptr : base_res_t::find_named_resource("RES_" + label);
}

wxString param_refusal(const base_res_t& r)
{
    const wxString name(r.name());
    if (is_data_line(r))
        return name + " cannot be set by a script: it is a data line of a recording file.";
    if (is_interpreters(r))
        return name + " cannot be set by a script: the script interpreter sets it.";
    // Values of a type of their own are read only through a file's line procedure.
    if (!r.has_text_form() && !r.has_parse_proc())
        return name + " cannot be set by a script: it has no text form.";
    return {};
}

bool is_frame_geometry(const base_res_t& r)
{
    return named_one_of(r, {"RES_BUF_FRAMES", "RES_BUF_WIDTH", "RES_BUF_HEIGHT", "RES_BUF_RF", "RES_BUF_DICOM",
                            "RES_RF_SAMPLES", "RES_RF_VECTORS", "RES_FRAME_SIZE", "RES_POS_REC"});
}

#include "session_voxels.h"

#include <wx/filename.h>

#include "reconstruction/reslice_default.h"
#include "reconstruction/reslice_frames.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/voxel_volume_file.h"
#include "resources/resource_table.h"
#include "surfaces/surface_sections.h"

namespace {

bool output_type(const wxString& path, bool gzip, voxel_output_t* type)
{
    bool gzip_name = false;
    if (const auto volume = volume_file_type_for(path, &gzip_name)) {
        switch (*volume) {
        case volume_file_type_t::nrrd: *type = gzip ? voxel_output_t::nrrd_gzip : voxel_output_t::nrrd; break;
        case volume_file_type_t::metaimage: *type = voxel_output_t::metaimage; break;
        case volume_file_type_t::nifti: *type = gzip_name ? voxel_output_t::nifti_gzip : voxel_output_t::nifti; break;
        }
        return true;
    }
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext.empty() || ext == "ks")
        *type = voxel_output_t::recording;
    else if (ext == "png")
        *type = voxel_output_t::png;
    else if (ext == "bmp")
        *type = voxel_output_t::bmp;
    else if (ext == "jpeg" || ext == "jpg")
        *type = voxel_output_t::jpeg;
    else if (ext == "tif" || ext == "tiff")
        *type = voxel_output_t::tiff;
    else
        return false;
    return true;
}

}  // namespace

bool export_session_voxels(const session_voxels_t& how, voxel_layout_t* layout, wxString* why)
{
    voxel_export_request request;
    if (!output_type(how.path, how.gzip, &request.type)) {
        *why = "unknown output type '" + wxFileName(how.path).GetExt() + "'";
        return false;
    }
    if (how.step < 1 || how.step > voxel_max_step || !(how.spacing_mm >= 0.0)) {
        *why = "the step or the spacing is out of range";
        return false;
    }
    if (how.crop >= 0 &&
        (how.crop >= resource_t::surface_slots || !res->RES_SURFACE[static_cast<std::size_t>(how.crop)]->value())) {
        *why = wxString::Format("object %ld has no surface to crop to", how.crop);
        return false;
    }
    reslice_source source = source_from_session();
    source.surface_sections = surface_sections_from_session();
    reslice_internals reslice;
    reslice_settings mode = reslice.settings();
    mode.linear = how.linear;
    reslice.set_settings(mode);
    if (!reslice.set_reslice_for_min_voxels(source)) {
        *why = "the recording has no frames with positions";
        return false;
    }
    request.settings = reslice.settings();
    request.settings.surface = static_cast<std::int32_t>(how.crop);
    // Slabs that meet fill the space between frames.
    request.settings.bscan_half_thickness = suggested_bscan_half_thickness(source);
    request.step = static_cast<int>(how.step);
    // As the export dialog's rows: K pixel widths, or millimetres when asked.
    request.spacing = how.spacing_mm > 0.0 ? how.spacing_mm / 10.0 : static_cast<double>(how.step) * source.pixel_size;
    request.path = how.path;
    const std::optional<slice_volume_t> values =
        is_volume_file_output(request.type) ? stored_values_from_session() : std::nullopt;
    if (values)
        request.stored_values = &*values;
    *layout = plan_voxel_export(source, request);
    if (!layout->ok || !export_voxels(source, voxel_header_from_session(), request)) {
        *why = "the volume could not be written to " + how.path;
        return false;
    }
    return true;
}

#include "session_voxels.h"

#include <cmath>

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
            case volume_file_type_t::nrrd:
                *type = gzip ? voxel_output_t::nrrd_gzip : voxel_output_t::nrrd;
                break;
            case volume_file_type_t::metaimage:
                *type = voxel_output_t::metaimage;
                break;
            case volume_file_type_t::nifti:
                *type = gzip_name ? voxel_output_t::nifti_gzip : voxel_output_t::nifti;
                break;
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

// A slab thicker than this is no longer a frame's thickness but smearing.
constexpr double max_slab_mm = 50.0;
constexpr double max_fill_holes_mm = 50.0;

bool options_in_range(const session_voxels_t& how, wxString* why)
{
    if (how.step < 1 || how.step > voxel_max_step || !(std::isfinite(how.spacing_mm) && how.spacing_mm >= 0.0)) {
        *why = "the step or the spacing is out of range";
        return false;
    }
    if (!(std::isfinite(how.slab_mm) && how.slab_mm >= 0.0 && how.slab_mm <= max_slab_mm)) {
        *why = wxString::Format("the slab half-thickness must be above 0 and at most %g mm", max_slab_mm);
        return false;
    }
    if (!(std::isfinite(how.fill_holes_mm) && how.fill_holes_mm >= 0.0 && how.fill_holes_mm <= max_fill_holes_mm)) {
        *why =
            wxString::Format("the distance to fill holes within must be above 0 and at most %g mm", max_fill_holes_mm);
        return false;
    }
    if (how.threads < 0 || how.threads > long(voxel_max_threads)) {
        *why = wxString::Format("the thread count must be 1 to %u", voxel_max_threads);
        return false;
    }
    if (how.clip && (how.clip->x < 0 || how.clip->y < 0 || how.clip->width < 1 || how.clip->height < 1)) {
        *why = "the clip rectangle needs X and Y of 0 or more and a width and height of 1 or more";
        return false;
    }
    return true;
}

// The clip must lie inside every frame: a rectangle that reaches past one is a mistake, not a wish for less.

}  // namespace

bool clip_inside_frames(const reslice_source& source, const frame_clip& clip, wxString* why)
{
    for (const reslice_frame& f : source.frames) {
        const long w = f.image.width(), h = f.image.height();
        if (clip.x >= w || clip.y >= h || clip.width > w - clip.x || clip.height > h - clip.y) {
            *why = wxString::Format("the clip rectangle %li,%li,%li,%li reaches outside the %li x %li frames", clip.x,
                                    clip.y, clip.width, clip.height, w, h);
            return false;
        }
    }
    return true;
}

bool parse_voxel_option_word(const wxString& word, session_voxels_t* how, wxString* why)
{
    const wxString name = word.BeforeFirst('=');
    if (word.Contains("=") != voxel_option_takes_value(name)) {
        *why = "'" + word + "' is not an option (slab=MM, fill-holes=MM, masked, clip=X,Y,W,H, threads=N)";
        return false;
    }
    if (parse_voxel_option(name, word.AfterFirst('='), how, why))
        return true;
    *why += " (not '" + word + "')";
    return false;
}

bool voxel_option_takes_value(const wxString& name)
{
    return name == "slab" || name == "fill-holes" || name == "clip" || name == "threads";
}

bool parse_voxel_option(const wxString& name, const wxString& value, session_voxels_t* how, wxString* why)
{
    // NaN, infinity and negatives are no lengths.
    const auto positive_mm = [&value](double* mm) { return value.ToCDouble(mm) && std::isfinite(*mm) && *mm > 0.0; };
    if (name == "slab" || name == "fill-holes") {
        const bool slab = name == "slab";
        if (positive_mm(slab ? &how->slab_mm : &how->fill_holes_mm))
            return true;
        *why = slab ? "slab needs a half-thickness in mm above 0" : "fill-holes needs a distance in mm above 0";
    } else if (name == "clip") {
        const wxArrayString parts = wxSplit(value, ',', '\0');
        long v[4] = {};
        bool read = parts.size() == 4;
        for (std::size_t i = 0; read && i < 4; ++i)
            read = parts[i].Strip(wxString::both).ToLong(&v[i]);
        if (read && v[0] >= 0 && v[1] >= 0 && v[2] >= 1 && v[3] >= 1) {
            how->clip = frame_clip{v[0], v[1], v[2], v[3]};
            return true;
        }
        *why = "clip needs X,Y,W,H in frame pixels, X and Y 0 or more, W and H 1 or more";
    } else if (name == "threads") {
        if (value.ToLong(&how->threads) && how->threads >= 1 && how->threads <= long(voxel_max_threads))
            return true;
        *why = wxString::Format("threads needs a whole number from 1 to %u", voxel_max_threads);
    } else if (name == "masked") {
        how->masked = true;
        return true;
    } else {
        *why = "unknown option";
    }
    return false;
}

bool export_session_voxels(const session_voxels_t& how, voxel_layout_t* layout, wxString* why)
{
    voxel_export_request request;
    if (!output_type(how.path, how.gzip, &request.type)) {
        *why = "unknown output type '" + wxFileName(how.path).GetExt() + "'";
        return false;
    }
    if (!options_in_range(how, why))
        return false;
    if (how.crop >= 0 &&
        (how.crop >= resource_t::surface_slots || !res->RES_SURFACE[static_cast<std::size_t>(how.crop)]->value())) {
        *why = wxString::Format("object %ld has no surface to crop to", how.crop);
        return false;
    }
    reslice_source source = source_with_surfaces_from_session();
    source.zero_is_no_data = source.zero_is_no_data || how.masked;
    if (how.clip && !clip_inside_frames(source, *how.clip, why))
        return false;
    source.clip = how.clip;
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
    request.settings.bscan_half_thickness =
        how.slab_mm > 0.0 ? how.slab_mm / 10.0 : suggested_bscan_half_thickness(source);
    request.step = static_cast<int>(how.step);
    request.fill_holes = how.fill_holes_mm / 10.0;
    request.threads = static_cast<unsigned>(how.threads);
    // As the export dialog's rows: K pixel widths, or millimetres when asked.
    request.spacing = how.spacing_mm > 0.0 ? how.spacing_mm / 10.0 : static_cast<double>(how.step) * source.pixel_size;
    request.path = how.path;
    const std::optional<slice_volume_t> values =
        is_volume_file_output(request.type) ? stored_values_from_session() : std::nullopt;
    if (values)
        request.stored_values = &*values;
    *layout = plan_voxel_export(source, request);
    voxel_header_t header = voxel_header_from_session();
    // Zeros in the volume are no data, as in the frames it came from.
    if (how.masked && header.masked <= 0)
        header.masked = 1;
    if (!layout->ok || !export_voxels(source, header, request)) {
        *why = "the volume could not be written to " + how.path;
        return false;
    }
    return true;
}

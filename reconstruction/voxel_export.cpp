#include "voxel_export.h"

#include <cmath>
#include <algorithm>
#include <memory>
#include <thread>
#include <sys/statvfs.h>
#include <unistd.h>

#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>

#include "common/interaction.h"
#include "display/globcmap.h"
#include "reconstruction/reslice_internals.h"
#include "reconstruction/voxel_hole_fill.h"
#include "reconstruction/voxel_volume_file.h"
#include "resources/recording_file.h"
#include "resources/resource_table.h"
#include "resources/image_file.h"
#include "resources/safe_file.h"
#include "resources/save_journal.h"
#include "resources/value_text.h"

namespace {

constexpr double bytes_per_mb = 1048576.0;
// Far beyond any real volume; keeps the slice count a sane integer.
constexpr double max_slices = 1e7;

std::uint64_t physical_memory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES), page = ::sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) : 0;
}

// Free bytes where `path` will be written; 0 when unknown.
std::uint64_t free_disk(const wxString& path)
{
    wxString dir = wxFileName(path).GetPath();
    if (dir.empty())
        dir = ".";
    struct statvfs fs {};
    if (::statvfs(static_cast<const char*>(dir.fn_str()), &fs) != 0)
        return 0;
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
}

wxString type_extension(voxel_output_t type)
{
    switch (type) {
    case voxel_output_t::bmp: return "bmp";
    case voxel_output_t::png: return "png";
    case voxel_output_t::jpeg: return "jpeg";
    case voxel_output_t::tiff: return "tiff";
    case voxel_output_t::nrrd:
    case voxel_output_t::nrrd_gzip: return "nrrd";
    case voxel_output_t::metaimage: return "mha";
    case voxel_output_t::nifti: return "nii";
    case voxel_output_t::nifti_gzip: return "nii.gz";
    case voxel_output_t::recording: break;
    }
    return "ks";
}

// Refuses volumes that could never be opened again or would fill the disk.
bool volume_fits(const voxel_layout_t& layout, const voxel_export_request& request)
{
    const double voxels = double(layout.slices) * double(layout.width) * double(layout.height);
    const std::uint64_t memory = physical_memory();
    if (memory > 0 && voxels > double(memory)) {
        wxLogError("The exported volume (%li slices of %li x %li voxels, %.1f Mb) would not fit in this computer's "
                   "memory (%.1f Mb).",
                   layout.slices, layout.width, layout.height, voxels / bytes_per_mb, double(memory) / bytes_per_mb);
        return false;
    }
    // Uncompressed images take three bytes a voxel, 16-bit volumes two; compressed ones are guarded at one.
    const bool raw_rgb = request.type == voxel_output_t::bmp || request.type == voxel_output_t::tiff;
    const bool wide = is_volume_file_output(request.type) && request.stored_values;
    const double needed = voxels * (raw_rgb ? 3.0 : wide ? 2.0 : 1.0);
    const std::uint64_t free_bytes = free_disk(request.path);
    if (free_bytes > 0 && needed > double(free_bytes)) {
        wxLogError("Not enough free disk space for the exported volume (%.1f Mb needed, %.1f Mb free).",
                   needed / bytes_per_mb, double(free_bytes) / bytes_per_mb);
        return false;
    }
    return true;
}

// The defining settings with the plane moved by z along its normal.
reslice_settings moved(const voxel_export_request& request, const reslice_plane& plane, double z)
{
    reslice_settings s = request.settings;
    s.enabled = true;
    s.normal = plane.normal();
    s.centre = plane.centre() + z * plane.normal();
    s.up = plane.centre() + plane.up_axis() + z * plane.normal();
    return s;
}

// A recording whose frames are the slices: header now, one IM line and frame per slice.
class volume_recording_t {
public:
    volume_recording_t(const wxString& path, const voxel_header_t& header, const voxel_layout_t& layout,
                       double voxel_size)
        : text_(path), data_(wxFileName(path).GetPath(wxPATH_GET_VOLUME | wxPATH_GET_SEPARATOR) +
                             recording_io_t::image_file_name_for(path)),
          header_(header)
    {
        if (!text_.ok() || !data_.ok())
            return;
        const auto zero = [](const char* name) { return wxString(name) + " 0\n"; };
        wxString h;
        h << "RES_BUF_FRAMES " << layout.slices << "\n"
          << "RES_BUF_WIDTH " << layout.width << "\n"
          << "RES_BUF_HEIGHT " << layout.height << "\n"
          << "RES_POS_REC true\nRES_BUF_RF false\nRES_END_HEADER\n"
          << "RES_VERSION " << value_text::single_line(header.version) << "\n"
          << "RES_BUF_DOPPLER " << (header.doppler ? "true" : "false") << "\n"
          << wxString::Format("RES_MASKED_DATA %li\n", header.masked);
        for (const char* name : {"RES_VID_XPOS", "RES_VID_YPOS", "RES_XTRANS", "RES_YTRANS", "RES_ZTRANS",
                                 "RES_AZIMUTH", "RES_ELEVATION", "RES_ROLL"})
            h << zero(name);
        h << "RES_XSCALE " << value_text::round_trip(voxel_size) << "\n"
          << "RES_YSCALE " << value_text::round_trip(voxel_size) << "\n"
          << "RES_ISOCENTRE_CAL_DATE " << value_text::single_line(header.isocentre_date) << "\n";
        const char* iso[6] = {"RES_ISOCENTRE_XTRANS", "RES_ISOCENTRE_YTRANS", "RES_ISOCENTRE_ZTRANS",
                              "RES_ISOCENTRE_AZIMUTH", "RES_ISOCENTRE_ELEVATION", "RES_ISOCENTRE_ROLL"};
        for (int i = 0; i < 6; ++i)
            h << (header.in_isocentre_frame ? zero(iso[i])
                                            : wxString(iso[i]) + " " + value_text::fixed6(header.isocentre[i]) + "\n");
        for (const landmark_t& m : header.marks) {
            if (m.kind == LMARK_2D)
                continue;
            const vertex3d p = header.world_to_volume * m.position;
            // The reader wants a name after the coordinates.
            const wxString name = m.name.empty() ? wxString("-") : value_text::single_line(m.name);
            h << (m.kind == LMARK_FIDUCIAL ? "FIDUCIAL " : "LANDMARK ") << value_text::fixed6(p.x) << " "
              << value_text::fixed6(p.y) << " " << value_text::fixed6(p.z) << " " << name << "\n";
        }
        // Ended by the name, as a recording's OBJECT lines are, so a re-opened volume keeps it.
        for (const voxel_object_t& o : header.objects)
            h << "OBJECT " << o.index << " " << (o.solid ? 1 : 0) << " " << int(o.colour.r) << " " << int(o.colour.g)
              << " " << int(o.colour.b) << " " << wxString::FromCDouble(o.opacity, 3) << " "
              << value_text::single_line(o.name) << "\n";
        h << "RES_BIN_IM_FILENAME " << recording_io_t::image_file_name_for(path) << "\n";
        opened_ = put(h);
    }

    bool opened() const { return opened_; }

    // The outlines of slice `slice` (output pixels), closed.
    bool add_outlines(int object, long slice, const reslice_sections& sections, int k)
    {
        wxString lines;
        for (const std::vector<vertex2d>& points : sections) {
            lines << "CONT " << object << " " << slice << " 1";
            for (const vertex2d& p : points)
                lines << " " << wxString::FromCDouble(p.x / k, 2) << " " << wxString::FromCDouble(p.y / k, 2);
            lines << "\n";
        }
        if (!lines.empty() && !put(lines)) {
            wxLogError("Error writing out CONT lines to ascii data file.");
            return false;
        }
        return true;
    }

    // Pose of the slice whose first-pixel corner is `corner`, axes e, u, n (world).
    bool add_slice(const vertex3d& corner, const reslice_plane& plane, const std::vector<std::uint8_t>& pixels)
    {
        const matrix16d frame = matrix_of_axes(plane.x_axis(), plane.up_axis(), plane.normal(), corner);
        const matrix16d pose = header_.world_to_volume * frame;
        double v[6];
        pose.decompose(&v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
        wxString line = "IM 0";
        for (double x : v)
            line << " " << value_text::float_text(static_cast<float>(x));
        if (!put(line + "\n")) {
            wxLogError("Error writing out IM lines to ascii data file.\n");
            return false;
        }
        if (!data_.write(pixels.data(), pixels.size())) {
            wxLogError("Failed to write binary data to binary file.\n");
            return false;
        }
        return true;
    }

    // The image data first, and both as one step: a recording file never
    // points at a missing or mismatched one, even after a kill.
    bool commit()
    {
        for (safe_file_t* f : {&data_, &text_})
            if (!f->finish()) {
                wxLogError("Error writing '%s': %s", f->target(), f->error_text());
                return false;
            }
        if (!commit_together({&data_, &text_}, text_.target()))
            return false;  // it says which rename failed
        return true;
    }

private:
    bool put(const wxString& s)
    {
        const wxScopedCharBuffer utf8 = s.utf8_str();
        return text_.write(utf8.data(), utf8.length());
    }

    safe_file_t text_, data_;
    const voxel_header_t& header_;
    bool opened_ = false;
};

// A slice already at the output size, through the colour map when one is installed.
bool save_slice_image(const std::vector<std::uint8_t>& slice, const voxel_layout_t& layout, const wxString& name,
                      voxel_output_t type)
{
    wxImage image(static_cast<int>(layout.width), static_cast<int>(layout.height), false);
    unsigned char* rgb = image.GetData();
    if (!rgb) {
        wxLogError("Not enough memory for a slice image of %li x %li pixels.", layout.width, layout.height);
        return false;
    }
    const int w = static_cast<int>(layout.width), h = static_cast<int>(layout.height);
    if (!colourmap || !colourmap->part_map_to_rgb(slice.data(), w, h, rgb, w, h, 1)) {
        for (std::size_t i = 0; i < slice.size(); ++i)
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = slice[i];
    }
    if (type == voxel_output_t::jpeg)
        image.SetOption(wxIMAGE_OPTION_QUALITY, 95);
    return save_image_file(image, name);
}

}  // namespace

bool is_volume_file_output(voxel_output_t type)
{
    switch (type) {
    case voxel_output_t::nrrd:
    case voxel_output_t::nrrd_gzip:
    case voxel_output_t::metaimage:
    case voxel_output_t::nifti:
    case voxel_output_t::nifti_gzip: return true;
    default: return false;
    }
}

unsigned voxel_export_threads(unsigned asked)
{
    if (asked > 0)
        return std::min(asked, voxel_max_threads);
    return std::clamp(std::thread::hardware_concurrency(), 1u, voxel_default_threads);
}

long voxel_output_size(long n, int step)
{
    return step < 1 || n < 1 ? 0 : (n - 1) / step + 1;
}

voxel_layout_t plan_voxel_export(const reslice_source& source, const voxel_export_request& request)
{
    voxel_layout_t layout;
    if (request.step < 1 || request.step > voxel_max_step) {
        wxLogError("The resolution step must be between 1 and %d pixels.", voxel_max_step);
        return layout;
    }
    if (!(std::isfinite(request.spacing) && request.spacing > 0.0)) {
        wxLogError("The slice spacing must be a positive distance.");
        return layout;
    }
    if (!(std::isfinite(request.fill_holes) && request.fill_holes >= 0.0)) {
        wxLogError("The distance to fill holes within must be 0 (none) or a positive distance.");
        return layout;
    }
    if (request.threads > voxel_max_threads) {
        wxLogError("An export uses at most %u threads.", voxel_max_threads);
        return layout;
    }
    const reslice_plane plane(request.settings, source.pixel_size);
    const reslice_extent e = reslice_internals::find_reslice_extent(source, plane);
    if (!e.found) {
        wxLogError("There are no frames with positions to export.");
        return layout;
    }
    const double count = whole_steps((e.z1 - e.z0) / request.spacing) + 1.0;
    if (!(count <= max_slices)) {
        wxLogError("A slice spacing of %g cm over %g cm of data gives far too many slices.", request.spacing,
                   e.z1 - e.z0);
        return layout;
    }
    layout.width = voxel_output_size(plane.width(), request.step);
    layout.height = voxel_output_size(plane.height(), request.step);
    layout.slices = static_cast<long>(count);
    layout.zmin = e.z0;
    layout.zmax = e.z1;
    layout.first_voxel = plane.reslice_to_world(0.0, 0.0, layout.zmin);
    layout.last_voxel =
        plane.reslice_to_world(double((layout.width - 1) * request.step), double((layout.height - 1) * request.step),
                               layout.zmin + double(layout.slices - 1) * request.spacing);
    layout.ok = true;
    return layout;
}

std::vector<voxel_resolution_row_t> voxel_resolution_rows(double depth, long width, long height, double xscale)
{
    const double pixels = double(width) * double(height);
    const auto mb = [pixels](double spacings) { return std::trunc((whole_steps(spacings) + 1.0) * pixels / bytes_per_mb); };
    std::vector<voxel_resolution_row_t> rows;
    const double at_pixel = xscale > 0.0 ? mb(depth / xscale) : 0.0;
    for (long k = 1; k <= voxel_max_step; ++k) {
        const double size = at_pixel / double(k * k * k);
        rows.push_back({wxString::Format("Resolution and spacing = %2li pixel widths       (size = %5.2fMb)", k, size),
                        size, static_cast<int>(k), double(k) * xscale});
    }
    const double at_mm = mb(depth / 0.1);
    for (long m = 1; m <= 20; ++m) {
        const double size = at_mm / double(m);
        rows.push_back({wxString::Format("Resolution = 1 pixel width, spacing = %2li mm   (size = %5.2fMb)", m, size),
                        size, 1, double(m) * 0.1});
    }
    return rows;
}

wxString voxel_recording_path(const wxString& chosen)
{
    return wxFileName(chosen).HasExt() ? chosen : chosen + ".ks";
}

wxString voxel_slice_path(const wxString& chosen, long slice, voxel_output_t type)
{
    const wxFileName name(chosen);
    const wxString ext = name.HasExt() ? name.GetExt() : type_extension(type);
    return wxFileName(name.GetPath(), name.GetName() + wxString::Format("%li.", slice) + ext).GetFullPath();
}

bool export_voxels(const reslice_source& source, const voxel_header_t& header, const voxel_export_request& request)
{
    const voxel_layout_t layout = plan_voxel_export(source, request);
    if (!layout.ok || !volume_fits(layout, request))
        return false;
    const bool recording = request.type == voxel_output_t::recording;
    const wxString path = recording ? voxel_recording_path(request.path) : request.path;
    if (recording && !recording_io_t::recording_target_allowed(path))
        return false;
    const int k = request.step;
    // Colour-flow codes are not quantities: a mean of two codes is a third, unrelated one.
    const voxel_step_rule_t rule = source.doppler ? voxel_step_rule_t::skip : request.step_rule;

    // Slices are independent: a few are built side by side, each by its own
    // reslice, and written in order, so the result never depends on timing.
    const unsigned lanes = voxel_export_threads(request.threads);
    std::vector<std::unique_ptr<reslice_internals>> builders;
    for (unsigned l = 0; l < lanes; ++l) {
        auto r = std::make_unique<reslice_internals>();
        r->set_pixel_size(source.pixel_size);
        // Skipping keeps only every k-th pixel of every k-th row, so only those are built.
        r->set_pixel_step(rule == voxel_step_rule_t::skip ? k : 1);
        r->set_settings(request.settings);
        builders.push_back(std::move(r));
    }
    const reslice_plane plane = builders.front()->plane();

    std::unique_ptr<volume_recording_t> out;
    if (recording) {
        out = std::make_unique<volume_recording_t>(path, header, layout, k * plane.pixel_size());
        if (!out->opened()) {
            wxLogError("Error opening file for writing.\n");
            return false;
        }
    }
    std::unique_ptr<voxel_volume_file_t> volume_file;
    if (is_volume_file_output(request.type)) {
        volume_file = std::make_unique<voxel_volume_file_t>(request, plane, layout);
        if (!volume_file->ok())
            return false;  // it says why
    }
    const auto write_slice = [&](long i, const std::vector<std::uint8_t>& slice) {
        if (recording) {
            const double z = layout.zmin + static_cast<double>(i) * request.spacing;
            bool ok = out->add_slice(plane.reslice_to_world(0.0, 0.0, z), plane, slice);
            for (std::size_t o = 0; ok && source.surface_sections && o < header.objects.size(); ++o)
                if (const auto sections = source.surface_sections(header.objects[o].index, plane, z))
                    ok = out->add_outlines(header.objects[o].index, i, *sections, k);
            return ok;
        }
        if (volume_file)
            return volume_file->add_slice(i, slice);
        return save_slice_image(slice, layout, voxel_slice_path(path, i, request.type), request.type);
    };
    std::unique_ptr<voxel_hole_filler_t> filler;
    if (request.fill_holes > 0.0) {
        filler = std::make_unique<voxel_hole_filler_t>(layout.width, layout.height, k * plane.pixel_size(),
                                                       request.spacing, request.fill_holes, write_slice);
        if (!filler->ok())
            return false;  // it says why
    }

    const int range = static_cast<int>(std::min<long>(layout.slices, INT32_MAX));
    interaction().progress_begin("Export voxels", wxString::Format("Currently exporting slice %d to '%s'.", 0, path),
                                 range);
    const auto build = [&](unsigned lane, long i) {
        const double z = layout.zmin + static_cast<double>(i) * request.spacing;
        builders[lane]->set_settings(moved(request, plane, z));
        return builders[lane]->build_reslice(source);
    };
    std::vector<std::uint8_t> slice;
    std::vector<char> built(lanes);
    bool ok = true;
    for (long first = 0; first < layout.slices && ok; first += lanes) {
        const unsigned count = static_cast<unsigned>(std::min<long>(lanes, layout.slices - first));
        {
            std::vector<std::jthread> helpers;
            for (unsigned l = 1; l < count; ++l)
                helpers.emplace_back([&, l] { built[l] = build(l, first + l); });
            built[0] = build(0, first);
        }
        for (unsigned l = 0; l < count && ok; ++l) {
            const long i = first + l;
            const reslice_internals& reslice = *builders[l];
            const wxString name = recording || volume_file ? path : voxel_slice_path(path, i, request.type);
            ok = interaction().progress_update(static_cast<int>(std::min<long>(i, INT32_MAX)),
                                               wxString::Format("Currently exporting slice %li to '%s'.", i, name)) &&
                 built[l] &&
                 reduce_slice(reslice.image(), reslice.width(), reslice.height(), k, rule, layout.width, layout.height,
                              slice) &&
                 (filler ? filler->add(slice) : write_slice(i, slice));
        }
    }
    if (ok && filler)
        ok = filler->finish();
    interaction().progress_end();
    if (ok && recording)
        ok = out->commit();
    if (ok && volume_file)
        ok = volume_file->commit();
    return ok;
}

voxel_header_t voxel_header_from_session()
{
    voxel_header_t h;
    if (!res)
        return h;
    h.doppler = res->RES_BUF_DOPPLER->value();
    h.masked = static_cast<long>(res->RES_MASKED_DATA->value());
    h.isocentre_date = res->RES_ISOCENTRE_CAL_DATE->value();
    if (const auto& marks = res->RES_LANDMARKS->value())
        h.marks = marks->list;
    if (const auto& objects = res->RES_OBJECT->value())
        for (int i = 0; i < object_table::size && i < resource_t::surface_slots; ++i)
            if (res->RES_SURFACE[static_cast<std::size_t>(i)]->value()) {
                const contour_object& o = (*objects)[i];
                h.objects.push_back({i, o.solid, o.colour, o.opacity, o.name});
            }
    h.isocentre[0] = res->RES_ISOCENTRE_XTRANS->value();
    h.isocentre[1] = res->RES_ISOCENTRE_YTRANS->value();
    h.isocentre[2] = res->RES_ISOCENTRE_ZTRANS->value();
    h.isocentre[3] = res->RES_ISOCENTRE_AZIMUTH->value();
    h.isocentre[4] = res->RES_ISOCENTRE_ELEVATION->value();
    h.isocentre[5] = res->RES_ISOCENTRE_ROLL->value();
    return h;
}

bool export_voxels(const voxel_export_request& request)
{
    voxel_export_request with_values = request;
    const std::optional<slice_volume_t> values =
        is_volume_file_output(request.type) ? stored_values_from_session() : std::nullopt;
    if (values)
        with_values.stored_values = &*values;
    return export_voxels(source_from_session(), voxel_header_from_session(), with_values);
}

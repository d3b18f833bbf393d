#include "voxel_volume_file.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include <wx/log.h>

#include "common/dynabuf.h"
#include "resources/resource_table.h"

namespace {

constexpr double mm_per_cm = 10.0;

volume_file_type_t file_type(voxel_output_t type, bool* gzip)
{
    *gzip = type == voxel_output_t::nrrd_gzip || type == voxel_output_t::nifti_gzip;
    switch (type) {
        case voxel_output_t::metaimage:
            return volume_file_type_t::metaimage;
        case voxel_output_t::nifti:
        case voxel_output_t::nifti_gzip:
            return volume_file_type_t::nifti;
        default:
            return volume_file_type_t::nrrd;
    }
}

std::int16_t to_int16(double v)
{
    return static_cast<std::int16_t>(std::clamp(std::round(v), -32768.0, 32767.0));
}

}  // namespace

volume_file_header_t voxel_volume_header(const reslice_plane& plane, const voxel_layout_t& layout,
                                         const voxel_export_request& request)
{
    volume_file_header_t h;
    h.type = file_type(request.type, &h.gzip);
    h.voxel = request.stored_values ? volume_voxel_t::int16 : volume_voxel_t::uint8;
    h.width = layout.width;
    h.height = layout.height;
    h.depth = layout.slices;
    const double in_plane = mm_per_cm * request.step * plane.pixel_size();
    h.spacing_mm = {in_plane, in_plane, mm_per_cm * request.spacing};
    const vertex3d origin = mm_per_cm * plane.reslice_to_world(0.0, 0.0, layout.zmin);
    h.origin_mm = {origin.x, origin.y, origin.z};
    const vertex3d& e = plane.x_axis();
    const vertex3d& u = plane.up_axis();
    const vertex3d& n = plane.normal();
    h.axes = {e.x, e.y, e.z, u.x, u.y, u.z, n.x, n.y, n.z};
    h.description = request.stored_values ? "Kestrane voxel export, Hounsfield units, LPS mm"
                                          : "Kestrane voxel export, grey levels, LPS mm";
    return h;
}

std::optional<slice_volume_t> stored_values_from_session()
{
    if (!res || !bufp || !res->RES_BUF_DICOM->value() || bufp->frames() < 1 || !bufp->imagecp(0).has_samples())
        return std::nullopt;
    wxString why;
    std::optional<slice_volume_t> values = slice_volume_t::from_session(&why);
    if (!values)
        wxLogWarning("The volume holds the 8-bit display values, not the recording's 16-bit ones: %s.", why);
    return values;
}

voxel_volume_file_t::voxel_volume_file_t(const voxel_export_request& request, const reslice_plane& plane,
                                         const voxel_layout_t& layout)
    : header_(voxel_volume_header(plane, layout, request)),
      values_(request.stored_values),
      lanes_(voxel_export_threads(request.threads)),
      writer_(request.path, header_)
{
    if (values_) {
        no_data_ = to_int16(values_->lowest().value_or(0.0));
        wide_.resize(static_cast<std::size_t>(header_.width) * static_cast<std::size_t>(header_.height));
    }
}

void voxel_volume_file_t::sample_rows(long k, long first_row, long end_row, const std::vector<std::uint8_t>& display)
{
    const auto w = static_cast<std::size_t>(header_.width);
    for (long j = first_row; j < end_row; ++j)
        for (std::size_t i = 0; i < w; ++i) {
            const std::size_t at = static_cast<std::size_t>(j) * w + i;
            std::optional<double> v;
            if (display[at] != 0) {  // where the reslice has no data, neither has the volume
                const auto mm = volume_voxel_position(header_, double(i), double(j), double(k));
                v = values_->sample((1.0 / mm_per_cm) * vertex3d{mm[0], mm[1], mm[2]});
            }
            wide_[at] = v ? to_int16(*v) : no_data_;
        }
}

bool voxel_volume_file_t::add_slice(long k, const std::vector<std::uint8_t>& display)
{
    if (!values_)
        return writer_.write_slice(display.data());
    // Sampling each voxel costs far more than writing it: rows are shared out.
    const long rows = header_.height;
    const long lanes = static_cast<long>(lanes_);
    {
        std::vector<std::jthread> helpers;
        for (long l = 1; l < lanes; ++l)
            helpers.emplace_back([&, l] { sample_rows(k, rows * l / lanes, rows * (l + 1) / lanes, display); });
        sample_rows(k, 0, rows / lanes, display);
    }
    return writer_.write_slice(wide_.data());
}

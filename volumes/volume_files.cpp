#include "volume_files.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <cstring>

#include <wx/filename.h>
#include <zlib.h>

#include "common/matrix16d.h"
#include "common/vertex_math.h"
#include "volumes/dicom_window.h"
#include "volumes/meta_header.h"
#include "volumes/slice_pose.h"
#include "volumes/slice_recording.h"

namespace {

constexpr std::size_t max_header_bytes = 64 * 1024;

bool read_bytes(const wxString& path, std::uint64_t offset, std::vector<std::uint8_t>* out, wxString* why)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in) {
        *why = "cannot open " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::uint64_t size = std::uint64_t(in.tellg());
    if (offset > size) {
        *why = "the data start beyond the end of " + path;
        return false;
    }
    in.seekg(std::streamoff(offset));
    out->resize(std::size_t(size - offset));
    in.read(reinterpret_cast<char*>(out->data()), std::streamsize(out->size()));
    return bool(in) || in.eof();
}

// zlib (window_bits 15) or gzip (31) data inflated to exactly `expected` bytes.
bool inflate_exactly(const std::vector<std::uint8_t>& in, int window_bits, std::size_t expected,
                     std::vector<std::uint8_t>* out, wxString* why)
{
    z_stream z{};
    if (inflateInit2(&z, window_bits) != Z_OK) {
        *why = "the compressed data cannot be inflated";
        return false;
    }
    out->assign(expected, 0);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(std::min<std::size_t>(in.size(), 0xFFFFFFFFu));
    z.next_out = out->data();
    z.avail_out = uInt(std::min<std::size_t>(expected, 0xFFFFFFFFu));
    const int status = inflate(&z, Z_FINISH);
    const std::size_t got = z.total_out;
    inflateEnd(&z);
    if (got != expected || (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR)) {
        *why = wxString::Format("the compressed data give %zu bytes where %zu are needed", got, expected);
        return false;
    }
    return true;
}

// Voxels from the data bytes: 16-bit values of either sign and byte order.
bool take_voxels(const std::vector<std::uint8_t>& data, bool is_signed, bool big, volume_t* v, wxString* why)
{
    const std::uint64_t count = std::uint64_t(v->width) * std::uint64_t(v->height) * std::uint64_t(v->depth);
    if (data.size() < 2 * count) {
        *why = wxString::Format("the data hold %zu bytes where %llu are needed", data.size(),
                                static_cast<unsigned long long>(2 * count));
        return false;
    }
    v->voxels.resize(std::size_t(count));
    for (std::size_t i = 0; i < v->voxels.size(); ++i) {
        const std::uint16_t raw =
            big ? std::uint16_t(data[2 * i] << 8 | data[2 * i + 1]) : std::uint16_t(data[2 * i + 1] << 8 | data[2 * i]);
        v->voxels[i] = is_signed ? std::uint16_t(raw ^ 0x8000) : raw;  // +32768 in two's complement
    }
    v->slope = 1.0;
    v->intercept = is_signed ? -32768.0 : 0.0;
    return true;
}

bool sizes_ok(volume_t* v, const std::vector<double>& dims, wxString* why)
{
    if (dims.size() < 2 || dims.size() > 3 ||
        std::any_of(dims.begin(), dims.end(), [](double d) { return !(d >= 1.0 && d <= 1e6 && d == std::floor(d)); })) {
        *why = "the volume's sizes must be two or three whole numbers from 1 on";
        return false;
    }
    v->width = long(dims[0]);
    v->height = long(dims[1]);
    v->depth = dims.size() == 3 ? long(dims[2]) : 1;
    if (std::uint64_t(v->width) * std::uint64_t(v->height) * std::uint64_t(v->depth) > volume_max_voxels) {
        *why = "the volume is too large";
        return false;
    }
    return true;
}

bool spacing_ok(volume_t* v, const std::vector<double>& s, wxString* why)
{
    if (s.size() < 2 || std::any_of(s.begin(), s.end(), [](double d) { return !(d > 0.0) || !std::isfinite(d); })) {
        *why = "the spacings must be positive numbers";
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i)
        v->spacing_mm[i] = i < s.size() ? s[i] : 1.0;
    return true;
}

}  // namespace

bool read_metaimage(const wxString& path, volume_t* v, wxString* why)
{
    *v = {};
    meta_header_t h;
    if (!read_meta_header(path, false, max_header_bytes, &h, why))
        return false;
    const auto field = [&](const char* k) { return h.fields.count(k) ? h.fields[k] : std::string(); };
    if (!field("objecttype").empty() && lower_case(field("objecttype")) != "image") {
        *why = "the MetaImage object is not an image";
        return false;
    }
    if (!sizes_ok(v, header_numbers(field("dimsize")), why))
        return false;
    const std::string spacing = !field("elementspacing").empty() ? field("elementspacing") : field("elementsize");
    if (!spacing.empty() && !spacing_ok(v, header_numbers(spacing), why))
        return false;
    const std::vector<double> offset = header_numbers(!field("offset").empty() ? field("offset") : field("origin"));
    for (std::size_t i = 0; i < offset.size() && i < 3; ++i)
        v->origin_mm[i] = offset[i];
    const std::string matrix = !field("transformmatrix").empty() ? field("transformmatrix") : field("rotation");
    if (!matrix.empty()) {
        const std::vector<double> m = header_numbers(matrix);
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        bool plain = m.size() == 9 || (m.size() == 4 && v->depth == 1);
        for (std::size_t i = 0; plain && i < m.size(); ++i)
            plain = std::fabs(m[i] - (m.size() == 9 ? identity[i] : (i == 0 || i == 3 ? 1.0 : 0.0))) < 1e-6;
        if (!plain) {
            *why = "turned MetaImage volumes (a TransformMatrix other than the identity) are not read";
            return false;
        }
    }
    const std::string type = field("elementtype");
    if (type != "MET_SHORT" && type != "MET_USHORT") {
        *why =
            "MetaImage elements of type '" + wxString(type.substr(0, 40)) + "' are not read (MET_SHORT or MET_USHORT)";
        return false;
    }
    const bool big = lower_case(field("binarydatabyteordermsb")) == "true" || lower_case(field("elementbyteordermsb")) == "true";
    const std::string file = field("elementdatafile");
    wxString data_path = path;
    std::uint64_t offset_bytes = h.data_offset;
    if (file == "LIST" || file.rfind("LIST ", 0) == 0) {
        *why = "MetaImage volumes in a list of files are not read";
        return false;
    }
    if (file != "LOCAL") {
        if (!data_file_beside(path, file, &data_path, why))
            return false;
        offset_bytes = 0;
    }
    std::vector<std::uint8_t> data;
    if (!read_bytes(data_path, offset_bytes, &data, why))
        return false;
    const std::size_t expected =
        std::size_t(2) * std::size_t(v->width) * std::size_t(v->height) * std::size_t(v->depth);
    if (lower_case(field("compresseddata")) == "true") {
        std::vector<std::uint8_t> inflated;
        if (!inflate_exactly(data, 15, expected, &inflated, why))
            return false;
        data.swap(inflated);
    }
    return take_voxels(data, type == "MET_SHORT", big, v, why);
}

bool read_nrrd(const wxString& path, volume_t* v, wxString* why)
{
    *v = {};
    meta_header_t h;
    if (!read_meta_header(path, true, max_header_bytes, &h, why))
        return false;
    const auto field = [&](const char* k) { return h.fields.count(k) ? h.fields[k] : std::string(); };
    const std::string dimension = field("dimension");
    if (dimension != "3" && dimension != "2") {
        *why = "NRRD volumes of dimension '" + wxString(dimension.substr(0, 20)) + "' are not read";
        return false;
    }
    if (!sizes_ok(v, header_numbers(field("sizes")), why))
        return false;
    const std::string type = lower_case(field("type"));
    const bool is_signed = type == "short" || type == "signed short" || type == "short int" || type == "int16" ||
                           type == "int16_t" || type == "signed short int";
    const bool is_unsigned = type == "unsigned short" || type == "ushort" || type == "uint16" || type == "uint16_t" ||
                             type == "unsigned short int";
    if (!is_signed && !is_unsigned) {
        *why = "NRRD voxels of type '" + wxString(type.substr(0, 40)) + "' are not read (short or unsigned short)";
        return false;
    }
    const std::string endian = lower_case(field("endian"));
    const bool big = endian == "big";
    if (!endian.empty() && endian != "little" && !big) {
        *why = "NRRD endian '" + wxString(endian.substr(0, 20)) + "' is not little or big";
        return false;
    }
    // Axes from the space directions, else from the spacings.
    const std::string directions = field("space directions");
    if (!directions.empty()) {
        const std::vector<double> d = header_numbers(directions);
        const std::size_t n = std::size_t(dimension == "3" ? 3 : 2);
        if (d.size() != 3 * n) {
            *why = "the NRRD space directions are not one vector of three per axis";
            return false;
        }
        for (std::size_t a = 0; a < n; ++a) {
            const vertex3d axis{d[3 * a], d[3 * a + 1], d[3 * a + 2]};
            const double len = length(axis);
            if (!(len > 0.0) || !std::isfinite(len)) {
                *why = "an NRRD space direction is zero or not a number";
                return false;
            }
            v->spacing_mm[a] = len;
            v->axes[3 * a] = axis.x / len;
            v->axes[3 * a + 1] = axis.y / len;
            v->axes[3 * a + 2] = axis.z / len;
        }
    } else if (!field("spacings").empty() && !spacing_ok(v, header_numbers(field("spacings")), why)) {
        return false;
    }
    const std::vector<double> origin = header_numbers(field("space origin"));
    for (std::size_t i = 0; i < origin.size() && i < 3; ++i)
        v->origin_mm[i] = origin[i];
    // Into DICOM's left-posterior-superior frame.
    const std::string space = lower_case(field("space"));
    const bool flip_x = space == "right-anterior-superior" || space == "ras";
    const bool flip_y = flip_x || space == "left-anterior-superior" || space == "las";
    if (flip_x || flip_y) {
        for (std::size_t a = 0; a < 3; ++a) {
            if (flip_x)
                v->axes[3 * a] = -v->axes[3 * a];
            if (flip_y)
                v->axes[3 * a + 1] = -v->axes[3 * a + 1];
        }
        if (flip_x)
            v->origin_mm[0] = -v->origin_mm[0];
        if (flip_y)
            v->origin_mm[1] = -v->origin_mm[1];
    }
    wxString data_path = path;
    std::uint64_t offset_bytes = h.data_offset;
    const std::string detached = !field("data file").empty() ? field("data file") : field("datafile");
    if (!detached.empty()) {
        if (!data_file_beside(path, detached, &data_path, why))
            return false;
        offset_bytes = 0;
    }
    std::vector<std::uint8_t> data;
    if (!read_bytes(data_path, offset_bytes, &data, why))
        return false;
    const std::string encoding = lower_case(field("encoding"));
    const std::size_t expected =
        std::size_t(2) * std::size_t(v->width) * std::size_t(v->height) * std::size_t(v->depth);
    if (encoding == "gzip" || encoding == "gz") {
        std::vector<std::uint8_t> inflated;
        if (!inflate_exactly(data, 31, expected, &inflated, why))
            return false;
        data.swap(inflated);
    } else if (encoding != "raw") {
        *why = "NRRD encoding '" + wxString(encoding.substr(0, 20)) + "' is not read (raw or gzip)";
        return false;
    }
    return take_voxels(data, is_signed, big, v, why);
}

bool read_analyze(const wxString& path, volume_t* v, wxString* why)
{
    *v = {};
    std::vector<std::uint8_t> h;
    if (!read_bytes(path, 0, &h, why))
        return false;
    const auto i32 = [&](std::size_t at) {
        return std::int32_t(std::uint32_t(h[at]) | std::uint32_t(h[at + 1]) << 8 | std::uint32_t(h[at + 2]) << 16 |
                            std::uint32_t(h[at + 3]) << 24);
    };
    const auto i16 = [&](std::size_t at) { return std::int16_t(std::uint16_t(h[at] | h[at + 1] << 8)); };
    const auto f32 = [&](std::size_t at) {
        const std::uint32_t u = std::uint32_t(i32(at));
        float f;
        std::memcpy(&f, &u, sizeof f);
        return double(f);
    };
    // A byte-swapped header fails the first test.
    if (h.size() < 348 || i32(0) != 348 || i32(32) != 16384 || h[38] != 'r') {
        *why = "the file is not an Analyze 7.5 header (sizeof_hdr 348, extents 16384, regular 'r')";
        return false;
    }
    const int datatype = i16(70), bitpix = i16(72);
    if (!((datatype == 2 && bitpix == 8) || (datatype == 4 && bitpix == 16))) {
        *why = wxString::Format("Analyze data type %d with %d bits a voxel is not read (2 with 8, or 4 with 16)",
                                datatype, bitpix);
        return false;
    }
    if (!sizes_ok(v, {double(i16(42)), double(i16(44)), double(i16(46))}, why))
        return false;
    if (!spacing_ok(v, {f32(80), f32(84), f32(88)}, why))
        return false;
    const double vox_offset = f32(108);
    if (!std::isfinite(vox_offset) || std::fabs(vox_offset) > 1e12) {
        *why = "the Analyze voxel offset is not a number";
        return false;
    }
    wxFileName img(path);
    img.SetExt("img");
    std::vector<std::uint8_t> data;
    if (!read_bytes(img.GetFullPath(), 0, &data, why))
        return false;
    const std::uint64_t bytes = std::uint64_t(bitpix / 8);
    const std::uint64_t slice = std::uint64_t(v->width) * std::uint64_t(v->height) * bytes;
    // A negative offset puts its size between consecutive slices.
    const std::uint64_t first = vox_offset >= 0 ? std::uint64_t(vox_offset) : 0;
    const std::uint64_t stride = vox_offset >= 0 ? slice : slice + std::uint64_t(-vox_offset);
    const std::uint64_t end = first + std::uint64_t(v->depth - 1) * stride + slice;
    if (end > data.size()) {
        *why = wxString::Format("the Analyze data hold %zu bytes where %llu are needed", data.size(),
                                static_cast<unsigned long long>(end));
        return false;
    }
    const std::size_t per_slice = std::size_t(v->width) * std::size_t(v->height);
    v->voxels.resize(per_slice * std::size_t(v->depth));
    for (long k = 0; k < v->depth; ++k) {
        const std::uint8_t* src = data.data() + first + std::uint64_t(k) * stride;
        for (std::size_t i = 0; i < per_slice; ++i)
            v->voxels[std::size_t(k) * per_slice + i] =
                bytes == 1 ? src[i] : std::uint16_t((src[2 * i] | src[2 * i + 1] << 8) ^ 0x8000);
    }
    v->intercept = bytes == 1 ? 0.0 : -32768.0;
    return true;
}

std::array<double, 6> volume_slice_pose(const volume_t& v, long k)
{
    const vertex3d u{v.axes[0], v.axes[1], v.axes[2]}, w{v.axes[3], v.axes[4], v.axes[5]};
    const vertex3d n{v.axes[6], v.axes[7], v.axes[8]};
    // A left-handed set of axes cannot be a rotation: the slices are stacked
    // along u x w, the way the third axis points.
    const vertex3d normal = cross(u, w);
    const double along = dot(normal, n) < 0 ? -v.spacing_mm[2] : v.spacing_mm[2];
    const vertex3d origin{v.origin_mm[0], v.origin_mm[1], v.origin_mm[2]};
    return slice_pose(u, w, 0.1 * (origin + (double(k) * along) * normal));
}

bool is_volume_file(const wxString& path)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    return !wxFileName::DirExists(path) &&
           (ext == "mha" || ext == "mhd" || ext == "nrrd" || ext == "nhdr" || ext == "hdr");
}

bool read_volume_file(const wxString& path, volume_t* volume, wxString* why)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    return ext == "mha" || ext == "mhd" ? read_metaimage(path, volume, why)
           : ext == "hdr"               ? read_analyze(path, volume, why)
                                        : read_nrrd(path, volume, why);
}

bool volume_slices(const volume_t& v, slice_stack_t* stack, wxString* why)
{
    slice_stack_t out;
    out.columns = v.width;
    out.rows = v.height;
    out.column_spacing_mm = v.spacing_mm[0];
    out.row_spacing_mm = v.spacing_mm[1];
    out.slope = v.slope;
    out.intercept = v.intercept;
    const std::size_t slice = std::size_t(v.width) * std::size_t(v.height);
    for (long k = 0; k < v.depth; ++k) {
        cip_t image = cip_t::make_16bit(v.width, v.height);
        if (image.empty()) {
            *why = "Error: unable to allocate space for image data";
            return false;
        }
        std::copy_n(v.voxels.data() + std::size_t(k) * slice, slice, image.samples());
        out.images.push_back(image);
        out.poses.push_back(pose_record(volume_slice_pose(v, k)));
    }
    *stack = std::move(out);
    return true;
}

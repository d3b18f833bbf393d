#include "volume_files_out.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <wx/filename.h>
#include <wx/log.h>

#include "deflate_writer.h"

namespace {

constexpr long nifti_max_size = 32767;  // its sizes are 16-bit
constexpr std::size_t nifti_header_bytes = 348;
constexpr std::size_t nifti_data_offset = 352;  // the header and four bytes saying "no extensions"

// The shortest text that reads back as the same double; -0 written as 0.
std::string number(double v)
{
    if (v == 0.0)
        v = 0.0;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}

std::string vector_text(const double* v, const char* separator)
{
    return number(v[0]) + separator + number(v[1]) + separator + number(v[2]);
}

std::string single_line(const wxString& text)
{
    std::string s(text.utf8_str().data());
    std::replace_if(
        s.begin(), s.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return s;
}

wxString lower_name(const wxString& path)
{
    return wxFileName(path).GetFullName().Lower();
}

// Little-endian fields of a binary header.
class header_bytes_t {
public:
    explicit header_bytes_t(std::size_t size) : bytes_(size, 0) {}
    void put_u8(std::size_t at, std::uint8_t v) { bytes_[at] = v; }
    void put_i16(std::size_t at, std::int16_t v) { put(at, static_cast<std::uint16_t>(v), 2); }
    void put_i32(std::size_t at, std::int32_t v) { put(at, static_cast<std::uint32_t>(v), 4); }
    void put_f32(std::size_t at, double v) { put(at, std::bit_cast<std::uint32_t>(static_cast<float>(v)), 4); }
    void put_text(std::size_t at, const std::string& s, std::size_t room)
    {
        std::memcpy(bytes_.data() + at, s.data(), std::min(s.size(), room - 1));  // NUL-ended
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    void put(std::size_t at, std::uint32_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            bytes_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    std::vector<std::uint8_t> bytes_;
};

// The rotation r (columns the axes) as the NIfTI quaternion b, c, d and qfac.
void nifti_quaternion(double r[3][3], double* b, double* c, double* d, double* qfac)
{
    const double det = r[0][0] * (r[1][1] * r[2][2] - r[1][2] * r[2][1]) -
                       r[0][1] * (r[1][0] * r[2][2] - r[1][2] * r[2][0]) +
                       r[0][2] * (r[1][0] * r[2][1] - r[1][1] * r[2][0]);
    *qfac = det < 0.0 ? -1.0 : 1.0;
    if (det < 0.0)  // a left-handed set: its third axis is stored reversed, by qfac
        for (int i = 0; i < 3; ++i)
            r[i][2] = -r[i][2];
    double a = r[0][0] + r[1][1] + r[2][2] + 1.0;
    if (a > 0.5) {
        a = 0.5 * std::sqrt(a);
        *b = 0.25 * (r[2][1] - r[1][2]) / a;
        *c = 0.25 * (r[0][2] - r[2][0]) / a;
        *d = 0.25 * (r[1][0] - r[0][1]) / a;
        return;
    }
    const double xd = 1.0 + r[0][0] - (r[1][1] + r[2][2]);
    const double yd = 1.0 + r[1][1] - (r[0][0] + r[2][2]);
    const double zd = 1.0 + r[2][2] - (r[0][0] + r[1][1]);
    if (xd > 1.0) {
        *b = 0.5 * std::sqrt(xd);
        *c = 0.25 * (r[0][1] + r[1][0]) / *b;
        *d = 0.25 * (r[0][2] + r[2][0]) / *b;
        a = 0.25 * (r[2][1] - r[1][2]) / *b;
    } else if (yd > 1.0) {
        *c = 0.5 * std::sqrt(yd);
        *b = 0.25 * (r[0][1] + r[1][0]) / *c;
        *d = 0.25 * (r[1][2] + r[2][1]) / *c;
        a = 0.25 * (r[0][2] - r[2][0]) / *c;
    } else {
        *d = 0.5 * std::sqrt(zd);
        *b = 0.25 * (r[0][2] + r[2][0]) / *d;
        *c = 0.25 * (r[1][2] + r[2][1]) / *d;
        a = 0.25 * (r[1][0] - r[0][1]) / *d;
    }
    if (a < 0.0) {  // the same rotation with a >= 0, as the format wants
        *b = -*b;
        *c = -*c;
        *d = -*d;
    }
}

std::vector<std::uint8_t> nifti_header(const volume_file_header_t& h)
{
    header_bytes_t out(nifti_data_offset);  // the four bytes after the header stay 0: no extensions
    out.put_i32(0, static_cast<std::int32_t>(nifti_header_bytes));
    out.put_text(38, "r", 2);
    const long dims[8] = {3, h.width, h.height, h.depth, 1, 1, 1, 1};
    for (std::size_t i = 0; i < 8; ++i)
        out.put_i16(40 + 2 * i, static_cast<std::int16_t>(dims[i]));
    const bool wide = h.voxel == volume_voxel_t::int16;
    out.put_i16(70, wide ? 4 : 2);   // DT_INT16 or DT_UINT8
    out.put_i16(72, wide ? 16 : 8);  // bits a voxel
    // RAS is LPS with x and y negated.
    double r[3][3];
    double offset[3];
    for (std::size_t row = 0; row < 3; ++row) {
        const double sign = row < 2 ? -1.0 : 1.0;
        for (std::size_t axis = 0; axis < 3; ++axis)
            r[row][axis] = sign * h.axes[3 * axis + row];
        offset[row] = sign * h.origin_mm[row];
    }
    double rotation[3][3];
    std::memcpy(rotation, r, sizeof r);
    double qb = 0, qc = 0, qd = 0, qfac = 1;
    nifti_quaternion(rotation, &qb, &qc, &qd, &qfac);
    out.put_f32(76, qfac);
    for (std::size_t i = 0; i < 3; ++i)
        out.put_f32(80 + 4 * i, h.spacing_mm[i]);
    out.put_f32(108, static_cast<double>(nifti_data_offset));
    out.put_f32(112, 1.0);  // scl_slope, scl_inter: the values as stored
    out.put_f32(116, 0.0);
    out.put_u8(123, 2);  // xyzt_units: NIFTI_UNITS_MM
    out.put_text(148, single_line(h.description), 80);
    out.put_i16(252, 1);  // qform and sform: NIFTI_XFORM_SCANNER_ANAT
    out.put_i16(254, 1);
    out.put_f32(256, qb);
    out.put_f32(260, qc);
    out.put_f32(264, qd);
    for (std::size_t i = 0; i < 3; ++i)
        out.put_f32(268 + 4 * i, offset[i]);
    for (std::size_t row = 0; row < 3; ++row) {
        for (std::size_t axis = 0; axis < 3; ++axis)
            out.put_f32(280 + 16 * row + 4 * axis, r[row][axis] * h.spacing_mm[axis]);
        out.put_f32(280 + 16 * row + 12, offset[row]);
    }
    out.put_text(344, "n+1", 4);
    return out.bytes();
}

std::string nrrd_header(const volume_file_header_t& h)
{
    std::string s = "NRRD0004\n";
    if (!h.description.empty())
        s += "# " + single_line(h.description) + "\n";
    s += h.voxel == volume_voxel_t::int16 ? "type: int16\n" : "type: uint8\n";
    s += "dimension: 3\nspace: left-posterior-superior\n";
    s += "sizes: " + std::to_string(h.width) + " " + std::to_string(h.height) + " " + std::to_string(h.depth) + "\n";
    s += "space directions:";
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double d[3] = {h.axes[3 * axis] * h.spacing_mm[axis], h.axes[3 * axis + 1] * h.spacing_mm[axis],
                             h.axes[3 * axis + 2] * h.spacing_mm[axis]};
        s += " (" + vector_text(d, ",") + ")";
    }
    s += "\nkinds: domain domain domain\n";
    if (h.voxel == volume_voxel_t::int16)
        s += "endian: little\n";
    s += h.gzip ? "encoding: gzip\n" : "encoding: raw\n";
    s += "space origin: (" + vector_text(h.origin_mm.data(), ",") + ")\n";
    s += "space units: \"mm\" \"mm\" \"mm\"\n\n";
    return s;
}

std::string metaimage_header(const volume_file_header_t& h)
{
    std::string s = "ObjectType = Image\nNDims = 3\n";
    if (!h.description.empty())
        s += "Comment = " + single_line(h.description) + "\n";
    s += "BinaryData = True\nBinaryDataByteOrderMSB = False\nCompressedData = False\n";
    // Three numbers an axis: its direction, as ITK reads them.
    s += "TransformMatrix = " + vector_text(&h.axes[0], " ") + " " + vector_text(&h.axes[3], " ") + " " +
         vector_text(&h.axes[6], " ") + "\n";
    s += "Offset = " + vector_text(h.origin_mm.data(), " ") + "\n";
    s += "CenterOfRotation = 0 0 0\n";
    s += "ElementSpacing = " + vector_text(h.spacing_mm.data(), " ") + "\n";
    s += "DimSize = " + std::to_string(h.width) + " " + std::to_string(h.height) + " " + std::to_string(h.depth) + "\n";
    s += h.voxel == volume_voxel_t::int16 ? "ElementType = MET_SHORT\n" : "ElementType = MET_UCHAR\n";
    s += "ElementDataFile = LOCAL\n";
    return s;
}

}  // namespace

std::optional<volume_file_type_t> volume_file_type_for(const wxString& path, bool* gzip)
{
    const wxString name = lower_name(path);
    *gzip = false;
    if (name.EndsWith(".nrrd"))
        return volume_file_type_t::nrrd;
    if (name.EndsWith(".mha"))
        return volume_file_type_t::metaimage;
    if (name.EndsWith(".nii"))
        return volume_file_type_t::nifti;
    if (name.EndsWith(".nii.gz")) {
        *gzip = true;
        return volume_file_type_t::nifti;
    }
    return std::nullopt;
}

std::array<double, 3> volume_voxel_position(const volume_file_header_t& h, double i, double j, double k)
{
    const double at[3] = {i * h.spacing_mm[0], j * h.spacing_mm[1], k * h.spacing_mm[2]};
    std::array<double, 3> p = h.origin_mm;
    for (std::size_t axis = 0; axis < 3; ++axis)
        for (std::size_t c = 0; c < 3; ++c)
            p[c] += at[axis] * h.axes[3 * axis + c];
    return p;
}

volume_file_writer_t::volume_file_writer_t(const wxString& path, const volume_file_header_t& header)
    : header_(header), file_(path)
{
    if (!file_.ok()) {
        wxLogError("Could not write the volume %s: %s", path, file_.error_text());
        return;
    }
    ok_ = check_header() && write_header();
}

volume_file_writer_t::~volume_file_writer_t() = default;

bool volume_file_writer_t::check_header()
{
    const volume_file_header_t& h = header_;
    wxString why;
    const bool nifti = h.type == volume_file_type_t::nifti;
    const auto finite = [](const auto& values) {
        return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    };
    if (h.width < 1 || h.height < 1 || h.depth < 1)
        why = wxString::Format("a volume of %ld x %ld x %ld voxels has nothing in it", h.width, h.height, h.depth);
    else if (nifti && std::max({h.width, h.height, h.depth}) > nifti_max_size)
        why = wxString::Format("NIfTI holds at most %ld voxels along an axis (this volume is %ld x %ld x %ld)",
                               nifti_max_size, h.width, h.height, h.depth);
    else if (!finite(h.spacing_mm) ||
             std::any_of(h.spacing_mm.begin(), h.spacing_mm.end(), [](double s) { return !(s > 0.0); }))
        why = "the voxel spacing is not a positive distance";
    else if (!finite(h.origin_mm) || !finite(h.axes))
        why = "the volume's position is not a number";
    for (std::size_t a = 0; why.empty() && a < 3; ++a)
        for (std::size_t b = a; b < 3; ++b) {
            double dot = 0.0;
            for (std::size_t c = 0; c < 3; ++c)
                dot += h.axes[3 * a + c] * h.axes[3 * b + c];
            // Readers that keep a rotation (NIfTI's quaternion, ITK's direction) need unit axes at right angles.
            if (std::fabs(dot - (a == b ? 1.0 : 0.0)) > 1e-6)
                why = "the volume's axes are not of unit length at right angles";
        }
    if (!why.empty())
        wxLogError("Could not write the volume %s: %s.", file_.target(), why);
    return why.empty();
}

bool volume_file_writer_t::write_header()
{
    bool written = false;
    switch (header_.type) {
        case volume_file_type_t::nrrd: {
            const std::string text = nrrd_header(header_);
            written = put(text.data(), text.size());
            break;
        }
        case volume_file_type_t::metaimage: {
            const std::string text = metaimage_header(header_);
            written = put(text.data(), text.size());
            break;
        }
        case volume_file_type_t::nifti: {
            // A .nii.gz is the whole file compressed, header included.
            if (header_.gzip)
                gzip_ = std::make_unique<deflate_writer_t>(file_, true);
            const std::vector<std::uint8_t> bytes = nifti_header(header_);
            written = put(bytes.data(), bytes.size());
            break;
        }
    }
    // NRRD compresses only the data after its text header.
    if (written && header_.gzip && !gzip_)
        gzip_ = std::make_unique<deflate_writer_t>(file_, true);
    if (written && gzip_ && !gzip_->ready())
        written = false;
    if (!written)
        wxLogError("Could not write the volume %s: %s", file_.target(), file_.error_text());
    return written;
}

bool volume_file_writer_t::put(const void* data, std::size_t length)
{
    return gzip_ ? gzip_->write(data, length) : file_.write(data, length);
}

bool volume_file_writer_t::next_slice(volume_voxel_t type)
{
    if (!ok_)
        return false;
    if (type != header_.voxel || slices_written_ >= header_.depth) {
        wxLogError("Could not write the volume %s: slice %ld is not one of its %ld slices of %s voxels.",
                   file_.target(), slices_written_, header_.depth,
                   header_.voxel == volume_voxel_t::int16 ? "16-bit" : "8-bit");
        ok_ = false;
        return false;
    }
    return true;
}

bool volume_file_writer_t::write_slice(const std::uint8_t* voxels)
{
    if (!next_slice(volume_voxel_t::uint8))
        return false;
    ok_ = put(voxels, static_cast<std::size_t>(header_.width) * static_cast<std::size_t>(header_.height));
    if (!ok_)
        wxLogError("Could not write the volume %s: %s", file_.target(), file_.error_text());
    ++slices_written_;
    return ok_;
}

bool volume_file_writer_t::write_slice(const std::int16_t* voxels)
{
    if (!next_slice(volume_voxel_t::int16))
        return false;
    const std::size_t count = static_cast<std::size_t>(header_.width) * static_cast<std::size_t>(header_.height);
    if constexpr (std::endian::native == std::endian::little) {
        ok_ = put(voxels, count * sizeof(std::int16_t));
    } else {
        std::vector<std::uint8_t> little(2 * count);
        for (std::size_t i = 0; i < count; ++i) {
            const auto v = static_cast<std::uint16_t>(voxels[i]);
            little[2 * i] = static_cast<std::uint8_t>(v);
            little[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        ok_ = put(little.data(), little.size());
    }
    if (!ok_)
        wxLogError("Could not write the volume %s: %s", file_.target(), file_.error_text());
    ++slices_written_;
    return ok_;
}

bool volume_file_writer_t::commit()
{
    if (!ok_)
        return false;
    if (slices_written_ != header_.depth) {
        wxLogError("Could not write the volume %s: %ld of its %ld slices were written.", file_.target(),
                   slices_written_, header_.depth);
        return false;
    }
    if ((gzip_ && !gzip_->finish()) || !file_.commit()) {
        wxLogError("Could not write the volume %s: %s", file_.target(), file_.error_text());
        return false;
    }
    return true;
}

#include "image_to_probe.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>

#include <wx/filename.h>

#include "common/vertex_math.h"
#include "volumes/meta_header.h"

namespace {

constexpr std::size_t max_xml_bytes = 16 << 20;

double at(const row_major16_t& m, int row, int col)
{
    return m[std::size_t(4 * row + col)];
}

vertex3d column3(const row_major16_t& m, int col)
{
    return {at(m, 0, col), at(m, 1, col), at(m, 2, col)};
}

// The value of attribute `name` in the text of one element's start tag, or nothing.
bool attribute(const std::string& tag, const std::string& name, std::string* value)
{
    for (std::size_t at_name = tag.find(name); at_name != std::string::npos; at_name = tag.find(name, at_name + 1)) {
        const bool starts_word = at_name > 0 && std::isspace(static_cast<unsigned char>(tag[at_name - 1]));
        std::size_t i = at_name + name.size();
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (!starts_word || i >= tag.size() || tag[i] != '=')
            continue;
        ++i;
        while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i])))
            ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\''))
            continue;
        const std::size_t end = tag.find(tag[i], i + 1);
        if (end == std::string::npos)
            return false;
        *value = tag.substr(i + 1, end - i - 1);
        return true;
    }
    return false;
}

bool last_row_ok(const row_major16_t& m)
{
    return std::fabs(at(m, 3, 0)) < 1e-6 && std::fabs(at(m, 3, 1)) < 1e-6 && std::fabs(at(m, 3, 2)) < 1e-6 &&
           std::fabs(at(m, 3, 3) - 1.0) < 1e-6;
}

}  // namespace

bool parse_matrix16(const std::string& text, row_major16_t* m, wxString* why)
{
    const std::vector<double> v = header_numbers(text);
    if (v.size() != 16) {
        *why = "a transform must be 16 finite numbers, not '" + wxString(text.substr(0, 120)) + "'";
        return false;
    }
    std::copy(v.begin(), v.end(), m->begin());
    return true;
}

bool read_image_to_probe_xml(const wxString& path, const std::string& to_tool, row_major16_t* m, wxString* why)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in) {
        *why = "cannot open " + path;
        return false;
    }
    std::string text;
    text.resize(max_xml_bytes + 1);
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(std::size_t(in.gcount()));
    if (text.size() > max_xml_bytes) {
        *why = path + " is larger than a device-set file can be (16 MB)";
        return false;
    }
    const std::string wanted_to = lower_case(to_tool);
    for (std::size_t open = text.find("<Transform"); open != std::string::npos;
         open = text.find("<Transform", open + 1)) {
        const std::size_t close = text.find('>', open);
        if (close == std::string::npos)
            break;
        const std::string tag = text.substr(open, close - open);
        if (tag.size() <= 10 || !std::isspace(static_cast<unsigned char>(tag[10])))
            continue;  // <Transforms>, <TransformRepository>: other elements
        std::string from, to, matrix;
        if (!attribute(tag, "From", &from) || !attribute(tag, "To", &to) || lower_case(from) != "image" ||
            lower_case(to) != wanted_to)
            continue;
        if (!attribute(tag, "Matrix", &matrix)) {
            *why = "the Image to " + wxString(to_tool) + " transform in " + path + " has no Matrix";
            return false;
        }
        return parse_matrix16(matrix, m, why);
    }
    *why = path + " has no <Transform From=\"Image\" To=\"" + wxString(to_tool) + "\" Matrix=\"...\"> element";
    return false;
}

bool image_to_probe_from_argument(const wxString& argument, const std::string& to_tool, row_major16_t* m, wxString* why)
{
    if (wxFileName::FileExists(argument))
        return read_image_to_probe_xml(argument, to_tool, m, why);
    if (header_numbers(argument.ToStdString()).empty()) {
        *why = "'" + argument.Left(120) + "' is neither a file nor 16 numbers";
        return false;
    }
    return parse_matrix16(argument.ToStdString(), m, why);
}

bool fit_probe_calibration(const row_major16_t& m, probe_calibration_fit_t* fit, wxString* why)
{
    if (!std::all_of(m.begin(), m.end(), [](double v) { return std::isfinite(v); }) || !last_row_ok(m)) {
        *why = "the image-to-probe matrix must be finite with a last row of 0 0 0 1";
        return false;
    }
    const vertex3d a = column3(m, 0), b = column3(m, 1);
    // [a b] = [r1 r2]·S with S = sqrt(G), G the 2x2 Gram matrix; for a 2x2
    // positive definite G, sqrt(G) = (G + sqrt(det G)·I) / sqrt(trace G + 2·sqrt(det G)).
    const double g00 = dot(a, a), g01 = dot(a, b), g11 = dot(b, b);
    const double det = g00 * g11 - g01 * g01;
    if (!(det > 1e-12 * std::max(1.0, g00 * g11))) {
        *why = "the image-to-probe matrix's first two columns do not span the image plane";
        return false;
    }
    const double root_det = std::sqrt(det);
    const double scale = std::sqrt(g00 + g11 + 2.0 * root_det);
    const double s00 = (g00 + root_det) / scale, s01 = g01 / scale, s11 = (g11 + root_det) / scale;
    // S^-1 = [s11 -s01; -s01 s00] / det S.
    const double det_s = s00 * s11 - s01 * s01;
    const vertex3d r1 = (1.0 / det_s) * (s11 * a - s01 * b);
    const vertex3d r2 = (1.0 / det_s) * (s00 * b - s01 * a);
    const vertex3d r3 = cross(r1, r2);
    const matrix16d cm = matrix_of_axes(r1, r2, r3, 0.1 * column3(m, 3));
    cm.decompose(&fit->pose[0], &fit->pose[1], &fit->pose[2], &fit->pose[3], &fit->pose[4], &fit->pose[5]);
    fit->sx = s00 / 10.0;
    fit->sy = s11 / 10.0;
    fit->shear_mm = s01;
    return true;
}

double calibration_residual_mm(const row_major16_t& m, const probe_calibration_fit_t& fit, long width, long height)
{
    matrix16d cal;
    cal.forward(fit.pose[0], fit.pose[1], fit.pose[2], fit.pose[3], fit.pose[4], fit.pose[5]);
    double worst = 0.0;
    for (const double u : {0.0, double(width)})
        for (const double v : {0.0, double(height)}) {
            const vertex3d exact = u * column3(m, 0) + v * column3(m, 1) + column3(m, 3);
            const vertex3d fitted = 10.0 * (cal * vertex3d{u * fit.sx, v * fit.sy, 0.0});
            worst = std::max(worst, length(exact - fitted));
        }
    return worst;
}

row_major16_t image_to_probe_matrix(const std::array<double, 6>& pose, double sx, double sy)
{
    matrix16d cal;
    cal.forward(pose[0], pose[1], pose[2], pose[3], pose[4], pose[5]);
    const double scale[3] = {10.0 * sx, 10.0 * sy, 10.0 * sx};
    row_major16_t m{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            m[std::size_t(4 * row + col)] = cal[4 * col + row] * scale[col];
        m[std::size_t(4 * row + 3)] = 10.0 * cal[12 + row];
    }
    m[15] = 1.0;
    return m;
}

bool rigid_cm_from_row_major_mm(const row_major16_t& m, matrix16d* cm, wxString* why)
{
    if (!std::all_of(m.begin(), m.end(), [](double v) { return std::isfinite(v); })) {
        *why = "a number is not finite";
        return false;
    }
    if (!last_row_ok(m)) {
        *why = "the last row is not 0 0 0 1";
        return false;
    }
    const vertex3d c0 = column3(m, 0), c1 = column3(m, 1), c2 = column3(m, 2);
    const double worst =
        std::max({std::fabs(dot(c0, c0) - 1.0), std::fabs(dot(c1, c1) - 1.0), std::fabs(dot(c2, c2) - 1.0),
                  std::fabs(dot(c0, c1)), std::fabs(dot(c0, c2)), std::fabs(dot(c1, c2))});
    if (worst > 1e-4 || dot(cross(c0, c1), c2) < 0.0) {
        *why = "the rotation is not orthonormal and right-handed";
        return false;
    }
    *cm = matrix_of_axes(c0, c1, c2, 0.1 * column3(m, 3));
    return true;
}

row_major16_t row_major_mm_from_rigid_cm(const matrix16d& cm)
{
    row_major16_t m{};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col)
            m[std::size_t(4 * row + col)] = cm[4 * col + row];
        m[std::size_t(4 * row + 3)] = 10.0 * cm[12 + row];
    }
    m[15] = 1.0;
    return m;
}

#include "surface_files.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <wx/filename.h>
#include <wx/log.h>

#include "common/vertex_math.h"
#include "resources/safe_file.h"
#include "surfaces/surface_geometry.h"
#include "surfaces/surface_comments.h"

namespace {

// Collects output and hands it to the safe file in large pieces, so that a
// big surface is never held twice in memory. A failure sticks.
class chunk_writer {
public:
    explicit chunk_writer(safe_file_t& file) : file_(file) { buffer_.reserve(chunk); }
    std::string& text() { return buffer_; }
    bool flush_if_full() { return buffer_.size() < chunk || flush(); }
    bool flush()
    {
        if (ok_ && !buffer_.empty())
            ok_ = file_.write(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok_;
    }
    bool ok() const { return ok_; }

private:
    static constexpr std::size_t chunk = 1 << 16;
    safe_file_t& file_;
    std::string buffer_;
    bool ok_ = true;
};

bool finite(const vertex3d& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

bool usable(const surface_mesh_t& mesh, const wxString& path)
{
    if (mesh.points.size() > UINT32_MAX) {
        wxLogError("Could not save the surface %s: it has more points than a file can index.", path);
        return false;
    }
    for (std::size_t i = 0; i < mesh.points.size(); ++i)
        if (!finite(mesh.points[i].position) || !finite(mesh.points[i].normal)) {
            wxLogError("Could not save the surface %s: point %zu is not a finite position.", path, i);
            return false;
        }
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i)
        for (std::uint32_t p : mesh.triangles[i].points)
            if (p >= mesh.points.size()) {
                wxLogError("Could not save the surface %s: triangle %zu refers to point %u of %zu.", path, i,
                           p, mesh.points.size());
                return false;
            }
    return true;
}

std::vector<std::string> comment_lines(const surface_save_t& how)
{
    static const landmarks no_marks;
    static const curve_set no_curves;
    std::vector<std::string> lines =
        surface_comment_lines(how.marks ? *how.marks : no_marks, how.object, how.curves ? *how.curves : no_curves);
    if (how.extra_comments)
        for (std::string line : *how.extra_comments) {
            // A line break would end the comment early and corrupt the header.
            for (char& c : line)
                if (c == '\n' || c == '\r')
                    c = ' ';
            lines.push_back(std::move(line));
        }
    return lines;
}

void append_triple(std::string& out, const char* indent, double a, double b, double c, int decimals)
{
    out += indent;
    append_fixed(out, a, decimals);
    out += ' ';
    append_fixed(out, b, decimals);
    out += ' ';
    append_fixed(out, c, decimals);
    out += '\n';
}

void append_colour(std::string& out, const char* prefix, rgb_t c)
{
    append_triple(out, prefix, c.r / 255.0, c.g / 255.0, c.b / 255.0, 3);
}

double transparency(double opacity)
{
    return std::isfinite(opacity) ? std::clamp(1.0 - opacity, 0.0, 1.0) : 0.0;
}

// The parts both VRML versions share; false once a write failed.
bool write_points(chunk_writer& out, const surface_mesh_t& mesh)
{
    for (const surface_point_t& p : mesh.points) {
        append_triple(out.text(), "   ", p.position.x, p.position.y, p.position.z, 5);
        if (!out.flush_if_full())
            return false;
    }
    return true;
}

bool write_normals(chunk_writer& out, const surface_mesh_t& mesh)
{
    for (const surface_point_t& p : mesh.points) {
        append_triple(out.text(), "   ", p.normal.x, p.normal.y, p.normal.z, 5);
        if (!out.flush_if_full())
            return false;
    }
    return true;
}

bool write_faces(chunk_writer& out, const surface_mesh_t& mesh)
{
    for (const surface_triangle_t& t : mesh.triangles) {
        out.text() += "   " + std::to_string(t.points[0]) + ", " + std::to_string(t.points[1]) + ", " +
                      std::to_string(t.points[2]) + ", -1\n";
        if (!out.flush_if_full())
            return false;
    }
    return true;
}

void write_vrml_comments(chunk_writer& out, const surface_save_t& how)
{
    for (const std::string& line : comment_lines(how))
        out.text() += "# " + line + "\n";
}

bool write_vrml1(chunk_writer& out, const surface_mesh_t& mesh, const surface_save_t& how)
{
    std::string& s = out.text();
    s += "#VRML V1.0 ascii\n\n";
    write_vrml_comments(out, how);
    s += "Separator {\n"
         " ShapeHints {\n"
         "  vertexOrdering COUNTERCLOCKWISE\n"
         "  shapeType SOLID\n"
         "  faceType CONVEX\n"
         " }\n"
         " MaterialBinding {\n"
         "  value OVERALL\n"
         " }\n"
         " Material {\n"
         "  ambientColor 0.2 0.2 0.2\n";
    append_colour(s, "  diffuseColor ", how.colour);
    s += "  specularColor 0.1 0.1 0.1\n"
         "  emissiveColor 0 0 0\n"
         "  shininess     0.2\n"
         "  transparency  ";
    append_fixed(s, transparency(how.opacity), 3);
    s += "\n }\n"
         " Coordinate3 {\n"
         "  point [\n";
    if (!write_points(out, mesh))
        return false;
    out.text() += "  ]\n }\n"
                  " NormalBinding {\n"
                  "  value PER_VERTEX_INDEXED\n"
                  " }\n"
                  " Normal {\n"
                  "  vector [\n";
    if (!write_normals(out, mesh))
        return false;
    out.text() += "  ]\n }\n"
                  " IndexedFaceSet {\n"
                  "  coordIndex [\n";
    if (!write_faces(out, mesh))
        return false;
    out.text() += "  ]\n }\n}\n";
    return out.flush();
}

bool write_vrml2(chunk_writer& out, const surface_mesh_t& mesh, const surface_save_t& how)
{
    std::string& s = out.text();
    s += "#VRML V2.0 utf8\n\n";
    write_vrml_comments(out, how);
    s += "Transform { children [ Shape {\n"
         " appearance Appearance { material Material {\n"
         "  ambientIntensity 0.2\n";
    append_colour(s, "  diffuseColor ", how.colour);
    s += "  transparency ";
    append_fixed(s, transparency(how.opacity), 3);
    s += "\n } }\n"
         " geometry IndexedFaceSet {\n"
         "  coord Coordinate { point [\n";
    if (!write_points(out, mesh))
        return false;
    out.text() += "  ] }\n"
                  "  normal Normal { vector [\n";
    if (!write_normals(out, mesh))
        return false;
    out.text() += "  ] }\n"
                  "  coordIndex [\n";
    if (!write_faces(out, mesh))
        return false;
    out.text() += "  ]\n";
    if (mesh.coloured()) {
        out.text() += "  colorPerVertex TRUE\n"
                      "  color Color { color [\n";
        for (const rgb_t& c : mesh.colours) {
            append_colour(out.text(), "   ", c);
            if (!out.flush_if_full())
                return false;
        }
        out.text() += "  ] }\n";
    }
    out.text() += " }\n} ] }\n";
    return out.flush();
}

// The little-endian bytes of v at p, whatever the host's order; past them.
char* put_le(char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
    return p + 4;
}

void append_le(std::string& out, std::uint32_t v)
{
    char bytes[4];
    out.append(bytes, put_le(bytes, v));
}

// Each step of the header is flushed on its own so that a failure is named by the step.
bool write_ply(chunk_writer& out, const surface_mesh_t& mesh, const surface_save_t& how)
{
    const auto step = [&out](const char* failure) {
        if (out.flush())
            return true;
        wxLogError("%s", failure);
        return false;
    };
    out.text() += "ply\nformat binary_little_endian 1.0\n";
    for (const std::string& line : comment_lines(how))
        out.text() += "comment " + line + "\n";
    if (!step("Could not add comment to ply file"))
        return false;
    out.text() += "element vertex " + std::to_string(mesh.points.size()) + "\n";
    if (!step("Could not add element to ply file"))
        return false;
    for (const char* name : {"x", "y", "z", "nx", "ny", "nz"})
        out.text() += std::string("property float ") + name + "\n";
    for (const char* name : {"red", "green", "blue"})
        out.text() += std::string("property uchar ") + name + "\n";
    if (!step("Could not add property to ply file"))
        return false;
    out.text() += "element face " + std::to_string(mesh.triangles.size()) + "\n";
    if (!step("Could not add element to ply file"))
        return false;
    out.text() += "property list uchar uint vertex_indices\n";
    if (!step("Could not add property to ply file"))
        return false;
    out.text() += "end_header\n";
    if (!step("Could not write header to ply file"))
        return false;

    const bool coloured = mesh.coloured();
    // Records are put together whole and appended at once: surfaces of a
    // million points are common, and a byte at a time was most of the saving.
    for (std::size_t i = 0; i < mesh.points.size(); ++i) {
        const surface_point_t& p = mesh.points[i];
        char record[6 * 4 + 3];
        char* at = record;
        for (double v : {p.position.x, p.position.y, p.position.z, p.normal.x, p.normal.y, p.normal.z})
            at = put_le(at, std::bit_cast<std::uint32_t>(static_cast<float>(v)));
        const rgb_t c = coloured ? mesh.colours[i] : how.colour;
        for (std::uint8_t v : {c.r, c.g, c.b})
            *at++ = static_cast<char>(v);
        out.text().append(record, at);
        if (!out.flush_if_full()) {
            wxLogError("Could not write vertex to ply file");
            return false;
        }
    }
    if (!step("Could not write vertex to ply file"))
        return false;
    for (const surface_triangle_t& t : mesh.triangles) {
        char record[1 + 3 * 4];
        char* at = record;
        *at++ = '\x03';
        for (std::uint32_t v : t.points)
            at = put_le(at, v);
        out.text().append(record, at);
        if (!out.flush_if_full()) {
            wxLogError("Could not write vertex index to ply file");
            return false;
        }
    }
    return step("Could not write vertex index to ply file");
}

// Other programs' formats are in millimetres; the world is in centimetres.
constexpr double mm_per_cm = 10.0;

void append_le_float(std::string& out, double v)
{
    append_le(out, std::bit_cast<std::uint32_t>(static_cast<float>(v)));
}

// The normal the winding gives: out of the object for an outward-facing mesh.
vertex3d facet_normal(const surface_mesh_t& mesh, const surface_triangle_t& t)
{
    const vertex3d& a = mesh.points[t.points[0]].position;
    const vertex3d n = cross(sub(mesh.points[t.points[1]].position, a), sub(mesh.points[t.points[2]].position, a));
    const double l = length(n);
    return l > 0.0 ? mul(n, 1.0 / l) : vertex3d{};
}

bool write_stl(chunk_writer& out, const surface_mesh_t& mesh)
{
    if (mesh.triangles.size() > UINT32_MAX) {
        wxLogError("Could not write the STL file: it holds at most %u triangles.", UINT32_MAX);
        return false;
    }
    // Not starting with "solid", which would make readers take it for text.
    std::string header = "Kestrane surface, binary STL in millimetres";
    header.resize(80, ' ');
    out.text() += header;
    append_le(out.text(), static_cast<std::uint32_t>(mesh.triangles.size()));
    for (const surface_triangle_t& t : mesh.triangles) {
        const vertex3d n = facet_normal(mesh, t);
        for (double v : {n.x, n.y, n.z})
            append_le_float(out.text(), v);
        for (std::uint32_t i : t.points) {
            const vertex3d& p = mesh.points[i].position;
            for (double v : {p.x, p.y, p.z})
                append_le_float(out.text(), mm_per_cm * v);
        }
        out.text() += std::string(2, '\0');  // no attributes
        if (!out.flush_if_full())
            return false;
    }
    return out.flush();
}

bool write_obj(chunk_writer& out, const surface_mesh_t& mesh, const surface_save_t& how)
{
    out.text() += "# Kestrane surface, millimetres\n";
    for (const std::string& line : comment_lines(how))
        out.text() += "# " + line + "\n";
    for (const surface_point_t& p : mesh.points) {
        append_triple(out.text(), "v ", mm_per_cm * p.position.x, mm_per_cm * p.position.y, mm_per_cm * p.position.z,
                      4);
        if (!out.flush_if_full())
            return false;
    }
    for (const surface_point_t& p : mesh.points) {
        append_triple(out.text(), "vn ", p.normal.x, p.normal.y, p.normal.z, 5);
        if (!out.flush_if_full())
            return false;
    }
    for (const surface_triangle_t& t : mesh.triangles) {
        out.text() += 'f';
        for (std::uint32_t i : t.points) {
            const std::string index = std::to_string(std::uint64_t{i} + 1);  // OBJ counts from 1
            out.text() += ' ' + index + "//" + index;
        }
        out.text() += '\n';
        if (!out.flush_if_full())
            return false;
    }
    return out.flush();
}

const char* format_name(surface_format_t format)
{
    switch (format) {
    case surface_format_t::ply: return "ply";
    case surface_format_t::stl: return "STL";
    case surface_format_t::obj: return "OBJ";
    default: return "VRML";
    }
}

}  // namespace

std::optional<surface_format_t> surface_format_for(const wxString& path, bool vrml2)
{
    const wxString ext = wxFileName(path).GetExt().Lower();
    if (ext == "ply")
        return surface_format_t::ply;
    if (ext == "wrl")
        return vrml2 ? surface_format_t::vrml2 : surface_format_t::vrml1;
    if (ext == "stl")
        return surface_format_t::stl;
    if (ext == "obj")
        return surface_format_t::obj;
    return std::nullopt;
}

bool save_surface(const wxString& path, const surface_mesh_t& mesh, const surface_save_t& how)
{
    if (!usable(mesh, path))
        return false;
    safe_file_t file(path);
    if (!file.ok()) {
        wxLogError("Could not write surface %s file %s: %s", format_name(how.format), path, file.error_text());
        return false;
    }
    chunk_writer out(file);
    bool written = false;
    switch (how.format) {
    case surface_format_t::vrml1:
        written = write_vrml1(out, mesh, how);
        break;
    case surface_format_t::vrml2:
        written = write_vrml2(out, mesh, how);
        break;
    case surface_format_t::ply:
        written = write_ply(out, mesh, how);
        break;
    case surface_format_t::stl:
        written = write_stl(out, mesh);
        break;
    case surface_format_t::obj:
        written = write_obj(out, mesh, how);
        break;
    }
    if (!written || !file.commit()) {
        wxLogError("Could not write surface %s file %s: %s", format_name(how.format), path, file.error_text());
        return false;
    }
    return true;
}

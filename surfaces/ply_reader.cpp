#include "ply_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include <wx/log.h>

#include "surfaces/surface_comments.h"

namespace {

// Whether [first, last) is one number that fits in v.
template <typename T>
bool whole_number(const char* first, const char* last, T& v)
{
    const auto [end, ec] = std::from_chars(first, last, v);
    return ec == std::errc() && end == last;
}

enum class ply_type { int8, uint8, int16, uint16, int32, uint32, float32, float64 };
enum class ply_format { ascii, binary_le, binary_be };

std::optional<ply_type> type_named(std::string_view name)
{
    static constexpr std::pair<std::string_view, ply_type> names[] = {
        {"char", ply_type::int8},     {"int8", ply_type::int8},       {"uchar", ply_type::uint8},
        {"uint8", ply_type::uint8},   {"short", ply_type::int16},     {"int16", ply_type::int16},
        {"ushort", ply_type::uint16}, {"uint16", ply_type::uint16},   {"int", ply_type::int32},
        {"int32", ply_type::int32},   {"uint", ply_type::uint32},     {"uint32", ply_type::uint32},
        {"float", ply_type::float32}, {"float32", ply_type::float32}, {"double", ply_type::float64},
        {"float64", ply_type::float64}};
    for (const auto& [n, t] : names)
        if (n == name)
            return t;
    return std::nullopt;
}

std::size_t size_of(ply_type t)
{
    switch (t) {
    case ply_type::int8:
    case ply_type::uint8:
        return 1;
    case ply_type::int16:
    case ply_type::uint16:
        return 2;
    case ply_type::int32:
    case ply_type::uint32:
    case ply_type::float32:
        return 4;
    case ply_type::float64:
        return 8;
    }
    return 8;
}

bool integral(ply_type t)
{
    return t != ply_type::float32 && t != ply_type::float64;
}

struct property_t {
    std::string name;
    ply_type type = ply_type::float32;
    bool list = false;
    ply_type count_type = ply_type::uint8;
};

struct element_t {
    std::string name;
    std::uint64_t count = 0;
    std::vector<property_t> properties;

    // The fewest bytes one entry takes: every scalar, and every list's count.
    std::size_t least_bytes(ply_format format) const
    {
        std::size_t n = 0;
        for (const property_t& p : properties)
            n += format == ply_format::ascii ? 1 : size_of(p.list ? p.count_type : p.type);
        return n;
    }
    int find(std::string_view property) const
    {
        for (std::size_t i = 0; i < properties.size(); ++i)
            if (properties[i].name == property)
                return static_cast<int>(i);
        return -1;
    }
};

struct header_t {
    ply_format format = ply_format::ascii;
    std::vector<element_t> elements;
    std::vector<std::string> comments;
    std::size_t data_start = 0;
};

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

bool parse_property(const std::vector<std::string_view>& w, property_t& p)
{
    if (w.size() == 5 && w[1] == "list") {
        const auto count = type_named(w[2]), item = type_named(w[3]);
        if (!count || !item || !integral(*count))
            return false;
        p = {std::string(w[4]), *item, true, *count};
        return true;
    }
    const auto type = w.size() == 3 ? type_named(w[1]) : std::nullopt;
    if (!type)
        return false;
    p = {std::string(w[2]), *type, false, ply_type::uint8};
    return true;
}

bool read_header(std::span<const std::uint8_t> bytes, header_t& h)
{
    const std::string_view all(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::size_t pos = 0, line_no = 0;
    bool format_seen = false;
    for (;;) {
        const std::size_t end = all.find('\n', pos);
        if (end == std::string_view::npos || end >= ply_header_limit) {
            if (end == std::string_view::npos && all.size() < ply_header_limit)
                wxLogError("The PLY file ends inside its header.");
            else
                wxLogError("The PLY header is longer than %zu bytes.", ply_header_limit);
            return false;
        }
        std::string_view line = all.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = end + 1;
        ++line_no;
        const auto w = words(line);
        if (line_no == 1) {
            if (line != "ply") {
                wxLogError("This is not a PLY file: it does not begin with the line \"ply\".");
                return false;
            }
            continue;
        }
        const std::string_view key = w.empty() ? std::string_view() : w[0];
        if (key == "comment") {
            const std::size_t at = line.find("comment") + 7;
            h.comments.emplace_back(line.substr(std::min(line.size(), at + 1)));
        } else if (key == "obj_info" || key.empty()) {
        } else if (key == "format") {
            if (w.size() != 3 || w[2] != "1.0" || format_seen ||
                (w[1] != "ascii" && w[1] != "binary_little_endian" && w[1] != "binary_big_endian")) {
                wxLogError("PLY header line %zu: unknown format \"%s\".", line_no, std::string(line));
                return false;
            }
            format_seen = true;
            h.format = w[1] == "ascii" ? ply_format::ascii
                       : w[1] == "binary_little_endian" ? ply_format::binary_le
                                                        : ply_format::binary_be;
        } else if (key == "element") {
            element_t e;
            const char* last = w.size() == 3 ? w[2].data() + w[2].size() : nullptr;
            if (!last || !whole_number(w[2].data(), last, e.count)) {
                wxLogError("PLY header line %zu: an element needs a name and a count: \"%s\".", line_no,
                           std::string(line));
                return false;
            }
            e.name = std::string(w[1]);
            h.elements.push_back(std::move(e));
        } else if (key == "property") {
            property_t p;
            if (h.elements.empty() || !parse_property(w, p)) {
                wxLogError("PLY header line %zu: unusable property \"%s\".", line_no, std::string(line));
                return false;
            }
            h.elements.back().properties.push_back(std::move(p));
        } else if (key == "end_header") {
            if (!format_seen) {
                wxLogError("The PLY header names no format.");
                return false;
            }
            h.data_start = pos;
            return true;
        } else {
            wxLogError("PLY header line %zu: unknown keyword \"%s\".", line_no, std::string(key));
            return false;
        }
    }
}

// The values of the data section, one at a time, in either encoding.
class value_reader {
public:
    value_reader(std::span<const std::uint8_t> data, ply_format format) : data_(data), format_(format) {}

    std::size_t remaining() const { return data_.size() - pos_; }

    bool next(ply_type type, double& v)
    {
        return format_ == ply_format::ascii ? next_text(type, v) : next_binary(type, v);
    }

    // Where the reader is, for messages.
    wxString where() const
    {
        return format_ == ply_format::ascii ? wxString::Format("line %zu of the data", line_)
                                            : wxString::Format("byte %zu of the data", pos_);
    }

private:
    bool next_binary(ply_type type, double& v)
    {
        const std::size_t n = size_of(type);
        if (remaining() < n)
            return false;
        std::uint8_t b[8];
        std::memcpy(b, data_.data() + pos_, n);
        pos_ += n;
        const bool little = format_ == ply_format::binary_le;
        if (little != (std::endian::native == std::endian::little))
            std::reverse(b, b + n);
        switch (type) {
        case ply_type::int8: v = static_cast<std::int8_t>(b[0]); break;
        case ply_type::uint8: v = b[0]; break;
        case ply_type::int16: v = load<std::int16_t>(b); break;
        case ply_type::uint16: v = load<std::uint16_t>(b); break;
        case ply_type::int32: v = load<std::int32_t>(b); break;
        case ply_type::uint32: v = load<std::uint32_t>(b); break;
        case ply_type::float32: v = load<float>(b); break;
        case ply_type::float64: v = load<double>(b); break;
        }
        return true;
    }

    template <typename T>
    static T load(const std::uint8_t* b)
    {
        T v;
        std::memcpy(&v, b, sizeof v);
        return v;
    }

    bool next_text(ply_type type, double& v)
    {
        const char* text = reinterpret_cast<const char*>(data_.data());
        while (pos_ < data_.size() && is_space(text[pos_]))
            line_ += text[pos_++] == '\n';
        const std::size_t start = pos_;
        while (pos_ < data_.size() && !is_space(text[pos_]))
            ++pos_;
        if (pos_ == start)
            return false;
        const char* first = text + start;
        const char* last = text + pos_;
        if (integral(type)) {
            long long i = 0;
            if (!whole_number(first, last, i) || !fits(type, i))
                return false;
            v = static_cast<double>(i);
            return true;
        }
        if (!whole_number(first, last, v))
            return false;
        if (type == ply_type::float32)
            v = static_cast<float>(v);
        return true;
    }

    static bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    static bool fits(ply_type t, long long i)
    {
        const std::size_t bits = 8 * size_of(t);
        const bool is_signed = t == ply_type::int8 || t == ply_type::int16 || t == ply_type::int32;
        return is_signed ? i >= -(1LL << (bits - 1)) && i < (1LL << (bits - 1)) : i >= 0 && i < (1LL << bits);
    }

    std::span<const std::uint8_t> data_;
    ply_format format_;
    std::size_t pos_ = 0;
    std::size_t line_ = 1;
};

// Which properties of the vertex element give what; -1 for absent.
struct vertex_roles_t {
    int x = -1, y = -1, z = -1, nx = -1, ny = -1, nz = -1, r = -1, g = -1, b = -1;
};

std::uint8_t colour_value(const property_t& p, double v)
{
    const double scaled = integral(p.type) ? v : v * 255.0 + 0.5;
    return static_cast<std::uint8_t>(std::clamp(std::isfinite(scaled) ? scaled : 0.0, 0.0, 255.0));
}

class ply_parser {
public:
    ply_parser(const header_t& h, std::span<const std::uint8_t> data, ply_surface_t& out)
        : h_(h), in_(data, h.format), out_(out)
    {
    }

    bool run()
    {
        const element_t* vertex = nullptr;
        const element_t* face = nullptr;
        if (!check_layout(vertex, face))
            return false;
        vertex_count_ = static_cast<std::size_t>(vertex->count);
        for (const element_t& e : h_.elements) {
            const bool ok = &e == vertex ? read_vertices(e) : &e == face ? read_faces(e) : skip(e);
            if (!ok)
                return false;
        }
        return true;
    }

private:
    bool check_layout(const element_t*& vertex, const element_t*& face)
    {
        // What the counts claim must fit in the data, before anything is reserved for them.
        std::size_t budget = in_.remaining() + (h_.format == ply_format::ascii ? 1 : 0);
        for (const element_t& e : h_.elements) {
            if (e.properties.empty() && e.count > 0) {
                wxLogError("The PLY element \"%s\" has entries but no properties.", e.name);
                return false;
            }
            const std::size_t least = e.least_bytes(h_.format);
            if (least > 0 && e.count > budget / least) {
                wxLogError("The PLY element \"%s\" claims %llu entries, more than the %zu bytes of data can hold.",
                           e.name, static_cast<unsigned long long>(e.count), in_.remaining());
                return false;
            }
            budget -= static_cast<std::size_t>(e.count) * least;
            if (e.name == "vertex" && !vertex)
                vertex = &e;
            else if (e.name == "face" && !face)
                face = &e;
        }
        if (!vertex) {
            wxLogError("The PLY file has no vertex element.");
            return false;
        }
        roles_ = {vertex->find("x"), vertex->find("y"), vertex->find("z"),     vertex->find("nx"), vertex->find("ny"),
                  vertex->find("nz"), vertex->find("red"), vertex->find("green"), vertex->find("blue")};
        for (int i : {roles_.x, roles_.y, roles_.z, roles_.nx, roles_.ny, roles_.nz, roles_.r, roles_.g, roles_.b})
            if (i >= 0 && vertex->properties[static_cast<std::size_t>(i)].list) {
                wxLogError("The PLY vertex property \"%s\" is a list.", vertex->properties[static_cast<std::size_t>(i)].name);
                return false;
            }
        if (roles_.x < 0 || roles_.y < 0 || roles_.z < 0) {
            wxLogError("The PLY vertices have no x, y and z.");
            return false;
        }
        if (vertex->count > UINT32_MAX) {
            wxLogError("The PLY file has more vertices than a surface can index.");
            return false;
        }
        out_.has_normals = roles_.nx >= 0 && roles_.ny >= 0 && roles_.nz >= 0;
        if (face) {
            index_list_ = face->find("vertex_indices");
            if (index_list_ < 0)
                index_list_ = face->find("vertex_index");
            const property_t* p = index_list_ >= 0 ? &face->properties[static_cast<std::size_t>(index_list_)] : nullptr;
            if (!p || !p->list || !integral(p->type)) {
                wxLogError("The PLY faces have no list of integer vertex indices.");
                return false;
            }
        }
        return true;
    }

    bool value(const element_t& e, std::size_t entry, const property_t& p, ply_type type, double& v)
    {
        if (in_.next(type, v))
            return true;
        wxLogError("The PLY file ends or holds an unreadable value at %s (%s %zu, property \"%s\").", in_.where(),
                   e.name, entry, p.name);
        return false;
    }

    // A list's length, checked against the data left before its items are read.
    bool list_length(const element_t& e, std::size_t entry, const property_t& p, std::size_t& n)
    {
        double v = 0;
        if (!value(e, entry, p, p.count_type, v))
            return false;
        const std::size_t item = h_.format == ply_format::ascii ? 1 : size_of(p.type);
        if (v < 0 || v > static_cast<double>(in_.remaining() / item)) {
            wxLogError("The PLY list \"%s\" of %s %zu claims %.0f items, which the data cannot hold.", p.name, e.name,
                       entry, v);
            return false;
        }
        n = static_cast<std::size_t>(v);
        return true;
    }

    bool skip_list(const element_t& e, std::size_t entry, const property_t& p)
    {
        std::size_t n = 0;
        if (!list_length(e, entry, p, n))
            return false;
        double v = 0;
        for (std::size_t k = 0; k < n; ++k)
            if (!value(e, entry, p, p.type, v))
                return false;
        return true;
    }

    bool skip(const element_t& e)
    {
        double v = 0;
        for (std::size_t i = 0; i < e.count; ++i)
            for (const property_t& p : e.properties)
                if (p.list ? !skip_list(e, i, p) : !value(e, i, p, p.type, v))
                    return false;
        return true;
    }

    bool read_vertices(const element_t& e)
    {
        surface_mesh_t& mesh = out_.mesh;
        mesh.points.reserve(vertex_count_);
        const bool coloured = roles_.r >= 0 && roles_.g >= 0 && roles_.b >= 0;
        if (coloured)
            mesh.colours.reserve(vertex_count_);
        std::vector<double> values(e.properties.size());
        for (std::size_t i = 0; i < vertex_count_; ++i) {
            for (std::size_t k = 0; k < e.properties.size(); ++k) {
                const property_t& p = e.properties[k];
                if (p.list ? !skip_list(e, i, p) : !value(e, i, p, p.type, values[k]))
                    return false;
            }
            const auto at = [&values](int role) { return values[static_cast<std::size_t>(role)]; };
            surface_point_t point;
            point.position = {at(roles_.x), at(roles_.y), at(roles_.z)};
            if (out_.has_normals)
                point.normal = {at(roles_.nx), at(roles_.ny), at(roles_.nz)};
            for (double v : {point.position.x, point.position.y, point.position.z, point.normal.x, point.normal.y,
                             point.normal.z})
                if (!std::isfinite(v)) {
                    wxLogError("PLY vertex %zu has a coordinate or normal that is not a finite number.", i);
                    return false;
                }
            mesh.points.push_back(point);
            if (coloured) {
                const auto channel = [&](int role) {
                    return colour_value(e.properties[static_cast<std::size_t>(role)], at(role));
                };
                mesh.colours.push_back({channel(roles_.r), channel(roles_.g), channel(roles_.b)});
            }
        }
        return true;
    }

    bool read_faces(const element_t& e)
    {
        std::vector<std::uint32_t> polygon;
        double v = 0;
        for (std::size_t i = 0; i < e.count; ++i)
            for (std::size_t k = 0; k < e.properties.size(); ++k) {
                const property_t& p = e.properties[k];
                if (static_cast<int>(k) != index_list_) {
                    if (p.list ? !skip_list(e, i, p) : !value(e, i, p, p.type, v))
                        return false;
                    continue;
                }
                std::size_t n = 0;
                if (!list_length(e, i, p, n))
                    return false;
                if (n < 3) {
                    wxLogError("PLY face %zu has %zu vertices; a face needs at least 3.", i, n);
                    return false;
                }
                polygon.clear();
                for (std::size_t c = 0; c < n; ++c) {
                    if (!value(e, i, p, p.type, v))
                        return false;
                    if (v < 0 || v >= static_cast<double>(vertex_count_)) {
                        wxLogError("PLY face %zu refers to vertex %.0f, but the file has %zu vertices.", i, v,
                                   vertex_count_);
                        return false;
                    }
                    polygon.push_back(static_cast<std::uint32_t>(v));
                }
                for (std::size_t c = 1; c + 1 < n; ++c)
                    out_.mesh.triangles.push_back({{polygon[0], polygon[c], polygon[c + 1]}, 2});
            }
        return true;
    }

    const header_t& h_;
    value_reader in_;
    ply_surface_t& out_;
    vertex_roles_t roles_;
    int index_list_ = -1;
    std::size_t vertex_count_ = 0;
};

}  // namespace

bool read_ply(std::span<const std::uint8_t> bytes, std::int32_t object, ply_surface_t& out, ply_failure_t* failure)
{
    out = {};
    ply_failure_t ignored;
    ply_failure_t& failed = failure ? *failure : ignored;
    failed = ply_failure_t::header;
    header_t h;
    if (!read_header(bytes, h))
        return false;
    if (!read_surface_comments(h.comments, object, out.marks, out.curves)) {
        out = {};
        return false;
    }
    failed = ply_failure_t::body;
    ply_parser parser(h, bytes.subspan(h.data_start), out);
    if (!parser.run()) {
        out = {};
        return false;
    }
    failed = ply_failure_t::none;
    out.comments = std::move(h.comments);
    return true;
}

bool read_ply_file(const wxString& path, std::int32_t object, ply_surface_t& out, ply_failure_t* failure)
{
    if (failure)
        *failure = ply_failure_t::open;
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in) {
        wxLogError("Could not open the PLY file %s.", path);
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        wxLogError("Could not read the PLY file %s.", path);
        return false;
    }
    if (!read_ply(bytes, object, out, failure)) {
        wxLogError("The PLY file %s could not be read.", path);
        return false;
    }
    return true;
}

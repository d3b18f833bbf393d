#include "surface_comments.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include <wx/log.h>

namespace {

constexpr std::string_view landmark_word = "LANDMARK";
constexpr std::string_view closed_word = "CLOSED_LANDCURVE";
constexpr std::string_view open_word = "OPEN_LANDCURVE";

bool is_control(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

std::string quoted_name(const wxString& name, const char* what)
{
    const wxScopedCharBuffer utf8 = name.utf8_str();
    std::string out(utf8.data(), utf8.length());
    bool changed = false;
    for (char& c : out)
        if (is_control(static_cast<unsigned char>(c))) {
            c = ' ';
            changed = true;
        }
    if (changed)
        wxLogWarning("The %s name \"%s\" holds control characters; they are saved as blanks.", what, out);
    return "\"" + out + "\"";
}

void append_point(std::string& out, const vertex3d& p)
{
    append_fixed(out, p.x, 5);
    out += ' ';
    append_fixed(out, p.y, 5);
    out += ' ';
    append_fixed(out, p.z, 5);
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Parses whitespace-separated numbers filling `values` exactly; false for
// anything else, including numbers that are not finite.
template <typename T, std::size_t N>
bool parse_numbers(std::string_view s, T (&values)[N])
{
    for (std::size_t i = 0; i < N; ++i) {
        s = trimmed(s);
        const char* end = s.data() + s.size();
        const auto [p, ec] = std::from_chars(s.data(), end, values[i]);
        if (ec != std::errc() || (p != end && *p != ' ' && *p != '\t'))
            return false;
        if constexpr (std::is_floating_point_v<T>)
            if (!std::isfinite(values[i]))
                return false;
        s.remove_prefix(static_cast<std::size_t>(p - s.data()));
    }
    return trimmed(s).empty();
}

// Splits `"name" rest` taking the name between the first and the last quote.
bool split_name(std::string_view s, wxString& name, std::string_view& rest)
{
    s = trimmed(s);
    const auto first = s.find('"'), last = s.rfind('"');
    if (first != 0 || last == first)
        return false;
    const std::string_view raw = s.substr(1, last - 1);
    for (char c : raw)
        if (is_control(static_cast<unsigned char>(c)))
            return false;
    name = wxString::FromUTF8(raw.data(), raw.size());
    if (name.empty() != raw.empty())
        return false;  // not UTF-8
    rest = s.substr(last + 1);
    return true;
}

bool starts_with_word(std::string_view line, std::string_view word)
{
    return line.substr(0, word.size()) == word &&
           (line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t');
}

}  // namespace

void append_fixed(std::string& out, double v, int decimals)
{
    char buffer[400];  // %.5f of the largest double needs 316 characters
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
    out.append(buffer, ec == std::errc() ? end : buffer);
}

std::vector<std::string> surface_comment_lines(const landmarks& marks, std::int32_t object, const curve_set& curves)
{
    std::vector<std::string> lines;
    for (const landmark_t& m : marks.list) {
        if (m.kind != LMARK_SURFACE || m.index != object)
            continue;
        std::string line = std::string(landmark_word) + " " + quoted_name(m.name, "landmark") + " ";
        append_point(line, m.position);
        lines.push_back(std::move(line));
    }
    for (const curve_t& c : curves.curves) {
        lines.push_back(std::string(c.closed ? closed_word : open_word) + " " + quoted_name(c.name, "curve") + " " +
                        std::to_string(c.points.size()));
        for (const vertex3d& p : c.points) {
            std::string line;
            append_point(line, p);
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

bool read_surface_comments(const std::vector<std::string>& lines, std::int32_t object, landmarks& marks,
                           curve_set& curves)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = trimmed(lines[i]);
        const bool closed = starts_with_word(line, closed_word);
        if (starts_with_word(line, landmark_word)) {
            landmark_t m;
            std::string_view rest;
            double xyz[3];
            if (!split_name(line.substr(landmark_word.size()), m.name, rest) || !parse_numbers(rest, xyz)) {
                wxLogError("Malformed landmark comment %zu: %s", i + 1, std::string(line));
                return false;
            }
            m.position = {xyz[0], xyz[1], xyz[2]};
            m.kind = LMARK_SURFACE;
            m.index = object;
            marks.list.push_back(std::move(m));
        } else if (closed || starts_with_word(line, open_word)) {
            curve_t c;
            c.object = object;
            c.closed = closed;
            std::string_view rest;
            std::size_t count[1];
            if (!split_name(line.substr((closed ? closed_word : open_word).size()), c.name, rest) ||
                !parse_numbers(rest, count)) {
                wxLogError("Malformed curve comment %zu: %s", i + 1, std::string(line));
                return false;
            }
            if (count[0] > lines.size() - i - 1) {
                wxLogError("The curve \"%s\" claims %zu points but only %zu comment lines follow.", c.name, count[0],
                           lines.size() - i - 1);
                return false;
            }
            for (std::size_t k = 0; k < count[0]; ++k) {
                double xyz[3];
                if (!parse_numbers(lines[++i], xyz)) {
                    wxLogError("Malformed point %zu of the curve \"%s\" in comment %zu: %s", k + 1, c.name, i + 1,
                               lines[i]);
                    return false;
                }
                c.points.push_back({xyz[0], xyz[1], xyz[2]});
            }
            curves.curves.push_back(std::move(c));
        }
    }
    return true;
}

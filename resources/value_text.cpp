#include "value_text.h"

#include <charconv>
#include <cmath>

namespace value_text {
namespace {

// Copies plain ASCII into a small buffer; numbers never need anything else.
template <std::size_t N>
bool to_ascii(const wxString& text, char (&buf)[N], std::size_t* length)
{
    if (text.length() >= N)
        return false;
    std::size_t i = 0;
    for (const wxUniChar c : text) {
        const auto v = c.GetValue();
        if (v == 0 || v > 127)
            return false;
        buf[i++] = static_cast<char>(v);
    }
    *length = i;
    return true;
}

}  // namespace

bool parse_long(const wxString& text, std::int64_t* out)
{
    char buf[32];
    std::size_t n;
    if (!to_ascii(text, buf, &n) || n == 0)
        return false;
    const char* first = buf;
    if (*first == '+' && n > 1 && buf[1] != '-')
        ++first;
    std::int64_t v;
    const auto [ptr, ec] = std::from_chars(first, buf + n, v, 10);
    if (ec != std::errc() || ptr != buf + n)
        return false;
    *out = v;
    return true;
}

bool parse_double(const wxString& text, double* out)
{
    char buf[128];
    std::size_t n;
    if (!to_ascii(text, buf, &n) || n == 0)
        return false;
    const char* first = buf;
    if (*first == '+' && n > 1 && buf[1] != '-')
        ++first;
    double v;
    const auto [ptr, ec] = std::from_chars(first, buf + n, v, std::chars_format::general);
    if (ec != std::errc() || ptr != buf + n || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool parse_bool(const wxString& text, bool* out)
{
    if (text.empty())
        return false;
    const wxUniChar c = text[0];
    if (c == 'T' || c == 't') {
        *out = true;
        return true;
    }
    if (c == 'F' || c == 'f') {
        *out = false;
        return true;
    }
    std::int64_t v;
    if (!parse_long(text, &v) || (v != 0 && v != 1))
        return false;
    *out = (v == 1);
    return true;
}

wxString fixed6(double v)
{
    char buf[400];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    if (ec != std::errc())
        return wxS("0.000000");
    return wxString(buf, static_cast<std::size_t>(ptr - buf));
}

wxString round_trip(double v)
{
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    if (ec != std::errc())
        return wxS("0");
    return wxString(buf, static_cast<std::size_t>(ptr - buf));
}

wxString float_text(float v)
{
    const wxString six = fixed6(static_cast<double>(v));
    double back;
    if (parse_double(six, &back) && static_cast<float>(back) == v)
        return six;
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? wxString(buf, static_cast<std::size_t>(ptr - buf)) : six;
}

wxString single_line(const wxString& s)
{
    if (s.find_first_of(wxS("\r\n")) == wxString::npos)
        return s;
    wxString out = s;
    for (auto it = out.begin(); it != out.end(); ++it)
        if (*it == '\r' || *it == '\n')
            *it = ' ';
    return out;
}

}  // namespace value_text

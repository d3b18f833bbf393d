#include "token_reader.h"

#include "value_text.h"

namespace {
bool is_space(wxUniChar c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
}  // namespace

void token_reader::skip_space()
{
    while (pos_ < text_.length() && is_space(text_[pos_]))
        ++pos_;
}

bool token_reader::at_end()
{
    skip_space();
    return pos_ >= text_.length();
}

bool token_reader::next(wxString* token)
{
    skip_space();
    if (pos_ >= text_.length())
        return false;
    const std::size_t start = pos_;
    while (pos_ < text_.length() && !is_space(text_[pos_]))
        ++pos_;
    *token = text_.substr(start, pos_ - start);
    return true;
}

bool token_reader::next_long(long* out)
{
    wxString t;
    std::int64_t v;
    if (!next(&t) || !value_text::parse_long(t, &v))
        return false;
    *out = static_cast<long>(v);
    return true;
}

bool token_reader::next_double(double* out)
{
    wxString t;
    return next(&t) && value_text::parse_double(t, out);
}

bool token_reader::next_leading_digits(std::uint64_t* out, bool* missing)
{
    wxString t;
    *missing = !next(&t);
    if (*missing)
        return false;
    std::uint64_t v = 0;
    std::size_t digits = 0;
    for (const wxUniChar c : t) {
        if (c < '0' || c > '9')
            break;
        const std::uint64_t d = static_cast<std::uint64_t>(c.GetValue() - '0');
        if (v > (UINT64_MAX - d) / 10)
            return false;  // more than 64 bits
        v = v * 10 + d;
        ++digits;
    }
    if (digits == 0)
        return false;
    *out = v;
    return true;
}

wxString token_reader::rest()
{
    skip_space();
    wxString r = text_.substr(pos_);
    pos_ = text_.length();
    r.Trim(true);
    return r;
}

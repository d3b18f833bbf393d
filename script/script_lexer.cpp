#include "script_lexer.h"

namespace {

bool is_blank(wxUniChar c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The command a bad word belongs to, for the message: the line's first word,
// or the bad word itself when it is the first.
wxString command_of(const std::vector<wxString>& words, const wxString& bad)
{
    return words.empty() ? bad : words.front();
}

}  // namespace

std::vector<wxString> split_script_lines(const wxString& text)
{
    std::vector<wxString> lines;
    wxString::const_iterator start = text.begin();
    for (auto it = text.begin(); it != text.end(); ++it)
        if (*it == '\n') {
            lines.emplace_back(start, it);
            start = it + 1;
        }
    if (start != text.end())
        lines.emplace_back(start, text.end());
    return lines;
}

bool lex_script_line(const wxString& line, std::vector<wxString>* words, wxString* error)
{
    words->clear();
    const wxString text = line.BeforeFirst('#');
    auto p = text.begin();
    const auto end = text.end();
    while (true) {
        while (p != end && is_blank(*p))
            ++p;
        if (p == end)
            return true;
        const auto start = p;
        if (*p == '"') {
            ++p;
            while (p != end && *p != '"')
                ++p;
            if (p == end) {
                const wxString raw(start, end);
                *error = "Missing closing quote in " + command_of(*words, raw) + ": " + raw;
                return false;
            }
            ++p;  // the closing quote
            if (p != end && !is_blank(*p)) {
                auto word_end = p;
                while (word_end != end && !is_blank(*word_end))
                    ++word_end;
                const wxString raw(start, word_end);
                *error = "Internal quote in " + command_of(*words, raw) + ": " + raw;
                return false;
            }
            words->emplace_back(start + 1, p - 1);
            continue;
        }
        while (p != end && !is_blank(*p))
            ++p;
        const wxString word(start, p);
        if (word.Contains('"')) {
            *error = "Internal quote in " + command_of(*words, word) + ": " + word;
            return false;
        }
        words->push_back(word);
    }
}

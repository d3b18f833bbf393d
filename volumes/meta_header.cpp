#include "meta_header.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <wx/filename.h>

const std::string& meta_header_t::field(const std::string& key) const
{
    static const std::string none;
    const auto it = fields.find(key);
    return it == fields.end() ? none : it->second;
}

std::string trim_blanks(std::string s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    std::size_t i = 0;
    while (i < s.size() && blank(s[i]))
        ++i;
    return s.substr(i);
}

std::string lower_case(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

std::vector<double> header_numbers(const std::string& text)
{
    std::string s = text;
    for (char& c : s)
        if (c == ',' || c == '(' || c == ')')
            c = ' ';
    std::istringstream in(s);
    std::vector<double> out;
    std::string word;
    while (in >> word) {
        char* end = nullptr;
        const double v = std::strtod(word.c_str(), &end);
        if (*end != '\0' || !std::isfinite(v))
            return {};
        out.push_back(v);
    }
    return out;
}

bool data_file_beside(const wxString& header_path, const std::string& name, wxString* path, wxString* why)
{
    if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos || name == "." ||
        name == "..") {
        *why = "the data file must be a plain file name beside the header, not '" + wxString(name.substr(0, 80)) + "'";
        return false;
    }
    wxFileName f(header_path);
    f.SetFullName(wxString(name));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(static_cast<const char*>(f.GetFullPath().fn_str()), ec)) {
        *why = "the data file " + f.GetFullPath() + " is not a regular file";
        return false;
    }
    *path = f.GetFullPath();
    return true;
}

bool read_meta_header(const wxString& path, bool nrrd, std::uint64_t max_bytes, meta_header_t* h, wxString* why)
{
    std::ifstream in(static_cast<const char*>(path.fn_str()), std::ios::binary);
    if (!in) {
        *why = "cannot open " + path;
        return false;
    }
    std::string line;
    std::uint64_t at = 0;
    bool first = true;
    std::streambuf* buffer = in.rdbuf();
    // Line by line, stopping at the limit even within a line: a file of data
    // without a line break must not be read whole into one line.
    const auto next_line = [&]() {
        line.clear();
        for (int c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
            if (++at > max_bytes)
                return false;
            if (c == '\n')
                return true;
            line.push_back(char(c));
        }
        return !line.empty();
    };
    while (next_line()) {
        if (nrrd && first) {
            first = false;
            if (line.rfind("NRRD000", 0) != 0) {
                *why = path + " does not begin with NRRD000";
                return false;
            }
            continue;
        }
        const std::string t = trim_blanks(line);
        if (nrrd && t.empty()) {
            h->data_offset = at;  // the data follow the blank line
            return true;
        }
        if (t.empty() || t[0] == '#')
            continue;
        const std::size_t sep = nrrd ? t.find(':') : t.find('=');
        if (sep == std::string::npos) {
            *why = "a header line has no " + wxString(nrrd ? "':'" : "'='") + ": " + wxString(t.substr(0, 80));
            return false;
        }
        const std::string key = lower_case(trim_blanks(t.substr(0, sep)));
        const std::string value = trim_blanks(t.substr(sep + (nrrd && t.compare(sep, 2, ":=") == 0 ? 2 : 1)));
        h->fields[key] = value;
        if (!nrrd && key == "elementdatafile") {
            h->data_offset = at;  // the last key: LOCAL data follow it
            return true;
        }
    }
    if (at > max_bytes) {
        *why = wxString::Format("the header is longer than %llu kB", static_cast<unsigned long long>(max_bytes >> 10));
        return false;
    }
    if (nrrd && (h->fields.count("data file") || h->fields.count("datafile"))) {
        h->data_offset = at;
        return true;
    }
    *why = nrrd ? "the NRRD header does not end with a blank line" : "the header has no ElementDataFile";
    return false;
}

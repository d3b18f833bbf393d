#include "script_files.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/tokenzr.h>

namespace {

// Digits only, saturating: a span's end far past any list is still a span.
bool parse_number(const wxString& text, std::uint64_t* out)
{
    if (text.empty())
        return false;
    std::uint64_t v = 0;
    for (const wxUniChar c : text) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c.GetValue() - '0');
        v = v > (UINT64_MAX - digit) / 10 ? UINT64_MAX : v * 10 + digit;
    }
    *out = v;
    return true;
}

}  // namespace

bool list_recordings(const wxString& dir, std::vector<wxString>* names, wxString* why)
{
    names->clear();
    wxDir folder(dir);
    if (!folder.IsOpened()) {
        *why = "Directory can't be read: " + dir;
        return false;
    }
    wxString name;
    for (bool more = folder.GetFirst(&name, wxEmptyString, wxDIR_FILES); more; more = folder.GetNext(&name))
        if (wxFileName(name).GetExt().Lower() == "ks")
            names->push_back(name);
    // Byte order, the same in every locale and on every machine of a cohort run.
    std::sort(names->begin(), names->end(),
              [](const wxString& a, const wxString& b) { return a.utf8_string() < b.utf8_string(); });
    return true;
}

std::vector<script_file_t> filter_recordings(const wxString& dir, const std::vector<wxString>& names,
                                             const wxString& filter)
{
    const wxString pattern = filter + "*";
    std::vector<script_file_t> files;
    for (const wxString& name : names)
        if (wxMatchWild(pattern, name, false))
            files.push_back({static_cast<long>(files.size()) + 1, wxFileName(dir, name).GetFullPath()});
    return files;
}

bool select_file_range(const wxString& range, std::vector<script_file_t>* files)
{
    // Numbers run 1..n in order, so a span is an interval of indices: mark its
    // ends and sum, never walking a span beyond the list.
    const std::uint64_t n = files->size();
    std::vector<long> edges(files->size() + 1, 0);
    wxStringTokenizer parts(range, ",;", wxTOKEN_RET_EMPTY_ALL);
    if (!parts.HasMoreTokens())
        return false;
    while (parts.HasMoreTokens()) {
        const wxString part = parts.GetNextToken().Strip(wxString::both);
        const size_t dash = part.find_first_of("-:");
        std::uint64_t first = 0, last = 0;
        if (dash == wxString::npos) {
            if (!parse_number(part, &first))
                return false;
            last = first;
        } else if (!parse_number(part.Left(dash).Strip(wxString::both), &first) ||
                   !parse_number(part.Mid(dash + 1).Strip(wxString::both), &last) || last < first) {
            return false;
        }
        first = std::max<std::uint64_t>(first, 1);
        last = std::min(last, n);
        if (first > last)
            continue;
        ++edges[first - 1];
        --edges[last];
    }
    std::vector<script_file_t> kept;
    long depth = 0;
    for (std::size_t i = 0; i < files->size(); ++i) {
        depth += edges[i];
        if (depth > 0)
            kept.push_back((*files)[i]);
    }
    *files = std::move(kept);
    return true;
}

#include "file_names.h"

#include <algorithm>

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/tokenzr.h>

namespace {

// The name's extension, or an empty text when it has none (a trailing dot counts as none).
wxString extension_of(const wxString& path)
{
    const wxFileName name(path);
    return name.HasExt() ? name.GetExt().Lower() : wxString();
}

wxString extension_list(const wxString& wildcard)
{
    std::vector<wxString> seen;
    const std::size_t filters = wxSplit(wildcard, '|', '\0').size() / 2;
    for (std::size_t f = 0; f < filters; ++f)
        for (const wxString& e : filter_extensions(wildcard, static_cast<int>(f)))
            if (std::find(seen.begin(), seen.end(), e) == seen.end())
                seen.push_back(e);
    wxString list;
    for (std::size_t k = 0; k < seen.size(); ++k)
        list << (k == 0 ? "" : k + 1 == seen.size() ? " or " : ", ") << "." << seen[k];
    return list;
}

}  // namespace

std::vector<wxString> filter_extensions(const wxString& wildcard, int filter)
{
    const wxArrayString parts = wxSplit(wildcard, '|', '\0');
    const std::size_t at = 2 * static_cast<std::size_t>(filter) + 1;
    if (filter < 0 || at >= parts.size())
        return {};
    std::vector<wxString> extensions;
    wxStringTokenizer patterns(parts[at], ";");
    while (patterns.HasMoreTokens()) {
        const wxString pattern = patterns.GetNextToken().Trim().Trim(false);
        wxString ext;
        if (!pattern.StartsWith("*.", &ext) || ext.empty() || ext.find_first_of("*?") != wxString::npos)
            return {};  // a pattern that takes any name
        extensions.push_back(ext.Lower());
    }
    return extensions;
}

save_name_t resolve_save_name(const wxString& path, const wxString& wildcard, int chosen)
{
    save_name_t result;
    const wxFileName name(path);
    if (name.GetName().empty()) {
        result.error = wxString::Format("'%s' names a folder, not a file.", path);
        return result;
    }
    const std::size_t filters = wxSplit(wildcard, '|', '\0').size() / 2;
    const wxString ext = extension_of(path);
    if (ext.empty()) {
        int from = chosen;
        for (int f = 0; f < static_cast<int>(filters) && filter_extensions(wildcard, from).empty(); ++f)
            from = f;
        const std::vector<wxString> offered = filter_extensions(wildcard, from);
        wxString bare = path;
        if (bare.EndsWith("."))
            bare.RemoveLast();
        result.path = offered.empty() ? bare : bare + "." + offered.front();
        result.filter = chosen;
        return result;
    }
    result.path = path;
    // An extension of two parts (".nii.gz") is matched on the whole ending.
    const wxString lower_name = name.GetFullName().Lower();
    auto offers = [&](int f) {
        for (const wxString& e : filter_extensions(wildcard, f))
            if (e == ext || (e.Contains(".") && lower_name.EndsWith("." + e) && lower_name.length() > e.length() + 1))
                return true;
        return false;
    };
    if (offers(chosen)) {
        result.filter = chosen;
        return result;
    }
    for (int f = 0; f < static_cast<int>(filters); ++f)
        if (offers(f)) {
            result.filter = f;
            return result;
        }
    for (int f = 0; f < static_cast<int>(filters); ++f)
        if (filter_extensions(wildcard, f).empty()) {  // a filter that takes any name
            result.filter = chosen;
            return result;
        }
    result.error = wxString::Format("Unknown file extension '.%s' in '%s': use %s.", name.GetExt(),
                                    name.GetFullName(), extension_list(wildcard));
    return result;
}

std::optional<file_choice_t> ask_save_file(const wxString& caption, const wxString& wildcard,
                                           const wxString& directory)
{
    const auto choice = interaction().ask_file(caption, wildcard, directory, true);
    if (!choice)
        return std::nullopt;
    const save_name_t name = resolve_save_name(choice->path, wildcard, choice->filter);
    if (!name.error.empty()) {
        wxLogError("%s", name.error);
        return std::nullopt;
    }
    // The dialog asked about replacing the name as typed, not the one with its extension.
    if (name.path != choice->path && wxFileName::FileExists(name.path) &&
        interaction().ask(caption, "The file " + name.path + " exists already. Replace it?", question_t::yes_no,
                          answer_t::no) != answer_t::yes)
        return std::nullopt;
    return file_choice_t{name.path, name.filter};
}

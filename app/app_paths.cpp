#include "app_paths.h"

#include <wx/filename.h>
#include <wx/tokenzr.h>
#include <wx/utils.h>

wxString wxFindAppPath(const wxString& argv0, const wxString& cwd)
{
    if (argv0.empty())
        return wxEmptyString;
    if (wxIsAbsolutePath(argv0))
        return wxPathOnly(argv0);
    wxFileName relative(argv0);
    relative.MakeAbsolute(cwd);
    if (argv0.Contains("/") && relative.FileExists())
        return relative.GetPath();
    wxString path;
    if (wxGetEnv("PATH", &path)) {
        wxStringTokenizer dirs(path, ":");
        while (dirs.HasMoreTokens()) {
            const wxFileName candidate(dirs.GetNextToken(), argv0);
            if (candidate.FileExists())
                return candidate.GetPath();
        }
    }
    if (relative.FileExists())
        return relative.GetPath();
    return wxEmptyString;
}

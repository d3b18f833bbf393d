#include "app_paths.h"

#include <wx/filename.h>
#include <wx/tokenzr.h>
#include <wx/utils.h>

wxString wxFindAppPath(const wxString& argv0, const wxString& cwd)
{
    if (wxIsAbsolutePath(argv0))
        return wxPathOnly(argv0);
    const wxFileName relative(cwd, argv0);
    if (argv0.Contains("/") && relative.FileExists())
        return wxPathOnly(relative.GetFullPath());
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
        return wxPathOnly(relative.GetFullPath());
    return wxEmptyString;
}

#include "landmark_commands.h"

#include <cstdio>

#include <wx/filename.h>

#include "resources/recording_file.h"
#include "surfaces/landmark_export.h"
#include "surfaces/landmark_session.h"
#include "tool_session.h"

int run_landmarks(const std::vector<wxString>& args)
{
    if (args.size() != 2) {
        std::fprintf(stderr, "Usage: kestrane-tool landmarks FILE.ks OUT.csv\n");
        return 2;
    }
    const wxString out = landmark_export_path(args[1]);
    tool_session_t tool;
    if (!recording_io->try_read_kestrane_file(args[0]))
        return 1;
    const landmarks marks = landmarks_from_session();
    const bool appended = wxFileName::FileExists(out);
    if (!export_landmarks(out, marks, landmark_export_context_from_session()))
        return 1;
    std::printf("%zu landmarks %s %s\n", marks.list.size(), appended ? "appended to" : "exported to",
                out.utf8_str().data());
    return 0;
}

#include "log_target.h"

#include <cstdio>

const char* log_level_name(wxLogLevel level)
{
    switch (level) {
    case wxLOG_FatalError: return "fatal";
    case wxLOG_Error: return "error";
    case wxLOG_Warning: return "warning";
    case wxLOG_Message: return "message";
    case wxLOG_Status: return "status";
    case wxLOG_Info: return "info";
    case wxLOG_Debug: return "debug";
    case wxLOG_Trace: return "trace";
    default: return "log";
    }
}

void stderr_log_t::DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info)
{
    wxString text = msg;
    text.Trim();
    if (level == wxLOG_Message || level == wxLOG_Info || level == wxLOG_Status)
        std::fprintf(stderr, "%s\n", text.utf8_str().data());
    else
        std::fprintf(stderr, "%s: %s [%s:%d %s]\n", log_level_name(level), text.utf8_str().data(),
                     info.filename ? info.filename : "?", info.line, info.func ? info.func : "?");
}

// A log target for headless runs: one line per record on stderr, with its
// level and, for errors, warnings and debug records, where it came from.
#pragma once

#include <wx/log.h>

class stderr_log_t : public wxLog {
protected:
    void DoLogRecord(wxLogLevel level, const wxString& msg, const wxLogRecordInfo& info) override;
};

const char* log_level_name(wxLogLevel level);

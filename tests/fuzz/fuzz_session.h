// The program state a file-reader harness works in: wx, a session with its
// settings in a temporary folder (removed at exit), logging off.
#pragma once

#include <memory>
#include <string>

#include <wx/filename.h>
#include <wx/init.h>
#include <wx/log.h>

#include "resources/core_session.h"

struct fuzz_session_t {
    wxInitializer wx;
    std::unique_ptr<core_session_t> session;
    std::string dir;
    fuzz_session_t()
    {
        wxLog::EnableLogging(false);
        dir = wxFileName::CreateTempFileName("ks_fuzz").ToStdString();
        wxRemoveFile(dir);
        wxFileName::Mkdir(dir);
        session = std::make_unique<core_session_t>(dir, "", false);
        session->finish_start_up();
    }
    ~fuzz_session_t()
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }
};

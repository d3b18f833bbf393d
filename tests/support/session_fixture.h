// A fresh program state (settings, resource table, frame buffer, recording
// files) in a temporary folder that is removed afterwards.
#pragma once

#include <memory>

#include <gtest/gtest.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "resources/core_session.h"

class SessionTest : public ::testing::Test {
protected:
    wxString dir;
    std::unique_ptr<core_session_t> session;

    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_test");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
        session = std::make_unique<core_session_t>(dir, "");
        session->finish_start_up();
    }
    void TearDown() override
    {
        session.reset();
        wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE);
    }

    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }
};

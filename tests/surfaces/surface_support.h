// A scratch folder for the surface file tests, and the meshes they save.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "test_meshes.h"

class SurfaceFileTest : public ::testing::Test {
protected:
    wxString dir;

    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_surface");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }

    wxString path(const wxString& name) const { return dir + wxFILE_SEP_PATH + name; }

    static std::string read_file(const wxString& p)
    {
        std::ifstream in(static_cast<const char*>(p.fn_str()), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void write_file(const wxString& p, const std::string& bytes)
    {
        std::ofstream out(static_cast<const char*>(p.fn_str()), std::ios::binary);
        out << bytes;
    }
    // Files in the folder, to show a save left no temporary file behind.
    std::size_t file_count() const
    {
        wxArrayString found;
        return wxDir::GetAllFiles(dir, &found, wxEmptyString, wxDIR_FILES | wxDIR_HIDDEN);
    }
};

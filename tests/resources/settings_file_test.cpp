// The settings file on disk: written complete after a first run, read back
// exactly (doubles too), and a missing, empty or corrupt file never stops the
// program or loses the values that are valid.
#include <fstream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>
#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include "resources/core_session.h"
#include "support/log_capture.h"

namespace {

class SettingsFile : public ::testing::Test {
protected:
    wxString dir;

    void SetUp() override
    {
        dir = wxFileName::CreateTempFileName("ks_settings");
        wxRemoveFile(dir);
        ASSERT_TRUE(wxFileName::Mkdir(dir));
    }
    void TearDown() override { wxFileName::Rmdir(dir, wxPATH_RMDIR_RECURSIVE); }

    wxString path(const char* name) const { return wxFileName(dir, name).GetFullPath(); }

    std::map<std::string, std::string> read_keys(const wxString& file) const
    {
        std::map<std::string, std::string> keys;
        std::ifstream in(file.ToStdString());
        std::string line;
        while (std::getline(in, line)) {
            const auto eq = line.find('=');
            if (eq != std::string::npos)
                keys[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return keys;
    }
    void write_file(const char* name, const std::string& text) const
    {
        std::ofstream out(path(name).ToStdString(), std::ios::binary);
        out << text;
    }
};

// A first run writes every settings resource to ".kestrane.ini", so users can
// edit it; values come back equal in the next run, doubles to the last bit.
TEST_F(SettingsFile, ValuesReadBackEqual)
{
    const double awkward = 0.1 + 0.2;
    {
        core_session_t session(dir, "");
        session.finish_start_up();
        res->RES_POINTER_XTRANS->write(awkward);
        res->RES_POINTER_YTRANS->write(-1.0e-300);
        res->RES_PASSWORD->write("bl\nack");  // a line break must not inject a line
        res->RES_ICON_SIZE->write(32);
        res->RES_EXPERT_MODE->write(true);
    }
    EXPECT_FALSE(wxFileExists(path("kestrane.ini")));
    const auto keys = read_keys(path(".kestrane.ini"));
    EXPECT_EQ(keys.size(), 106u);
    EXPECT_EQ(keys.at("RES_EXPERT_MODE"), "1");
    {
        core_session_t session(dir, "");
        EXPECT_EQ(res->RES_POINTER_XTRANS->value(), awkward);
        EXPECT_EQ(res->RES_POINTER_YTRANS->value(), -1.0e-300);
        EXPECT_EQ(res->RES_PASSWORD->value(), "bl ack");
        EXPECT_EQ(res->RES_ICON_SIZE->value(), 32);
        EXPECT_TRUE(res->RES_EXPERT_MODE->value());
    }
}

// "kestrane.ini" wins over ".kestrane.ini" when both exist.
TEST_F(SettingsFile, PlainNameIsPreferred)
{
    write_file("kestrane.ini", "RES_ICON_SIZE=16\n");
    write_file(".kestrane.ini", "RES_ICON_SIZE=48\n");
    core_session_t session(dir, "");
    EXPECT_EQ(session.settings().path(), path("kestrane.ini"));
    EXPECT_EQ(res->RES_ICON_SIZE->value(), 16);
}

// Missing keys (all of them in an empty file) take their defaults and are
// added; the other keys keep their values.
TEST_F(SettingsFile, MissingKeysAreAdded)
{
    for (const char* text : {"", "RES_ICON_SIZE=16\n"}) {
        write_file("kestrane.ini", text);
        { core_session_t session(dir, ""); }
        const auto keys = read_keys(path("kestrane.ini"));
        EXPECT_EQ(keys.size(), 106u);
        EXPECT_EQ(keys.at("RES_ICON_SIZE"), *text ? "16" : "24");
        EXPECT_EQ(keys.at("RES_PASSWORD"), "marlwood");
    }
}

// Garbage and bad values: the program starts with defaults for what is unreadable.
TEST_F(SettingsFile, CorruptFileFallsBackToDefaults)
{
    log_capture log;
    write_file("kestrane.ini",
               std::string("\x01\x02garbage without equals\n[group\nRES_ICON_SIZE=lots\nRES_POINTER_XTRANS=nan\n"
                           "RES_EXPERT_MODE=yes\nRES_PASSWORD=kept\n") +
                   std::string(100000, 'x') + "\n");
    {
        core_session_t session(dir, "");
        EXPECT_EQ(res->RES_ICON_SIZE->value(), 24);
        EXPECT_EQ(res->RES_POINTER_XTRANS->value(), 0.0);
        EXPECT_FALSE(res->RES_EXPERT_MODE->value());
        EXPECT_EQ(res->RES_PASSWORD->value(), "kept");
    }
    EXPECT_TRUE(log.contains("RES_ICON_SIZE", wxLOG_Warning));
}

// Start-up values are loaded values: nothing counts as unsaved, and a
// loaded change never reaches the settings file.
TEST_F(SettingsFile, StartUpLeavesNothingUnsaved)
{
    core_session_t session(dir, "/opt/kestrane");
    session.finish_start_up();
    wxString text;
    EXPECT_FALSE(base_res_t::file_needs_save(RES_MASK_ALL, text)) << text;
    EXPECT_EQ(res->RES_BIN_IM_FILENAME->value(), "kestrane_data_1.kvi");
    EXPECT_EQ(res->RES_ASCII_FILENAME->value().GetFullName(), "kestrane_data_1.ks");
    EXPECT_EQ(res->RES_TEMPLATE_FILENAME->value().GetPath(), wxFileName::DirName(dir).GetPath());
}

}  // namespace

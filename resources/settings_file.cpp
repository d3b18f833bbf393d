#include "settings_file.h"

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "base_res.h"

wxString settings_file_t::choose_path(const wxString& directory)
{
    const wxString dir = directory.empty() ? wxGetHomeDir() : directory;
    const wxFileName plain(dir, "kestrane.ini");
    if (plain.FileExists())
        return plain.GetFullPath();
    return wxFileName(dir, ".kestrane.ini").GetFullPath();
}

settings_file_t::settings_file_t(const wxString& directory, bool write_back)
    : directory_(directory.empty() ? wxGetHomeDir() : directory), path_(choose_path(directory_)), write_back_(write_back)
{
    config_ = std::make_unique<wxFileConfig>(wxEmptyString, wxEmptyString, path_, wxEmptyString,
                                             wxCONFIG_USE_LOCAL_FILE | wxCONFIG_USE_NO_ESCAPE_CHARACTERS);
    config_->SetExpandEnvVars(false);
    if (!write_back_)
        config_->DisableAutoSave();
}

settings_file_t::~settings_file_t()
{
    if (base_res_t::settings_store() == config_.get())
        base_res_t::set_settings_store(nullptr);
    flush();
}

bool settings_file_t::flush()
{
    if (!write_back_)
        return true;
    if (!config_->Flush()) {
        wxLogError("Could not write the settings file %s.", path_);
        return false;
    }
    return true;
}

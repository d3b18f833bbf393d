// The settings file: "kestrane.ini" in the settings directory if it exists,
// else ".kestrane.ini". One key=value line per settings resource, no groups,
// numbers in the "C" notation. Written on flush and when this object dies.
#pragma once

#include <memory>

#include <wx/fileconf.h>
#include <wx/string.h>

class settings_file_t {
public:
    // An empty directory means the user's home directory. Without write_back
    // the file is read but never written (headless tools leave it alone).
    explicit settings_file_t(const wxString& directory, bool write_back = true);
    ~settings_file_t();
    settings_file_t(const settings_file_t&) = delete;
    settings_file_t& operator=(const settings_file_t&) = delete;

    static wxString choose_path(const wxString& directory);

    const wxString& directory() const { return directory_; }
    const wxString& path() const { return path_; }
    wxFileConfig& config() { return *config_; }
    bool flush();

private:
    wxString directory_;
    wxString path_;
    std::unique_ptr<wxFileConfig> config_;
    bool write_back_;
};

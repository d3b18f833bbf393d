// The process-wide objects every run needs, created once in a fixed order and
// destroyed in the reverse: the settings file, the resource table `res`, the
// frame buffer `bufp`, the clock `master_clock` and the recording files
// `recording_io`. The GUI and the
// command-line tool both start through this.
#pragma once

#include <memory>

#include <wx/string.h>

#include "common/dynabuf.h"
#include "common/timestamp.h"
#include "recording_file.h"
#include "resource_table.h"
#include "settings_file.h"

class core_session_t {
public:
    // settings_directory empty: the user's home directory. exec_dir is where
    // the executable lives. The table is left in loading mode: call
    // finish_start_up once the rest of start-up is done.
    core_session_t(const wxString& settings_directory, const wxString& exec_dir, bool write_settings = true);
    ~core_session_t();
    core_session_t(const core_session_t&) = delete;
    core_session_t& operator=(const core_session_t&) = delete;

    // Ends loading mode and makes the start-up values the user's kept values.
    void finish_start_up();

    settings_file_t& settings() { return *settings_; }
    const wxString& settings_directory() const { return settings_->directory(); }

    // The first stem_N.ks / stem_N.kvi pair in dir of which neither file exists.
    static wxString free_recording_name(const wxString& dir, const wxString& stem, wxString* image_name);

private:
    std::unique_ptr<settings_file_t> settings_;
    std::unique_ptr<resource_t> table_;
    std::unique_ptr<recording_io_t> io_;
    std::unique_ptr<dynabuf> frames_;
    std::unique_ptr<timestamp> clock_;
};

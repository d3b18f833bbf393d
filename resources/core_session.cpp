#include "core_session.h"

#include <wx/filename.h>

core_session_t::core_session_t(const wxString& settings_directory, const wxString& exec_dir, bool write_settings)
    : settings_(std::make_unique<settings_file_t>(settings_directory, write_settings))
{
    base_res_t::set_settings_store(&settings_->config());
    base_res_t::set_loading_file(true);  // start-up values are not user changes
    table_ = std::make_unique<resource_t>();
    res = table_.get();

    const wxFileName dir = wxFileName::DirName(settings_->directory());
    res->RES_TEMPLATE_FILENAME->write(dir);
    res->RES_SCRIPT_FILENAME->write(dir);
    res->RES_DEBUG_FILENAME->write(dir);

    wxString image_name;
    const wxString recording =
        free_recording_name(settings_->directory(), res->RES_FILENAME_STUB->value(), &image_name);
    const wxFileName recording_name(recording);
    if (!(res->RES_ASCII_FILENAME->value() == recording_name))
        res->RES_ASCII_FILENAME->write(recording_name);
    res->RES_BIN_IM_FILENAME->write(image_name);
    res->RES_EXEC_DIR->write(exec_dir);

    frames_ = std::make_unique<dynabuf>(500);
    bufp = frames_.get();
    clock_ = std::make_unique<timestamp>();
    master_clock = clock_.get();
    io_ = std::make_unique<recording_io_t>();
    recording_io = io_.get();
    io_->clear_static_resources();  // blank object table, no data
}

core_session_t::~core_session_t()
{
    recording_io = nullptr;
    io_.reset();
    master_clock = nullptr;
    clock_.reset();
    bufp = nullptr;
    frames_.reset();
    res = nullptr;
    table_.reset();
    base_res_t::set_settings_store(nullptr);
    settings_.reset();  // writes the settings file
}

void core_session_t::finish_start_up()
{
    base_res_t::set_loading_file(false);
    base_res_t::cancel_kept_values();
}

wxString core_session_t::free_recording_name(const wxString& dir, const wxString& stem, wxString* image_name)
{
    for (int i = 1;; ++i) {
        const wxString base = stem + wxString::Format("_%i", i);
        const wxFileName ks(dir, base + ".ks"), kvi(dir, base + ".kvi");
        if (!ks.FileExists() && !kvi.FileExists()) {
            *image_name = kvi.GetFullName();
            return ks.GetFullPath();
        }
    }
}

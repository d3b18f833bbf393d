// The Scripts task page: an editor for a script's text, the pane where a run's
// messages appear, and Run, Open..., Save and Save as.... The page owns the
// interpreter; the command line runs its scripts through the page too, so
// that they show as the user's own would.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

class Script;
class wxBookCtrlBase;
class wxButton;
class wxTextCtrl;

class script_page : public wxScrolledWindow {
public:
    explicit script_page(wxWindow* parent);
    ~script_page() override;

    // Runs the editor's text; false when it failed or was not run (the user
    // kept unsaved changes, or a run is already going).
    bool run();
    // Puts a script's text into the editor and takes its path as the script's own.
    bool load(const wxString& path);
    bool save(const wxString& path);
    const wxString& path() const { return path_; }  // empty for a script never saved
    // From now on every message line also goes to this file (emptied first);
    // empty: to the pane alone.
    bool set_debug_file(const wxString& path);

    void OnRun(wxCommandEvent&);
    void OnOpen(wxCommandEvent&);
    void OnSave(wxCommandEvent&);
    void OnSaveAs(wxCommandEvent&);

    wxTextCtrl* editor = nullptr;
    wxTextCtrl* messages = nullptr;
    wxButton* run_button = nullptr;
    wxButton* open_button = nullptr;
    wxButton* save_button = nullptr;
    wxButton* save_as_button = nullptr;

private:
    class pane_sink_t;
    std::unique_ptr<pane_sink_t> sink_;
    std::unique_ptr<Script> script_;
    wxString path_;
    bool running_ = false;
};

// The script page of a notebook; null when it has none.
script_page* find_script_page(wxBookCtrlBase* book);

// A script named on the command line: the notebook turns to the page, which
// loads and runs it, its messages also kept in ks_debug beside the script with
// the script's extension (RES_DEBUG_FILENAME), since no one may watch the
// pane. False when it could not be read or did not succeed.
bool run_script_file(wxBookCtrlBase* book, const wxString& path);

// True when the text has an 'open' line, so that running it closes the open recording.
bool script_opens_files(const wxString& text);

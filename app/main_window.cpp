#include "main_window.h"

#include <clocale>

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>

#include "app_paths.h"

wxIMPLEMENT_APP(MainWindow);

bool MainWindow::OnInit()
{
    // Numbers in every file and dialog use a decimal point, whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");

    const wxString cwd = wxFileName::GetCwd();
    const wxString exec_dir = wxFindAppPath(argv[0], cwd);
    wxHandleFatalExceptions(true);

    wxString directory;
    if (argc > 1) {
        wxLogDebug("Kestrane called with %s", argv[1]);
        directory = argv[1].StartsWith("dir=") ? argv[1].Mid(4) : wxString();
    }
    if (!directory.empty() && !wxFileName::DirExists(directory)) {
        wxLogWarning("Settings directory %s does not exist; using the home directory.", directory);
        directory.clear();
    }

    session_ = std::make_unique<core_session_t>(directory, exec_dir);
    session_->finish_start_up();
    wxLogVerbose("Settings file: %s", session_->settings().path());

    // The main window comes with its own module; until then the program starts,
    // keeps its settings and leaves.
    CallAfter([this] { ExitMainLoop(); });
    return true;
}

int MainWindow::OnExit()
{
    session_.reset();  // writes the settings file
    return wxApp::OnExit();
}

void MainWindow::OnFatalException()
{
    wxMessageBox("There has been a fatal error and Kestrane must now close.", "Fatal error in Kestrane",
                 wxOK | wxICON_ERROR);
    session_.reset();  // the settings file is saved even now
}

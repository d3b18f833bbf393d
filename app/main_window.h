// The application object: start-up, the idle tick and shut-down.
#pragma once

#include <memory>

#include <wx/app.h>

#include "resources/core_session.h"

class MainWindow : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;
    void OnFatalException() override;

private:
    std::unique_ptr<core_session_t> session_;
};

wxDECLARE_APP(MainWindow);

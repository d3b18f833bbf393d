// The core objects a kestrane-tool command works with. Settings are read from
// the user's file but never written by the tool.
#pragma once

#include "acquisition/rf_display.h"
#include "resources/core_session.h"
#include "volumes/dicom_display.h"

struct tool_session_t {
    core_session_t session{wxEmptyString, wxEmptyString, false};
    rf_display_service_t rf_display{session.settings_directory()};  // RF recordings shown through their probe
    dicom_display_service_t dicom_display;                           // DICOM recordings' frames and window
    tool_session_t() { session.finish_start_up(); }
};

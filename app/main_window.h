// The application object: start-up in a fixed order, the idle tick that
// drives continuous work, and shut-down.
#pragma once

#include <memory>

#include <wx/app.h>
#include <wx/log.h>

#include "app_logic.h"
#include "common/functor.h"
#include "resources/core_session.h"

class gui_interaction_t;
class globcmap_t;
class ks_video_capture;
class live_pos;
class shown_gate_signal_t;
class live_recorder;
class posinfo;
class image_source_t;
class igtl_image_source_t;
class rf_display_service_t;
class dicom_display_service_t;
class zaberGantry;
class flapping;
class auto_correction_t;
class gantry_runner_t;

class MainWindow : public wxApp {
public:
    MainWindow();
    ~MainWindow() override;
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;
    void OnFatalException() override;

    // Binds the idle handler exactly while procedures worry about RES_IDLE_EVENT.
    void main_window_changed();
    bool idle_bound() const { return idle_bound_; }

    // Runs the start-up steps after the toolkit is up; shared with the GUI tests.
    bool start(const std::vector<wxString>& args);
    void shut_down();
    // The status the program ends with: non-zero after a command-line script that failed.
    int exit_code() const { return exit_code_; }

    // Recording from the live frames; the record page's handlers call it.
    live_recorder& recorder() { return *recorder_; }
    // How the OpenIGTLink images fare; empty while they are not running.
    wxString network_image_status() const;
    // The motorised gantry and what runs its sequence.
    zaberGantry& gantry() { return *gantry_; }
    gantry_runner_t& gantry_runner() { return *gantry_runner_; }
    // The swept probe's motor driver.
    flapping& probe_motor() { return *flapprobe_; }
    // Rebuilds the simulated image source when RES_SIM_IMAGE_SOURCE changes.
    void simulated_images_changed();
    // Connects the OpenIGTLink image source anew when RES_IGTL_SERVER changes.
    void network_images_changed();

private:
    void OnIdle(wxIdleEvent& event);
    void load_style_file(const wxString& exec_dir);

    std::unique_ptr<core_session_t> session_;
    std::unique_ptr<gui_interaction_t> interaction_;
    std::unique_ptr<globcmap_t> colourmap_;
    std::unique_ptr<image_source_t> simulated_source_;  // outlives the capture that drives it
    std::unique_ptr<igtl_image_source_t> network_source_;  // an OpenIGTLink server's images, likewise
    std::unique_ptr<ks_video_capture> video_capture_;
    std::unique_ptr<posinfo> position_source_;
    std::unique_ptr<live_pos> synchroniser_;
    shown_gate_signal_t* gate_signals_ = nullptr;  // owned by the synchroniser
    std::unique_ptr<live_recorder> recorder_;
    std::unique_ptr<zaberGantry> gantry_;
    std::unique_ptr<gantry_runner_t> gantry_runner_;
    std::unique_ptr<flapping> flapprobe_;
    std::unique_ptr<auto_correction_t> auto_correction_;  // follows the recorder
    std::unique_ptr<pmf_functor<MainWindow>> simulated_watcher_;
    std::unique_ptr<pmf_functor<MainWindow>> network_watcher_;
    std::unique_ptr<rf_display_service_t> rf_display_;
    std::unique_ptr<dicom_display_service_t> dicom_display_;
    std::unique_ptr<wxLogChain> log_chain_;
    std::unique_ptr<pmf_functor<MainWindow>> idle_watcher_;
    bool idle_bound_ = false;
    int exit_code_ = 0;
};

// One idle tick: count RES_IDLE_EVENT and run a change pass.
void idle_tick();

wxDECLARE_APP(MainWindow);

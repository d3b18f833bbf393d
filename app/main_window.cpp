#include "main_window.h"

#include <clocale>
#include <cstdlib>

#include <gtk/gtk.h>
#include <wx/display.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/progdlg.h>
#include <wx/utils.h>

#include "acquisition/igtl_image_source.h"
#include "acquisition/ks_video_capture.h"
#include "acquisition/live_pos.h"
#include "pages/record_page.h"
#include "acquisition/live_recorder.h"
#include "correction/auto_correction.h"
#include "devices/flapping.h"
#include "devices/gantry_runner.h"
#include "devices/zaber_gantry.h"
#include "acquisition/posinfo.h"
#include "simulators/simulated_capture.h"
#include "acquisition/rf_display.h"
#include "volumes/dicom_display.h"
#include "app_paths.h"
#include "display/globcmap.h"
#include "display/render_resolution.h"
#include "common/log_target.h"
#include "gui_interaction.h"
#include "help_book.h"
#include "main_frame.h"
#include "pages/script_page.h"
#include "reconstruction/reslice_info.h"
#include "resources/resource_table.h"

namespace {
constexpr long unset_cpu_power = 49999;  // the table's default: nothing measured yet
}  // namespace

void idle_tick()
{
    res->RES_IDLE_EVENT->write_no_changeprocs();
    base_res_t::make_pending_writes_happen();
}

MainWindow::MainWindow() = default;
MainWindow::~MainWindow() = default;

void MainWindow::load_style_file(const wxString& exec_dir)
{
    // GTK 3 reads no resource files; an optional style sheet of ours takes their place.
    const wxFileName style(exec_dir, "kestrane_style.css");
    if (!style.FileExists())
        return;
    GtkCssProvider* provider = gtk_css_provider_new();
    GError* error = nullptr;
    if (gtk_css_provider_load_from_path(provider, style.GetFullPath().utf8_str(), &error)) {
        gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    } else {
        wxLogWarning("Style file %s not used: %s", style.GetFullPath(), error ? error->message : "unreadable");
        if (error)
            g_error_free(error);
    }
    g_object_unref(provider);
}

bool MainWindow::start(const std::vector<wxString>& args)
{
    exit_code_ = 0;  // the tests start the program more than once
    std::setlocale(LC_NUMERIC, "C");  // numbers in files and dialogs always use a decimal point
    // Messages go to the message boxes and to the terminal, where they can be kept.
    log_chain_ = std::make_unique<wxLogChain>(new stderr_log_t);
    const wxString exec_dir = wxFindAppPath(args.empty() ? wxString() : args[0], wxFileName::GetCwd());
    load_style_file(exec_dir);
    wxHandleFatalExceptions(true);
    static const bool handlers_added = [] {
        wxInitAllImageHandlers();
        return true;
    }();
    (void)handlers_added;
    register_help_file_system();

    if (args.size() > 1)
        wxLogDebug("Kestrane called with %s", args[1]);
    const command_line_t cl = parse_command_line(args);
    // A script run never waits on a message box, not even during start-up
    // (a tracker port that is missing, say): its messages go to the terminal only.
    if (!cl.script.empty())
        log_chain_->PassMessages(false);
    wxString dir = cl.settings_dir;
    if (!dir.empty() && !wxFileName::DirExists(dir)) {
        wxLogWarning("Settings directory %s does not exist; using the home directory.", dir);
        dir.clear();
    }
    interaction_ = std::make_unique<gui_interaction_t>();
    set_interaction(interaction_.get());
    wxBusyCursor busy;
    std::unique_ptr<wxProgressDialog> progress;
    if (cl.script.empty())
        progress = std::make_unique<wxProgressDialog>("Initialising Kestrane", "Setting up internal resources ...", 100,
                                                      nullptr, wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxSTAY_ON_TOP);
    auto step = [&progress](int value, const wxString& message) {
        if (progress)
            progress->Update(value, message);
    };
    session_ = std::make_unique<core_session_t>(dir, exec_dir);
    // The rendering speed follows the machine unless the user has set it.
    if (res->RES_CPU_GRAPHICS_POWER->value() == unset_cpu_power)
        res->RES_CPU_GRAPHICS_POWER->write(guess_cpu_power());
    colourmap_ = std::make_unique<globcmap_t>();
    colourmap = colourmap_.get();
    use_published_reslice_loads(*colourmap_);  // the rendering divisor follows the open reslice windows
    rf_display_ = std::make_unique<rf_display_service_t>(session_->settings_directory());
    dicom_display_ = std::make_unique<dicom_display_service_t>();

    step(10, "Searching for image sources ...");
    video_capture_ = std::make_unique<ks_video_capture>();
    vid = video_capture_.get();
    step(40, "Searching for position sensors ...");
    position_source_ = std::make_unique<posinfo>(interaction());
    pos = position_source_.get();
    auto signals = std::make_unique<shown_gate_signal_t>();
    gate_signals_ = signals.get();
    synchroniser_ = std::make_unique<live_pos>(std::move(signals));
    lipo = synchroniser_.get();
    recorder_ = std::make_unique<live_recorder>();
    lipo->set_sweep_control(recorder_.get());
    // Each finished sweep is corrected from its images when the user asked for it.
    auto_correction_ = std::make_unique<auto_correction_t>();
    recorder_->set_observer(auto_correction_.get());
    // The simulated images need the synchroniser for the phantom's poses.
    simulated_images_changed();
    simulated_watcher_ = std::make_unique<pmf_functor<MainWindow>>(this, &MainWindow::simulated_images_changed);
    res->RES_SIM_IMAGE_SOURCE->add_proc(simulated_watcher_.get());
    res->RES_ASCII_FILENAME->add_proc(simulated_watcher_.get());
    network_source_ = std::make_unique<igtl_image_source_t>(nullptr);
    network_images_changed();
    network_watcher_ = std::make_unique<pmf_functor<MainWindow>>(this, &MainWindow::network_images_changed);
    res->RES_IGTL_SERVER->add_proc(network_watcher_.get());
    step(70, "Searching for motor driver ...");
    flapprobe_ = std::make_unique<flapping>();
    flapprobe = flapprobe_.get();
    lipo->set_sweep_model(flapprobe_->sweep_model());
    lipo->set_sweep_angle_source(flapprobe_->angle_source());
    gantry_ = std::make_unique<zaberGantry>();
    zgantry = gantry_.get();
    gantry_runner_ = std::make_unique<gantry_runner_t>(
        *gantry_, [this] { return static_cast<long>(recorder_->sweep_boundaries().size()); });
    lipo->set_stage_gate([this](std::uint64_t t) { return gantry_runner_->accept_frame(t); });
    step(90, "Creating windows ...");
    const wxRect area = wxDisplay(0u).GetClientArea();
    auto* frame = new MainFrame("kestrane", area.x, area.y, area.width, area.height);  // the toolkit owns windows
    gate_signals_->set_display([frame](gate_signal_kind_t kind) {
        if (frame->record())
            frame->record()->show_signal(kind);
    });
    step(100, "");
    progress.reset();
    session_->finish_start_up();

    idle_watcher_ = std::make_unique<pmf_functor<MainWindow>>(this, &MainWindow::main_window_changed);
    res->RES_IDLE_EVENT->read_worrylist_length(idle_watcher_.get());
    main_window_changed();

    frame->open_from_command_line(cl);
    frame->Show();
    SetTopWindow(frame);
    wxCommandEvent layout;
    frame->OnGUI3D(layout);
    if (!cl.script.empty()) {
        // Once the loop runs, so that the views a script saves have been drawn.
        CallAfter([this, frame, cl] {
            const bool ok = run_script_file(frame->task_notebook(), cl.script);
            if (!ok)
                wxLogError("The script %s did not complete.", cl.script);
            if (cl.exit_after_script) {
                exit_code_ = ok ? 0 : 1;
                frame->Destroy();
                ExitMainLoop();
            }
        });
    }
    return true;
}

bool MainWindow::OnInit()
{
    std::vector<wxString> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(argv[i]);
    if (!start(args))
        return false;
    if (wxGetEnv("KESTRANE_EXIT_AFTER_START", nullptr))  // smoke tests: start fully, then close
        CallAfter([] {
            if (main_win)
                main_win->Close(true);
        });
    return true;
}

void MainWindow::main_window_changed()
{
    const bool wanted = res->RES_IDLE_EVENT->read_worrylist_length() > 0;
    if (wanted && !idle_bound_) {
        Bind(wxEVT_IDLE, &MainWindow::OnIdle, this);
        idle_bound_ = true;
        wxWakeUpIdle();
    } else if (!wanted && idle_bound_) {
        Unbind(wxEVT_IDLE, &MainWindow::OnIdle, this);
        idle_bound_ = false;
    }
}

void MainWindow::OnIdle(wxIdleEvent& event)
{
    idle_tick();
    if (res)
        idle_tick();
    event.RequestMore();
    event.Skip();
}

void MainWindow::simulated_images_changed()
{
    // Another recording opened or started: only a replay shows its frames.
    if (simulated_source_ && !res->RES_SIM_IMAGE_SOURCE->changed() &&
        res->RES_SIM_IMAGE_SOURCE->value() != SIMULATED_REPLAY)
        return;
    auto source = simulated_source_from_settings();
    if (source && video_capture_)
        video_capture_->add_source(source.get());
    simulated_source_ = std::move(source);  // the old one goes only after the capture let go of it
}

wxString MainWindow::network_image_status() const
{
    return network_source_ ? network_source_->status_text() : wxString();
}

void MainWindow::network_images_changed()
{
    // Offered again: a running source stops and starts on the new server.
    if (video_capture_)
        video_capture_->add_source(network_source_.get(), ks_video_capture::source_slot_t::network);
}

void MainWindow::shut_down()
{
    if (idle_bound_)
        Unbind(wxEVT_IDLE, &MainWindow::OnIdle, this);
    idle_bound_ = false;
    idle_watcher_.reset();
    simulated_watcher_.reset();
    network_watcher_.reset();
    if (gate_signals_)
        gate_signals_->set_display({});  // the frame goes with the toolkit
    gate_signals_ = nullptr;
    if (recorder_)
        recorder_->stop();
    if (synchroniser_) {
        synchroniser_->set_stage_gate({});
        synchroniser_->set_sweep_model({});
        synchroniser_->set_sweep_angle_source({});
    }
    flapprobe = nullptr;
    flapprobe_.reset();  // waits for the motor and closes its port
    gantry_runner_.reset();
    zgantry = nullptr;
    gantry_.reset();  // stops the axes and closes the port
    if (recorder_)
        recorder_->set_observer(nullptr);
    recorder_.reset();
    auto_correction_.reset();
    lipo = nullptr;
    synchroniser_.reset();     // stops listening to the devices
    pos = nullptr;
    position_source_.reset();  // tells the tracker to stop before the resources go
    vid = nullptr;
    video_capture_.reset();    // gives the capture buffers back to the driver
    simulated_source_.reset();
    network_source_.reset();
    set_interaction(nullptr);
    dicom_display_.reset();
    rf_display_.reset();
    colourmap = nullptr;
    colourmap_.reset();
    session_.reset();  // writes the settings file
    interaction_.reset();
    log_chain_.reset();
}

int MainWindow::OnRun()
{
    const int loop = wxApp::OnRun();
    return exit_code_ != 0 ? exit_code_ : loop;  // a failed command-line script shows in the status
}

int MainWindow::OnExit()
{
    shut_down();
    return wxApp::OnExit();
}

void MainWindow::OnFatalException()
{
    wxMessageBox("There has been a fatal error and Kestrane must now close.", "Fatal error in Kestrane",
                 wxOK | wxICON_ERROR);
    session_.reset();  // the settings file is saved even now
}

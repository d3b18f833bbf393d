// The main window: menus, toolbar, status bar, the task and visual notebooks,
// the data windows and the frame slider. Every control reads and writes
// resources; the window reacts to changes through its change procedures.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <wx/datetime.h>
#include <wx/frame.h>
#include <wx/weakref.h>

#include "app_logic.h"
#include "common/cip.h"
#include "common/counted_array_ptr.h"
#include "common/functor.h"

class wxPanel;
class wxNotebook;
class wxSlider;
class wxSplitterWindow;
class wxStaticText;
class wxToolBar;
class review_canvas;
class view3d_canvas;
class igtl_server_t;
class igtl_live_stream_t;
class template_page;
class record_page;
class draw_page;
class base_res_t;
class reslice_canvas;
struct reslice_views_t;
class help_book_t;
class zaber_dialog;

class calib_internals;
class probe_calib_page;

class MainFrame : public wxFrame {
public:
    // No data window or page area is made smaller than this: below it the
    // views and pages stop being usable.
    static constexpr int min_pane_size = 150;

    MainFrame(const wxString& title, int x, int y, int width, int height);
    ~MainFrame() override;

    // Opens a recording or template named on the command line.
    void open_from_command_line(const command_line_t& cl);

    // Parts of the window that tests and the script interpreter reach.
    review_canvas* review() const { return review_; }
    reslice_canvas* lower_centre() const { return lower_centre_; }
    reslice_canvas* lower_right() const { return lower_right_; }
    reslice_views_t& reslices() const { return *reslices_; }
    view3d_canvas* view3d() const { return view3d_; }
    wxNotebook* task_notebook() const { return task_book_; }
    wxNotebook* visual_notebook() const { return visual_book_; }
    wxSlider* frame_slider() const { return slider_; }
    const wxStaticText* info_label() const { return info_label_; }
    record_page* record() const { return record_; }
    draw_page* draw() const { return draw_; }
    probe_calib_page* probe_calib() const { return probe_calib_; }
    // The floor line or stylus tip of a live frame, on the pages that calibrate with them.
    void feed_calibration(const cip_t& image, const counted_array_ptr<float>& pose,
                          const counted_array_ptr<float>& pointer, std::uint64_t time);
    // The position of a task page (ID_TASK_...) in the task book, -1 for none.
    static int task_page_index(int id);
    calib_internals* calib() const { return calib_.get(); }
    long live_frames_shown() const { return live_shown_; }  // since the program started
    bool config_mode() const { return config_mode_; }
    bool playing() const;

    // Change procedures.
    void main_frame_changed();
    void VideoRateCounter();
    wxString UpdateMainInfoLab(double frames_per_second, long frames);
    // Confirms a file written, in the status bar's message field.
    void report_saved(const wxString& path);

    // Handlers, public so that scripts can call them by id.
    void OnFileNew(wxCommandEvent&);
    void OnFileOpen(wxCommandEvent&);
    void OnDirOpen(wxCommandEvent&);
    void OnFileSave(wxCommandEvent&);
    void OnFileSaveas(wxCommandEvent&);
    void OnFileComment(wxCommandEvent&);
    void OnFileExportFrames(wxCommandEvent&);
    void OnFileExportVolumes(wxCommandEvent&);
    void OnFileExportVoxels(wxCommandEvent&);
    void OnFileOpenTemplate(wxCommandEvent&);
    void OnFileSaveasTemplate(wxCommandEvent&);
    void OnFileGrab(wxCommandEvent&);
    void OnFileQuit(wxCommandEvent&);
    void OnTaskPage(wxCommandEvent&);
    void OnVisualPage(wxCommandEvent&);
    void OnGUI2D(wxCommandEvent&);
    void OnGUI3D(wxCommandEvent&);
    void OnGUILeft(wxCommandEvent&);
    void OnGUIRight(wxCommandEvent&);
    void OnGUIBoth(wxCommandEvent&);
    void OnGUIColour(wxCommandEvent&);
    void OnGUIOptions(wxCommandEvent&);
    void OnGUIConfig(wxCommandEvent&);
    void OnGUIPassword(wxCommandEvent&);
    void OnConfigPositionSource(wxCommandEvent&);
    void OnConfigImageSource(wxCommandEvent&);
    void OnConfigRfDisplay(wxCommandEvent&);
    void OnConfigDicom(wxCommandEvent&);
    void OnConfigStreaming(wxCommandEvent&);  // starts or stops the OpenIGTLink server
    void OnConfigZaber(wxCommandEvent&);      // shows the gantry dialog (main_frame_motors.cpp)
    void OnConfigProbeMotor(wxCommandEvent&);  // the swept probe's motor dialog
    zaber_dialog* gantry_dialog() const { return zaber_dialog_.get(); }
    void OnNotAvailable(wxCommandEvent&);
    void OnHelpWindow(wxCommandEvent&);
    void OnHelpAbout(wxCommandEvent&);
    void OnToggleLive(wxCommandEvent&);
    void OnPlay(wxCommandEvent&);
    void OnClear(wxCommandEvent&);
    // Recording and the live image (main_frame_record.cpp).
    void OnRecord(wxCommandEvent&);
    void OnClearRecord(wxCommandEvent&);
    void FinishSweep();
    // Presses or releases the Live tool, when it is enabled, and acts on it.
    void ClickLive();
    // Switches recording off, then the live image, whichever is on.
    void DisableLiveRecord();
    void LiveChanged();
    void LiveActivity();
    void OnTool(wxCommandEvent&);
    void OnDisplayToggle(wxCommandEvent&);
    void OnFrameSlider(wxCommandEvent&);
    void OnClose(wxCloseEvent&);

    // Switches the configuration lock; from the menu the password is asked.
    void set_config_mode(bool config);
    // True when there is nothing unsaved, or the user agrees to lose it.
    bool ignore_unsaved_changes();

private:
    void build_menus();
    void build_toolbar();
    void build_windows();
    void CreateTaskPages(wxNotebook* book);
    void CreateVisualPages(wxNotebook* book);
    void register_procedures();
    void unregister_procedures();
    void layout_controls(int where);  // 0 left, 1 right, 2 both sides
    int control_column_width() const;
    void stop_playback();
    void show_data_path();
    void show_reslices();  // the views of the selected visual page
    void show_info(const wxString& text);  // the label beside the slider
    void show_rf_state();  // RF items and the oscilloscope page follow RES_RFSCOPE_VIABLE
    bool read_recording(const wxString& path);
    void follow_live_source();
    void show_live(const cip_t& image, const counted_array_ptr<float>& pose);

    // Windows.
    wxSplitterWindow* outer_split_ = nullptr;    // control column | data
    wxSplitterWindow* control_split_ = nullptr;  // task book / visual book
    wxSplitterWindow* right_split_ = nullptr;    // data | visual book, when controls sit on both sides
    wxSplitterWindow* data_split_ = nullptr;     // upper / lower data windows
    wxSplitterWindow* upper_split_ = nullptr;    // review | 3D
    wxSplitterWindow* lower_split_ = nullptr;    // lower centre | lower right
    wxPanel* data_panel_ = nullptr;
    reslice_canvas* lower_centre_ = nullptr;  // the reslice views of the visual pages
    reslice_canvas* lower_right_ = nullptr;
    std::unique_ptr<reslice_views_t> reslices_;
    std::unique_ptr<igtl_server_t> igtl_server_;       // while streaming
    std::unique_ptr<igtl_live_stream_t> igtl_stream_;  // the live frames, to the server
    wxWeakRef<zaber_dialog> zaber_dialog_;              // modeless, kept once opened
    wxNotebook* task_book_ = nullptr;
    wxNotebook* visual_book_ = nullptr;
    review_canvas* review_ = nullptr;
    view3d_canvas* view3d_ = nullptr;
    wxSlider* slider_ = nullptr;
    wxStaticText* info_label_ = nullptr;
    wxToolBar* toolbar_ = nullptr;
    template_page* templates_ = nullptr;
    record_page* record_ = nullptr;
    draw_page* draw_ = nullptr;
    probe_calib_page* probe_calib_ = nullptr;
    std::shared_ptr<calib_internals> calib_;  // the live side of calibration, shared through RES_CALIB_ACTIVE
    std::unique_ptr<help_book_t> help_;
    bool help_ok_ = false;

    // Change procedures, one functor each.
    std::unique_ptr<pmf_functor<MainFrame>> changed_proc_;
    std::unique_ptr<pmf_functor<MainFrame>> rate_proc_;
    // Its own: RES_RFSCOPE_VIABLE is often set in a pass main_frame_changed has already run in.
    std::unique_ptr<pmf_functor<MainFrame>> rf_proc_;
    std::unique_ptr<pmf_functor<MainFrame>> live_proc_;        // on the live switch and what it depends on
    std::unique_ptr<pmf_functor<MainFrame>> live_frame_proc_;  // on the frames shown live
    base_res_t* live_source_ = nullptr;                        // the event live_frame_proc_ listens to
    std::uint64_t last_live_time_ = 0;                         // of the live frame shown last
    long live_shown_ = 0;

    bool config_mode_ = false;
    info_label_t info_;
    playback_clock_t playback_;
    long last_slider_position_ = -1;
    // Frame-rate counter.
    std::int64_t rate_count_ = 0;
    std::uint64_t rate_first_time_ = 0;
    wxDateTime rate_next_report_;
    wxTimeSpan rate_interval_ = wxTimeSpan::Milliseconds(1000);

    wxDECLARE_EVENT_TABLE();
};

extern MainFrame* main_win;

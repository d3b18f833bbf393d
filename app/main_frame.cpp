#include "main_frame.h"

#include <algorithm>

#include <gtk/gtk.h>
#include <wx/artprov.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/slider.h>
#include <wx/splitter.h>
#include <wx/statusbr.h>
#include <wx/stattext.h>
#include <wx/settings.h>
#include <wx/toolbar.h>

#include "acquisition/igtl_live_stream.h"
#include "help_book.h"
#include "ids.h"
#include "pages/draw_page.h"
#include "pages/landmarks_page.h"
#include "pages/pressure_pages.h"
#include "pages/shape_model_page.h"
#include "pages/spine_page.h"
#include "pages/record_page.h"
#include "pages/reslice_pages.h"
#include "pages/rfscope_page.h"
#include "pages/template_page.h"
#include "pages/script_page.h"
#include "pages/thickness_task_page.h"
#include "pages/thickness_visual_page.h"
#include "resources/resource_table.h"
#include "toolbar_icons.h"
#include "calibration/calib_internals.h"
#include "pages/pointer_pages.h"
#include "pages/probe_calib_page.h"
#include "surfaces/mesh_hit.h"
#include "views/reslice_canvas.h"
#include "views/review_canvas.h"
#include "views/view3d_canvas.h"

MainFrame* main_win = nullptr;

namespace {

struct menu_item_t {
    int id;
    const char* label;
    const char* help;
};

struct page_t {
    const char* title;
    int id;
    const char* label;
    const char* help;
};

const page_t task_pages[] = {
    {"Templates", ID_TASK_TEMPLATES, "&Templates", "Choose a template file to load"},
    {"Record", ID_TASK_RECORD, "&Record", "Record freehand 3D data"},
    {"Probe calib", ID_TASK_CALIBRATE, "Probe ca&lib", "Perform spatial calibration"},
    {"Isocentre", ID_TASK_ISOCENTRE, "&Isocentre", "Calibrate to isocentre"},
    {"Pointer", ID_TASK_POINTER, "&Pointer", "Calibrate pointing device"},
    {"Cal with pointer", ID_TASK_POINT_CAL, "Cal &with pointer", "Perform spatial calibration with pointer"},
    {"Pressure", ID_TASK_PRESSURE, "Pr&essure", "Correction of probe pressure artefacts"},
    {"Draw", ID_TASK_DRAW, "&Draw", "Draw and measure objects"},
    {"Landmarks", ID_TASK_LANDMARKS, "&Landmarks", "View landmark information"},
    {"Strain", ID_TASK_STRAIN, "&Strain", "View and process strain images"},
    {"Thickness", ID_TASK_THICKNESS, "Thic&kness", "Calculation of cortical thickness"},
    {"Fit shape model", ID_TASK_SSM, "&Fit shape model", "Fit shape model"},
    {"Scripts", ID_TASK_SCRIPT, "S&cript", "Run Script"},
    {"Spine", ID_TASK_SPINE, "Spi&ne", "Assessment of spine"},
};

const page_t visual_pages[] = {
    {"Blank", ID_VISUAL_NONE, "&None", "Clear the lower visual pane"},
    {"Ortho", ID_VISUAL_ORTHO, "&Orthographic", "Display two additional mutually orthogonal planes"},
    {"Reslice", ID_VISUAL_RESLICE, "&Reslice", "Display an arbitrarily orientable plane"},
    {"Isocentre", ID_VISUAL_ISOCENTRE, "&Isocentre", "Display a plane oriented with the external coordinates"},
    {"Panorama", ID_VISUAL_PANORAMA, "&Panorama", "Display an extended field-of-view image"},
    {"Pressure", ID_VISUAL_PRESSURE, "Pr&essure", "Display a plane oriented for probe pressure correction"},
    {"Thickness", ID_VISUAL_THICKNESS, "Thic&kness", "Visualisation of cortical thickness"},
    {"RF Oscilloscope", ID_VISUAL_RFSCOPE, "RF oscillo&scope", "Display RF traces on an oscilloscope"},
    {"Spine", ID_VISUAL_SPINE, "Spi&ne", "Spine measurements"},
};

// The RF oscilloscope item comes before the thickness item in the menu.
const int visual_menu_order[] = {0, 1, 2, 3, 4, 5, 7, 6, 8};

void add_items(wxMenu* menu, std::initializer_list<menu_item_t> items, std::initializer_list<int> separators_after)
{
    for (const menu_item_t& item : items) {
        menu->Append(item.id, item.label, item.help);
        for (int s : separators_after)
            if (s == item.id)
                menu->AppendSeparator();
    }
}

}  // namespace

wxBEGIN_EVENT_TABLE(MainFrame, wxFrame)
    EVT_MENU(ID_FILE_NEW, MainFrame::OnFileNew)
    EVT_MENU(ID_FILE_OPEN, MainFrame::OnFileOpen)
    EVT_MENU(ID_FILE_OPEN_DIR, MainFrame::OnDirOpen)
    EVT_MENU(ID_FILE_SAVE, MainFrame::OnFileSave)
    EVT_MENU(ID_FILE_SAVEAS, MainFrame::OnFileSaveas)
    EVT_MENU(ID_FILE_CLOSE, MainFrame::OnFileNew)
    EVT_MENU(ID_FILE_COMMENT, MainFrame::OnFileComment)
    EVT_MENU(ID_FILE_EXPORT_FRAMES, MainFrame::OnFileExportFrames)
    EVT_MENU(ID_FILE_EXPORT_VOLUMES, MainFrame::OnFileExportVolumes)
    EVT_MENU(ID_FILE_EXPORT_VOXELS, MainFrame::OnFileExportVoxels)
    EVT_MENU_RANGE(ID_FILE_GRAB_REVIEW, ID_FILE_GRAB_RIGHT, MainFrame::OnFileGrab)
    EVT_MENU(ID_FILE_OPEN_TEMPLATE, MainFrame::OnFileOpenTemplate)
    EVT_MENU(ID_FILE_SAVEAS_TEMPLATE, MainFrame::OnFileSaveasTemplate)
    EVT_MENU(ID_FILE_QUIT, MainFrame::OnFileQuit)
    EVT_MENU_RANGE(ID_TASK_TEMPLATES, ID_TASK_SPINE, MainFrame::OnTaskPage)
    EVT_MENU(ID_GUI_2D, MainFrame::OnGUI2D)
    EVT_MENU(ID_GUI_3D, MainFrame::OnGUI3D)
    EVT_MENU(ID_GUI_LEFT, MainFrame::OnGUILeft)
    EVT_MENU(ID_GUI_RIGHT, MainFrame::OnGUIRight)
    EVT_MENU(ID_GUI_BOTH, MainFrame::OnGUIBoth)
    EVT_MENU(ID_GUI_COLOUR, MainFrame::OnGUIColour)
    EVT_MENU(ID_GUI_CONFIG, MainFrame::OnGUIConfig)
    EVT_MENU(ID_GUI_PASSWORD, MainFrame::OnGUIPassword)
    EVT_MENU(ID_GUI_OPTIONS, MainFrame::OnGUIOptions)
    EVT_MENU(ID_CONFIG_POSITION_SOURCE, MainFrame::OnConfigPositionSource)
    EVT_MENU(ID_CONFIG_IMAGE_SOURCE, MainFrame::OnConfigImageSource)  // before the range: the first match handles it
    EVT_MENU(ID_CONFIG_RF_DISPLAY, MainFrame::OnConfigRfDisplay)
    EVT_MENU(ID_CONFIG_DICOM, MainFrame::OnConfigDicom)
    EVT_MENU(ID_CONFIG_STREAMING, MainFrame::OnConfigStreaming)
    EVT_MENU(ID_CONFIG_ZABER, MainFrame::OnConfigZaber)
    EVT_MENU(ID_CONFIG_PROBE_MOTOR, MainFrame::OnConfigProbeMotor)
    EVT_MENU_RANGE(ID_CONFIG_IMAGE_SOURCE, ID_CONFIG_ZABER, MainFrame::OnNotAvailable)
    EVT_MENU(ID_HELP_WINDOW, MainFrame::OnHelpWindow)
    EVT_MENU(ID_HELP_ABOUT, MainFrame::OnHelpAbout)
    EVT_TOOL(ID_TOOL_LIVE, MainFrame::OnToggleLive)
    EVT_TOOL(ID_TOOL_RECORD, MainFrame::OnRecord)
    EVT_TOOL(ID_TOOL_PLAY, MainFrame::OnPlay)
    EVT_TOOL(ID_TOOL_CLEAR, MainFrame::OnClear)
    EVT_TOOL_RANGE(ID_TOOL_DRAG, ID_TOOL_DRAG_ZOOM, MainFrame::OnTool)
    EVT_TOOL_RANGE(ID_TOOL_LOCK_ZOOM, ID_TOOL_INVERT, MainFrame::OnDisplayToggle)
    EVT_SLIDER(ID_FRAME_SLIDER, MainFrame::OnFrameSlider)
    EVT_CLOSE(MainFrame::OnClose)
wxEND_EVENT_TABLE()

MainFrame::MainFrame(const wxString& title, int x, int y, int width, int height)
    : wxFrame(nullptr, wxID_ANY, title, wxPoint(x, y), wxSize(width, height))
{
    main_win = this;
    reslices_ = std::make_unique<reslice_views_t>();
    install_reslice_windows(reslices_.get());  // scripts move and save these reslices
    for (const page_t& p : visual_pages)
        Bind(wxEVT_MENU, &MainFrame::OnVisualPage, this, p.id);
    build_menus();
    build_toolbar();
    // Messages, alerts, the data file, and where the slider stands.
    wxStatusBar* status = CreateStatusBar(4);
    const int where_width = status->GetTextExtent(frame_position_text(99998, 99999)).GetWidth() + 24;
    const int widths[] = {-2, -2, -3, where_width};
    SetStatusWidths(4, widths);
    SetStatusText(res->RES_ALERT_STRING->value(), 1);  // what start-up found
    build_windows();
    register_procedures();
    set_config_mode(true);

    help_ = std::make_unique<help_book_t>(this);
    help_ok_ = help_->load(res->RES_EXEC_DIR->value());
    if (!help_ok_)
        wxLogError("Failed to load help file kestrane_help.zip\nHelp menu item will be inactive.");
}

MainFrame::~MainFrame()
{
    unregister_procedures();
    if (res && res->RES_CALIB_ACTIVE->value() == calib_)
        res->RES_CALIB_ACTIVE->write(nullptr);
    install_reslice_windows(nullptr);
    if (main_win == this)
        main_win = nullptr;
}

void MainFrame::build_menus()
{
    auto* file = new wxMenu;
    add_items(file,
              {{ID_FILE_NEW, "&New...\tCtrl+N", "Close the current data set"},
               {ID_FILE_OPEN, "&Open...\tCtrl+O", "Open a new data set"},
               {ID_FILE_OPEN_DIR, "&Open directory...\tCtrl+D", "Search a directory for files"},
               {ID_FILE_SAVE, "&Save\tCtrl+S", "Save the current data"},
               {ID_FILE_SAVEAS, "Save &as...\tCtrl+A", "Save the current data as a new file name"},
               {ID_FILE_CLOSE, "&Close\tCtrl+C", "Close the current data set"},
               {ID_FILE_COMMENT, "Edit comment", "Add, edit or view a comment saved with this data"},
               {ID_FILE_EXPORT_FRAMES, "Export frames", "Export individual images in Kestrane or image formats"},
               {ID_FILE_EXPORT_VOLUMES, "Export volumes", "Export a pair of volumes from a multiple volume data set"},
               {ID_FILE_EXPORT_VOXELS, "Export voxels", "Export a regular isotropic volume of data in Kestrane format"},
               {ID_FILE_GRAB_REVIEW, "Grab review window", "Grab the review window and save to an image file"},
               {ID_FILE_GRAB_3D, "Grab 3D window", "Grab the 3D window and save to an image file"},
               {ID_FILE_GRAB_CENTRE, "Grab centre/left window",
                "Grab the lower centre or left hand window and save to an image file"},
               {ID_FILE_GRAB_RIGHT, "Grab right window", "Grab the lower right hand window and save to an image file"},
               {ID_FILE_OPEN_TEMPLATE, "Open template", "Set current settings from a template file"},
               {ID_FILE_SAVEAS_TEMPLATE, "Save as template", "Save current settings as a new template file"},
               {ID_FILE_QUIT, "&Quit\tCtrl+Q", "Exit kestrane."}},
              {ID_FILE_CLOSE, ID_FILE_COMMENT, ID_FILE_EXPORT_VOXELS, ID_FILE_GRAB_RIGHT, ID_FILE_SAVEAS_TEMPLATE});

    auto* task = new wxMenu;
    for (const page_t& p : task_pages)
        task->Append(p.id, p.label, p.help);
    auto* configure = new wxMenu;
    add_items(configure,
              {{ID_CONFIG_IMAGE_SOURCE, "&Image source", "Setup the source for ultrasound image capture"},
               {ID_CONFIG_POSITION_SOURCE, "&Position source", "Setup the sensor to record probe positions"},
               {ID_CONFIG_PROBE_MOTOR, "Probe &motor control", "Controls for 3D probe motor"},
               {ID_CONFIG_ZABER, "&Zaber gantry control", "Controls for zaber gantry"},
               {ID_CONFIG_DICOM, "DIC&OM display", "Determine how DICOM data is displayed and calibrated"},
               {ID_CONFIG_STREAMING, "&Streaming (OpenIGTLink)...",
                "Send the live frames and poses to OpenIGTLink clients such as 3D Slicer"},
               {ID_CONFIG_RF_DISPLAY, "RF &display", "Determine how RF data is displayed"},
               {ID_CONFIG_RF_STRAIN, "RF &strain settings", "Settings for RF strain display"},
               {ID_CONFIG_RF_EXPERIMENTAL, "RF &experimental", "Experimental settings for RF display"}},
              {});
    auto* visual = new wxMenu;
    for (int k : visual_menu_order)
        visual->Append(visual_pages[k].id, visual_pages[k].label, visual_pages[k].help);
    auto* gui = new wxMenu;
    add_items(gui,
              {{ID_GUI_2D, "Windows for &2D", "Layout visualisation windows for 2D data"},
               {ID_GUI_3D, "Windows for &3D", "Layout visualisation windows for 3D data"},
               {ID_GUI_COLOUR, "Window &colour", "Background colour for all data windows"},
               {ID_GUI_LEFT, "Controls on &left", "Put task and visualisation pages on the left"},
               {ID_GUI_RIGHT, "Controls on &right", "Put task and visualisation pages on the right"},
               {ID_GUI_BOTH, "Controls &both sides", "Put task pages on the left and visualisation pages on the right"},
               {ID_GUI_OPTIONS, "&Options", "Gui, mouse and shortcut options"},
               {ID_GUI_CONFIG, "Start &protected mode", "Disable all task pages and controls for configuring kestrane"},
               {ID_GUI_PASSWORD, "Set access &password", "Set the password for enabling config mode"}},
              {ID_GUI_BOTH, ID_GUI_OPTIONS});
    auto* help = new wxMenu;
    help->Append(ID_HELP_WINDOW, "&Help window \tF1");
    help->Append(ID_HELP_ABOUT, "&About...\tShift+F1");

    auto* bar = new wxMenuBar;
    bar->Append(file, "&File");
    bar->Append(task, "&Task");
    bar->Append(configure, "&Configure");
    bar->Append(visual, "&Visual");
    bar->Append(gui, "&GUI");
    bar->Append(help, "&Help");
    SetMenuBar(bar);
}

void MainFrame::build_toolbar()
{
    toolbar_ = CreateToolBar(wxTB_HORIZONTAL | wxTB_TEXT | wxTB_FLAT);
    const int size = static_cast<int>(std::clamp<std::int64_t>(res->RES_ICON_SIZE->value(), 16, 64));
    auto add = [&](int id, const char* label, const char* help, wxItemKind kind) {
        toolbar_->AddTool(id, label, toolbar_icon(id, size), help, kind);
    };
    add(ID_TOOL_LIVE, "Live", "Toggle between preview and review display modes", wxITEM_CHECK);
    add(ID_TOOL_RECORD, "Record", "Toggle recording of US data", wxITEM_CHECK);
    add(ID_TOOL_CLEAR, "Clear", "Clear recorded US data", wxITEM_NORMAL);
    add(ID_TOOL_PLAY, "Play", "Play/Pause recorded US data", wxITEM_CHECK);
    toolbar_->AddSeparator();
    toolbar_->AddControl(new wxStaticText(toolbar_, wxID_ANY, "Tool:"));
    add(ID_TOOL_DRAG, "Drag", "Rotation of 3D data or windowing of DICOM data", wxITEM_RADIO);
    add(ID_TOOL_SELECT, "Select", "Select a region for processing", wxITEM_RADIO);
    add(ID_TOOL_MARK, "Mark", "Mark locations in the windows", wxITEM_RADIO);
    add(ID_TOOL_DRAW, "Draw", "Outline features in the review window", wxITEM_RADIO);
    add(ID_TOOL_MEASURE, "Measure", "Measure lengths in the review window", wxITEM_RADIO);
    add(ID_TOOL_ERASE, "Erase", "Erase components in the windows", wxITEM_RADIO);
    add(ID_TOOL_DRAG_ZOOM, "Drag zoom", "Click and drag to zoom the windows", wxITEM_RADIO);
    add(ID_TOOL_LOCK_ZOOM, "Lock zoom", "Do not adjust zoom for window size", wxITEM_CHECK);
    toolbar_->AddSeparator();
    toolbar_->AddControl(new wxStaticText(toolbar_, wxID_ANY, "Display:"));
    add(ID_TOOL_INVERT, "Invert Image", "Flip the image vertically in the review window", wxITEM_CHECK);
    add(ID_TOOL_SINGLE_FRAME, "Single frame", "Display only the current frame in the 3D window", wxITEM_CHECK);
    add(ID_TOOL_ALL_FRAMES, "All frames", "Display all frames in the 3D window", wxITEM_CHECK);
    add(ID_TOOL_LANDMARKS, "Display landmarks", "Display landmarks in all windows", wxITEM_CHECK);
    add(ID_TOOL_OBJECTS, "Display objects", "Display any contours or surfaces in all windows", wxITEM_CHECK);
    toolbar_->Realize();
    // Each tool only as wide as its own label, with narrow padding: sized
    // alike, every tool took the longest label's width and the Display
    // toggles fell into the overflow menu even on a screen 1280 pixels wide.
    if (GtkToolbar* bar = toolbar_->GTKGetToolbar()) {
        for (int i = 0; i < gtk_toolbar_get_n_items(bar); ++i)
            gtk_tool_item_set_homogeneous(gtk_toolbar_get_nth_item(bar, i), FALSE);
        gtk_widget_set_name(GTK_WIDGET(bar), "kestrane-toolbar");
        static const bool styled = [bar] {  // once per screen, however many windows are made
            GtkCssProvider* css = gtk_css_provider_new();
            gtk_css_provider_load_from_data(css,
                                            "#kestrane-toolbar toolbutton, #kestrane-toolbar toolbutton button, "
                                            "#kestrane-toolbar label { padding: 1px 2px; margin: 0; min-width: 0; }",
                                            -1, nullptr);
            // Just below the user's kestrane_style.css, which may still change it.
            gtk_style_context_add_provider_for_screen(gtk_widget_get_screen(GTK_WIDGET(bar)), GTK_STYLE_PROVIDER(css),
                                                      GTK_STYLE_PROVIDER_PRIORITY_APPLICATION - 1);
            g_object_unref(css);
            return true;
        }();
        (void)styled;
    }
    toolbar_->ToggleTool(ID_TOOL_DRAG, true);
    toolbar_->ToggleTool(ID_TOOL_LOCK_ZOOM, res->RES_LOCK_ZOOM->value());
    toolbar_->ToggleTool(ID_TOOL_INVERT, res->RES_INVERT_BSCAN->value());
    toolbar_->ToggleTool(ID_TOOL_SINGLE_FRAME, res->RES_DISPLAY_FRAME->value() == 1);
    toolbar_->ToggleTool(ID_TOOL_ALL_FRAMES, res->RES_DISPLAY_FRAME->value() == 2);
    toolbar_->ToggleTool(ID_TOOL_LANDMARKS, res->RES_SEE_MARK->value());
    toolbar_->ToggleTool(ID_TOOL_OBJECTS, res->RES_SEE_DRAW->value());
}

void MainFrame::build_windows()
{
    const auto splitter = [](wxWindow* parent) {
        auto* s = new wxSplitterWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D | wxSP_LIVE_UPDATE);
        s->SetMinimumPaneSize(min_pane_size);
        return s;
    };
    outer_split_ = splitter(this);
    control_split_ = splitter(outer_split_);
    task_book_ = new wxNotebook(control_split_, wxID_ANY);
    visual_book_ = new wxNotebook(control_split_, wxID_ANY);
    calib_ = std::make_shared<calib_internals>();
    res->RES_CALIB_ACTIVE->write(calib_);
    CreateTaskPages(task_book_);
    CreateVisualPages(visual_book_);

    data_panel_ = new wxPanel(outer_split_);
    data_split_ = splitter(data_panel_);
    upper_split_ = splitter(data_split_);
    lower_split_ = splitter(data_split_);
    review_ = new review_canvas(upper_split_);
    view3d_ = new view3d_canvas(upper_split_);
    // A click on a surface picks a point while the Thickness visual page is shown.
    view3d_->on_surface_click = [this](int object, const mesh_hit_t& hit) {
        auto* page = dynamic_cast<thickness_visual_page*>(visual_book_->GetCurrentPage());
        return page && page->pick(object, hit.point);
    };
    // The picked point stays marked, whichever page is shown, while its results last.
    view3d_->picked_point = [this]() -> std::optional<vertex3d> {
        for (std::size_t i = 0; i < visual_book_->GetPageCount(); ++i)
            if (const auto* page = dynamic_cast<const thickness_visual_page*>(visual_book_->GetPage(i)))
                return page->picked_position();
        return std::nullopt;
    };
    lower_centre_ = new reslice_canvas(lower_split_);
    lower_right_ = new reslice_canvas(lower_split_);
    reslices_->redraw = [this] {
        lower_centre_->invalidate();
        lower_right_->invalidate();
        view3d_->Refresh(false);
    };
    reslices_->repaint = [this] {
        lower_centre_->Refresh(false);
        lower_right_->Refresh(false);
    };
    upper_split_->SplitVertically(review_, view3d_);
    lower_split_->SplitVertically(lower_centre_, lower_right_);
    data_split_->SplitHorizontally(upper_split_, lower_split_);
    upper_split_->SetSashGravity(0.5);
    lower_split_->SetSashGravity(0.5);
    data_split_->SetSashGravity(0.6);

    slider_ = new wxSlider(data_panel_, ID_FRAME_SLIDER, 0, 0, 1);
    slider_->Disable();
    info_label_ = new wxStaticText(data_panel_, wxID_ANY, info_.update(0, 0));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(slider_, 1, wxEXPAND | wxALL, 2);
    row->Add(info_label_, 0, wxALIGN_CENTER_VERTICAL | wxALL, 4);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(data_split_, 1, wxEXPAND);
    column->Add(row, 0, wxEXPAND);
    data_panel_->SetSizer(column);

    Layout();  // the splitters learn their sizes before their sashes are placed
    layout_controls(0);
}

int MainFrame::control_column_width() const
{
    // As wide as the widest page wants, with room for the notebook's frame and
    // a vertical scroll bar, but never more than a third of the window.
    int widest = 0;
    for (const wxNotebook* book : {task_book_, visual_book_})
        for (std::size_t i = 0; i < book->GetPageCount(); ++i)
            if (wxSizer* sizer = book->GetPage(i)->GetSizer())
                widest = std::max(widest, sizer->GetMinSize().GetWidth());
    const int wanted = widest + 16 + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this);
    return std::clamp(wanted, min_pane_size, std::max(min_pane_size, GetClientSize().GetWidth() / 3));
}

void MainFrame::CreateTaskPages(wxNotebook* book)
{
    for (const page_t& p : task_pages) {
        if (p.id == ID_TASK_TEMPLATES) {
            templates_ = new template_page(book);
            book->AddPage(templates_, p.title);
        } else if (p.id == ID_TASK_RECORD) {
            record_ = new record_page(book);
            book->AddPage(record_, p.title);
        } else if (p.id == ID_TASK_SPINE) {
            book->AddPage(new spine_page(book), p.title);
        } else if (p.id == ID_TASK_LANDMARKS) {
            book->AddPage(new landmarks_page(book), p.title);
        } else if (p.id == ID_TASK_DRAW) {
            draw_ = new draw_page(book);
            book->AddPage(draw_, p.title);
        } else if (p.id == ID_TASK_CALIBRATE) {
            probe_calib_ = new probe_calib_page(book);
            book->AddPage(probe_calib_, p.title);
        } else if (p.id == ID_TASK_POINTER) {
            book->AddPage(new pointer_page(book), p.title);
        } else if (p.id == ID_TASK_POINT_CAL) {
            book->AddPage(new point_cal_page(book), p.title);
        } else if (p.id == ID_TASK_ISOCENTRE) {
            book->AddPage(new isocentre_task_page(book), p.title);
        } else if (p.id == ID_TASK_THICKNESS) {
            book->AddPage(new thickness_task_page(book), p.title);
        } else if (p.id == ID_TASK_PRESSURE) {
            book->AddPage(new pressure_task_page(book), p.title);
        } else if (p.id == ID_TASK_SSM) {
            book->AddPage(new shape_model_page(book), p.title);
        } else if (p.id == ID_TASK_SCRIPT) {
            book->AddPage(new script_page(book), p.title);
        } else {
            book->AddPage(new wxPanel(book), p.title);
        }
    }
    book->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [](wxBookCtrlEvent& e) {
        res->RES_CURRENT_TASK_PAGE->write(e.GetSelection());
        e.Skip();
    });
}

void MainFrame::CreateVisualPages(wxNotebook* book)
{
    for (const page_t& p : visual_pages) {
        if (p.id == ID_VISUAL_ORTHO)
            book->AddPage(new ortho_page(book, *reslices_), p.title);
        else if (p.id == ID_VISUAL_RESLICE)
            book->AddPage(new reslice_page(book, *reslices_), p.title);
        else if (p.id == ID_VISUAL_ISOCENTRE)
            book->AddPage(new isocentre_page(book, *reslices_), p.title);
        else if (p.id == ID_VISUAL_RFSCOPE)
            book->AddPage(new rfscope_page(book), p.title);
        else if (p.id == ID_VISUAL_PRESSURE)
            book->AddPage(new pressure_visual_page(book), p.title);
        else if (p.id == ID_VISUAL_THICKNESS)
            book->AddPage(new thickness_visual_page(book), p.title);
        else
            book->AddPage(new wxPanel(book), p.title);
    }
    book->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, [](wxBookCtrlEvent& e) {
        res->RES_CURRENT_VISUAL_PAGE->write(e.GetSelection());
        e.Skip();
    });
}

int MainFrame::task_page_index(int id)
{
    for (std::size_t i = 0; i < std::size(task_pages); ++i)
        if (task_pages[i].id == id)
            return int(i);
    return -1;
}

void MainFrame::OnTaskPage(wxCommandEvent& event)
{
    for (std::size_t i = 0; i < std::size(task_pages); ++i)
        if (task_pages[i].id == event.GetId() && task_book_->GetPage(i)->IsEnabled())
            task_book_->SetSelection(i);
}

void MainFrame::OnVisualPage(wxCommandEvent& event)
{
    for (std::size_t i = 0; i < std::size(visual_pages); ++i)
        if (visual_pages[i].id == event.GetId())
            visual_book_->SetSelection(i);
}

void MainFrame::register_procedures()
{
    changed_proc_ = std::make_unique<pmf_functor<MainFrame>>(this, &MainFrame::main_frame_changed);
    rate_proc_ = std::make_unique<pmf_functor<MainFrame>>(this, &MainFrame::VideoRateCounter);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_BUF_FRAMES, res->RES_RECORDING_NOW, res->RES_POS_REC,
                                                            res->RES_CURRENT_VISUAL_PAGE, res->RES_ALERT_STRING, res->RES_ALERT_COLOUR,
                                                            res->RES_VID_CARD_LIST, res->RES_POINTER_SOURCE,
                                                            res->RES_BUF_CURRENT_FRAME, res->RES_ASCII_FILENAME,
                                                            res->RES_BACKGROUND, res->RES_DISABLE_RECORDING})
        r->add_proc(changed_proc_.get());
    res->RES_VIDEO_RATE_COUNT_EVENT->add_proc(rate_proc_.get());
    rf_proc_ = std::make_unique<pmf_functor<MainFrame>>(this, &MainFrame::show_rf_state);
    res->RES_RFSCOPE_VIABLE->add_proc(rf_proc_.get());
    show_rf_state();
    live_proc_ = std::make_unique<pmf_functor<MainFrame>>(this, &MainFrame::LiveChanged);
    live_frame_proc_ = std::make_unique<pmf_functor<MainFrame>>(this, &MainFrame::LiveActivity);
    for (base_res_t* r : std::initializer_list<base_res_t*>{res->RES_TOGGLE_LIVE, res->RES_POS_REC,
                                                            res->RES_POSITION_SOURCE, res->RES_STOP_IMAGING})
        r->add_proc(live_proc_.get());
    main_frame_changed();
}

void MainFrame::unregister_procedures()
{
    // Deleting a functor unhooks it from every resource it worries about.
    changed_proc_.reset();
    rate_proc_.reset();
    rf_proc_.reset();
    live_proc_.reset();
    live_frame_proc_.reset();
    live_source_ = nullptr;
}

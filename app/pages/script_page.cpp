#include "script_page.h"

#include <wx/bookctrl.h>
#include <wx/button.h>
#include <wx/ffile.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>

#include "app/main_frame.h"
#include "page_controls.h"
#include "common/interaction.h"
#include "resources/resource_table.h"
#include "script/script.h"
#include "script/script_lexer.h"
#include "reconstruction/view_script_functions.h"
#include "resources/image_file.h"
#include "script/script_arguments.h"
#include "segmentation/density_calibration.h"
#include "surfaces/surface_script_functions.h"
#include "surfaces/surface_sections.h"
#include "views/view3d_canvas.h"
#include "surfaces/voxel_script_functions.h"
#include "thickness/thickness_script_functions.h"

namespace {

constexpr const char* script_wildcard = "Script files (*.txt)|*.txt|All files (*)|*";

script_function_table_t& gui_functions()
{
    static script_function_table_t& table = []() -> script_function_table_t& {
        script_function_table_t& t = script_functions();
        register_thickness_functions(t);
        register_voxel_functions(t);
        register_surface_functions(t);
        register_density_functions(t);
        register_view_functions(t, source_with_surfaces_from_session);
        // The 3D view is drawn by OpenGL: only the window can make its picture.
        t.register_function(
            "SAVE_3D",
            [](const std::vector<wxString>& args) {
                const wxString path = beside_recording(args.at(0));
                if (!main_win || !main_win->view3d() || !save_image_file(main_win->view3d()->grab(), path))
                    return script_result_t{false, "could not write " + path};
                return script_result_t{true, "Saved " + path};
            },
            true);
        t.set_display_available(true);
        return t;
    }();
    return table;
}

wxString script_folder()
{
    return res->RES_SCRIPT_FILENAME->value().GetPath();
}

}  // namespace

// Appends each line to the pane, warnings and errors in colour so they stand out in a long run.
class script_page::pane_sink_t : public script_sink_t {
public:
    explicit pane_sink_t(wxTextCtrl* pane) : pane_(pane) {}
    void write(const wxString& line, script_message_kind_t kind) override
    {
        const wxColour colour = kind == script_message_kind_t::error     ? *wxRED
                                : kind == script_message_kind_t::warning ? wxColour(200, 110, 0)
                                                                         : *wxBLACK;
        pane_->SetDefaultStyle(wxTextAttr(colour));
        pane_->AppendText(line + "\n");
        pane_->SetDefaultStyle(wxTextAttr(*wxBLACK));
        pane_->Update();  // a run holds the event loop; show each line as it comes
        if (debug_.IsOpened()) {
            debug_.Write(line + "\n");
            debug_.Flush();  // kept even if the program ends abruptly
        }
    }
    bool open_debug(const wxString& path)
    {
        debug_.Close();
        if (path.empty())
            return true;
        wxLogNull quiet;
        return debug_.Open(path, "wb");
    }

private:
    wxTextCtrl* pane_;
    wxFFile debug_;
};

script_page::script_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    editor = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(-1, 200), wxTE_MULTILINE | wxHSCROLL);
    editor->SetFont(wxFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE)));
    sizer->Add(editor, 2, wxEXPAND | wxALL, 4);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    run_button = new wxButton(this, wxID_ANY, "Run");
    open_button = new wxButton(this, wxID_ANY, "Open...");
    save_button = new wxButton(this, wxID_ANY, "Save");
    save_as_button = new wxButton(this, wxID_ANY, "Save as...");
    for (wxButton* b : {run_button, open_button, save_button, save_as_button})
        buttons->Add(b, 0, wxRIGHT, 4);
    sizer->Add(buttons, 0, wxLEFT | wxRIGHT, 4);

    messages = new wxTextCtrl(this, wxID_ANY, "", wxDefaultPosition, wxSize(-1, 150),
                              wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxHSCROLL);
    sizer->Add(messages, 1, wxEXPAND | wxALL, 4);
    scroll_when_squeezed(this, sizer);

    sink_ = std::make_unique<pane_sink_t>(messages);
    run_button->Bind(wxEVT_BUTTON, &script_page::OnRun, this);
    open_button->Bind(wxEVT_BUTTON, &script_page::OnOpen, this);
    save_button->Bind(wxEVT_BUTTON, &script_page::OnSave, this);
    save_as_button->Bind(wxEVT_BUTTON, &script_page::OnSaveAs, this);
}

script_page::~script_page() = default;

bool script_page::run()
{
    if (running_)
        return false;
    const wxString text = editor->GetValue();
    // The run closes the open recording before it opens the listed ones.
    if (script_opens_files(text) && main_win && !main_win->ignore_unsaved_changes())
        return false;
    if (!script_)
        script_ = std::make_unique<Script>(*sink_, gui_functions());
    running_ = true;
    run_button->Disable();
    messages->Clear();
    const bool ok = script_->Run(text, path_);
    run_button->Enable();
    running_ = false;
    return ok;
}

bool script_page::load(const wxString& path)
{
    wxFFile file;
    wxString text;
    {
        wxLogNull quiet;  // the message below says it plainly
        if (!file.Open(path, "rb") || !file.ReadAll(&text)) {
            wxLogError("Unable to read the script %s.", path);
            return false;
        }
    }
    editor->SetValue(text);
    path_ = path;
    res->RES_SCRIPT_FILENAME->write(wxFileName(path));
    return true;
}

bool script_page::set_debug_file(const wxString& path)
{
    if (sink_->open_debug(path))
        return true;
    wxLogError("Unable to write the debug file %s.", path);
    return false;
}

bool script_page::save(const wxString& path)
{
    wxFFile file;
    {
        wxLogNull quiet;
        if (!file.Open(path, "wb") || !file.Write(editor->GetValue()) || !file.Close()) {
            wxLogError("Unable to write the script %s.", path);
            return false;
        }
    }
    path_ = path;
    res->RES_SCRIPT_FILENAME->write(wxFileName(path));
    return true;
}

void script_page::OnRun(wxCommandEvent&)
{
    run();
}

void script_page::OnOpen(wxCommandEvent&)
{
    if (const auto choice = interaction().ask_file("Open script", script_wildcard, script_folder(), false))
        load(choice->path);
}

void script_page::OnSave(wxCommandEvent& event)
{
    if (path_.empty())
        OnSaveAs(event);
    else
        save(path_);
}

void script_page::OnSaveAs(wxCommandEvent&)
{
    if (const auto choice = interaction().ask_file("Save script as", script_wildcard, script_folder(), true))
        save(choice->path);
}

script_page* find_script_page(wxBookCtrlBase* book)
{
    for (std::size_t i = 0; book && i < book->GetPageCount(); ++i)
        if (auto* p = dynamic_cast<script_page*>(book->GetPage(i)))
            return p;
    return nullptr;
}

bool run_script_file(wxBookCtrlBase* book, const wxString& path)
{
    script_page* page = find_script_page(book);
    if (!page)
        return false;
    book->SetSelection(book->FindPage(page));
    wxFileName name(path);
    name.MakeAbsolute();  // relative names in the script are taken from its folder
    const wxFileName debug(name.GetPath(), "ks_debug", name.GetExt());
    res->RES_DEBUG_FILENAME->write(debug);
    page->set_debug_file(debug.GetFullPath());
    const bool ok = page->load(name.GetFullPath()) && page->run();
    page->set_debug_file("");
    return ok;
}

bool script_opens_files(const wxString& text)
{
    for (const wxString& line : split_script_lines(text)) {
        std::vector<wxString> words;
        wxString error;
        if (!lex_script_line(line, &words, &error) || words.empty())
            continue;
        if (words.front() == "close")
            return false;
        if (words.front() == "open")
            return true;
    }
    return false;
}

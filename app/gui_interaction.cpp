#include "gui_interaction.h"

#include <wx/app.h>
#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/choicdlg.h>
#include <wx/textdlg.h>

namespace {
wxWindow* parent()
{
    return wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
}
}  // namespace

void gui_interaction_t::progress_begin(const wxString& caption, const wxString& message, int maximum)
{
    progress_ = std::make_unique<wxProgressDialog>(caption, message, std::max(1, maximum), parent(),
                                                   wxPD_APP_MODAL | wxPD_AUTO_HIDE | wxPD_CAN_ABORT |
                                                       wxPD_ELAPSED_TIME | wxPD_ESTIMATED_TIME |
                                                       wxPD_REMAINING_TIME);
}

bool gui_interaction_t::progress_update(int value, const wxString& message)
{
    return !progress_ || progress_->Update(std::min(value, progress_->GetRange() - 1), message);
}

bool gui_interaction_t::progress_pulse(const wxString& message)
{
    return !progress_ || progress_->Pulse(message);
}

void gui_interaction_t::progress_end()
{
    progress_.reset();
}

answer_t gui_interaction_t::ask(const wxString& caption, const wxString& message, question_t kind, answer_t)
{
    const long style = kind == question_t::yes_no ? (wxYES_NO | wxICON_QUESTION) : (wxOK | wxCANCEL | wxICON_WARNING);
    const int answer = wxMessageBox(message, caption, style, parent());
    switch (answer) {
    case wxYES: return answer_t::yes;
    case wxNO: return answer_t::no;
    case wxOK: return answer_t::ok;
    default: return answer_t::cancel;
    }
}

void gui_interaction_t::inform(const wxString& caption, const wxString& message)
{
    wxMessageBox(message, caption, wxOK | wxICON_INFORMATION, parent());
}

std::optional<wxString> gui_interaction_t::ask_text(const wxString& caption, const wxString& message,
                                                    const wxString& initial, text_kind_t kind)
{
    if (kind == text_kind_t::secret) {
        wxPasswordEntryDialog dialog(parent(), message, caption, initial);
        if (dialog.ShowModal() != wxID_OK)
            return std::nullopt;
        return dialog.GetValue();
    }
    const long style = wxOK | wxCANCEL | (kind == text_kind_t::lines ? wxTE_MULTILINE : 0);
    wxTextEntryDialog dialog(parent(), message, caption, initial, style);
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return dialog.GetValue();
}

std::optional<file_choice_t> gui_interaction_t::ask_file(const wxString& caption, const wxString& wildcard,
                                                         const wxString& directory, bool save)
{
    wxFileDialog dialog(parent(), caption, directory, wxEmptyString, wildcard,
                        save ? (wxFD_SAVE | wxFD_OVERWRITE_PROMPT) : (wxFD_OPEN | wxFD_FILE_MUST_EXIST));
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return file_choice_t{dialog.GetPath(), dialog.GetFilterIndex()};
}

std::optional<wxString> gui_interaction_t::ask_directory(const wxString& caption, const wxString& directory)
{
    wxDirDialog dialog(parent(), caption, directory);
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return dialog.GetPath();
}

std::optional<int> gui_interaction_t::ask_choice(const wxString& caption, const wxString& message,
                                                 const std::vector<wxString>& choices)
{
    wxArrayString items;
    for (const wxString& c : choices)
        items.Add(c);
    wxSingleChoiceDialog dialog(parent(), message, caption, items);
    if (dialog.ShowModal() != wxID_OK)
        return std::nullopt;
    return dialog.GetSelection();
}

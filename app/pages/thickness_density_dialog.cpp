#include "thickness_density_dialog.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "common/interaction.h"
#include "display/plot_files.h"
#include "thickness/thickness_plots.h"
#include "views/plot_panel.h"

namespace {

constexpr int saved_width = 800, saved_height = 600;

}  // namespace

thickness_density_dialog::thickness_density_dialog(wxWindow* parent, const density_estimate_t& estimate,
                                                   const wxString& base)
    : wxDialog(parent, wxID_ANY, "Cortical density", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    const wxString plots[] = {"Cortical density", "Density distribution"};
    which = new wxChoice(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 2, plots);
    which->SetSelection(0);
    sizer->Add(which, 0, wxALL, 6);
    plot = new plot_panel_t(this);
    plot->SetMinSize(wxSize(480, 360));
    sizer->Add(plot, 1, wxEXPAND | wxLEFT | wxRIGHT, 6);
    status = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(status, 0, wxEXPAND | wxALL, 6);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    save = new wxButton(this, wxID_ANY, "Save");
    save_as = new wxButton(this, wxID_ANY, "Save as...");
    buttons->Add(save, 0, wxRIGHT, 4);
    buttons->Add(save_as, 0, wxRIGHT, 4);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CLOSE, "Close"));
    sizer->Add(buttons, 0, wxEXPAND | wxALL, 6);
    SetEscapeId(wxID_CLOSE);
    SetSizerAndFit(sizer);

    which->Bind(wxEVT_CHOICE, &thickness_density_dialog::OnPlotChosen, this);
    save->Bind(wxEVT_BUTTON, &thickness_density_dialog::OnSave, this);
    save_as->Bind(wxEVT_BUTTON, &thickness_density_dialog::OnSaveAs, this);
    // Modeless: closing destroys it, and the page's weak reference lets go.
    Bind(
        wxEVT_BUTTON, [this](wxCommandEvent&) { Destroy(); }, wxID_CLOSE);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { Destroy(); });
    show_estimate(estimate, base);
}

void thickness_density_dialog::show_estimate(const density_estimate_t& estimate, const wxString& base)
{
    estimate_ = estimate;
    base_ = base;
    status->SetLabel(estimate.ok ? estimate.text() : wxString("Cortical density estimation failed."));
    show_plot();
}

void thickness_density_dialog::show_plot()
{
    plot->set_plot(which->GetSelection() == 1 ? density_distribution_plot(estimate_)
                                              : cortical_density_plot(estimate_));
    plot->Refresh(false);
}

wxString thickness_density_dialog::default_path() const
{
    return base_ + (which->GetSelection() == 1 ? "_density_distribution.png" : "_density.png");
}

void thickness_density_dialog::OnPlotChosen(wxCommandEvent&)
{
    show_plot();
}

bool thickness_density_dialog::save_to(const wxString& path)
{
    const bool ok = save_plot_png(plot->plot(), path, saved_width, saved_height);
    status->SetLabel(ok ? "Saved " + path : "Could not save " + path);
    return ok;
}

void thickness_density_dialog::OnSave(wxCommandEvent&)
{
    const wxString path = default_path();
    if (wxFileName::FileExists(path) &&
        interaction().ask("Save density plot", "The file\n\n" + path + "\n\nalready exists. Overwrite?",
                          question_t::yes_no, answer_t::no) != answer_t::yes)
        return;
    save_to(path);
}

void thickness_density_dialog::OnSaveAs(wxCommandEvent&)
{
    const auto choice = interaction().ask_file("Save density plot", "PNG file (*.png)|*.png",
                                               wxFileName(default_path()).GetPath(), true);
    if (!choice)
        return;
    wxFileName path(choice->path);
    // save_plot_png writes PNG only, and wants the name to say so.
    if (path.GetExt().Lower() != "png")
        path.SetFullName(path.GetFullName() + ".png");
    save_to(path.GetFullPath());
}

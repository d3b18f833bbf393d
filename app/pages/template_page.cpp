#include "template_page.h"

#include <wx/button.h>
#include <wx/dir.h>
#include <wx/filename.h>
#include <wx/listbox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "common/interaction.h"
#include "page_controls.h"
#include "resources/recording_file.h"
#include "common/dynabuf.h"
#include "resources/resource_table.h"

template_page::template_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, "Template files available in folder:"), 0, wxALL, 4);
    list_ = new wxListBox(this, wxID_ANY);
    sizer->Add(list_, 1, wxEXPAND | wxLEFT | wxRIGHT, 4);
    auto* choose = new wxButton(this, wxID_ANY, "Choose template folder");
    sizer->Add(choose, 0, wxALL, 4);
    sizer->Add(new wxStaticText(this, wxID_ANY, "Template most recently loaded:"), 0, wxLEFT | wxTOP, 4);
    loaded_ = new wxStaticText(this, wxID_ANY, res->RES_TEMPLATE_FILENAME->value().GetFullName());
    sizer->Add(loaded_, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);

    list_->Bind(wxEVT_LISTBOX_DCLICK, &template_page::OnTemplateSelect, this);
    choose->Bind(wxEVT_BUTTON, &template_page::OnTemplateDirSelect, this);
    changed_ = std::make_unique<pmf_functor<template_page>>(this, &template_page::TemplateChanged);
    res->RES_TEMPLATE_FILENAME->read(changed_.get());
    TemplateChanged();
}

template_page::~template_page() = default;

void template_page::show_loaded(const wxString& name)
{
    loaded_->SetLabel(name);
}

void template_page::TemplateChanged()
{
    list_->Clear();
    wxArrayString names;
    const wxString dir = res->RES_TEMPLATE_FILENAME->value().GetPath();
    if (wxDir::Exists(dir))
        wxDir::GetAllFiles(dir, &names, "*.kst", wxDIR_FILES);
    names.Sort();
    for (const wxString& n : names)
        list_->Append(wxFileName(n).GetFullName());
}

void template_page::OnTemplateSelect(wxCommandEvent&)
{
    const int selected = list_->GetSelection();
    if (selected == wxNOT_FOUND)
        return;
    if (bufp->frames() > 0) {
        interaction().inform("Error", "You cannot load a template unless the recording buffer is empty");
        return;
    }
    const wxString name = list_->GetString(static_cast<unsigned>(selected));
    if (interaction().ask("Confirm", "Load template " + name + "?", question_t::ok_cancel, answer_t::cancel) !=
        answer_t::ok)
        return;
    const wxFileName file(res->RES_TEMPLATE_FILENAME->value().GetPath(), name);
    if (recording_io->try_read_template_file(file.GetFullPath()))
        show_loaded(name);
}

void template_page::OnTemplateDirSelect(wxCommandEvent&)
{
    const auto dir = interaction().ask_directory("Choose template folder", res->RES_TEMPLATE_FILENAME->value().GetPath());
    if (!dir || !wxDir::Exists(*dir))
        return;
    wxFileName name = res->RES_TEMPLATE_FILENAME->value();
    name.AssignDir(*dir);
    name.SetFullName(res->RES_TEMPLATE_FILENAME->value().GetFullName());
    res->RES_TEMPLATE_FILENAME->write(name);
}

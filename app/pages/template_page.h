// The Templates task page: the templates of a folder, loaded by selection.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxListBox;
class wxStaticText;

class template_page : public wxScrolledWindow {
public:
    explicit template_page(wxWindow* parent);
    ~template_page() override;

    void show_loaded(const wxString& name);
    wxListBox* list() const { return list_; }
    void TemplateChanged();
    void OnTemplateSelect(wxCommandEvent&);
    void OnTemplateDirSelect(wxCommandEvent&);

private:
    wxListBox* list_ = nullptr;
    wxStaticText* loaded_ = nullptr;
    std::unique_ptr<pmf_functor<template_page>> changed_;
};

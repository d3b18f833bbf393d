// The "Pressure" pages: the task page corrects a sweep's positions (and
// probe pressure) from the images and accepts or rejects the result; the
// visual page shows the pending correction in the recording or takes it out
// again, beside the orthogonal reslices across the sweep.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxStaticText;

class pressure_task_page : public wxScrolledWindow {
public:
    explicit pressure_task_page(wxWindow* parent);
    ~pressure_task_page() override;

    wxCheckBox* auto_correct = nullptr;
    wxChoice* sweep = nullptr;
    wxButton* correct = nullptr;
    wxButton* correct_pressure = nullptr;
    wxStaticText* movement = nullptr;
    wxButton* accept = nullptr;
    wxButton* reject = nullptr;

private:
    void PressureChanged();
    void run(bool pressure);
    void OnAccept(wxCommandEvent&);
    void OnReject(wxCommandEvent&);

    std::unique_ptr<pmf_functor<pressure_task_page>> changed_;
};

class pressure_visual_page : public wxScrolledWindow {
public:
    explicit pressure_visual_page(wxWindow* parent);
    ~pressure_visual_page() override;

    wxStaticText* status = nullptr;
    wxButton* apply = nullptr;
    wxButton* remove = nullptr;

private:
    void PressureChanged();

    std::unique_ptr<pmf_functor<pressure_visual_page>> changed_;
};

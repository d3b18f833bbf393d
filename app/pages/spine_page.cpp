#include "spine_page.h"

#include <wx/button.h>
#include <wx/listctrl.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "common/interaction.h"
#include "main_frame.h"
#include "page_controls.h"
#include "reslice_pages.h"
#include "resources/recording_data.h"
#include "resources/resource_table.h"
#include "surfaces/landmark_list.h"
#include "surfaces/landmark_session.h"
#include "surfaces/landmark_spine.h"

spine_page::spine_page(wxWindow* parent) : wxScrolledWindow(parent)
{
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, "Spine landmarks"), 0, wxALL, 4);
    vertebrae = new wxListCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(-1, 260), wxLC_REPORT);
    for (const char* heading : {"Vertebra", "Left Lamina", "Spinous Process", "Right Lamina", "Tilt (deg)"})
        vertebrae->AppendColumn(heading);
    for (int v = 0; v < spine::vertebra_count; ++v)
        vertebrae->InsertItem(v, spine::vertebra_names[static_cast<std::size_t>(v)]);
    sizer->Add(vertebrae, 1, wxEXPAND | wxALL, 4);
    const wxString modes[] = {"Left/right references", "Centre reference"};
    reference = new wxRadioBox(this, wxID_ANY, "Tilt measured from", wxDefaultPosition, wxDefaultSize, 2, modes, 1);
    sizer->Add(reference, 0, wxALL, 4);
    use_reslice = new wxButton(this, wxID_ANY, "Use reslice as reference");
    sizer->Add(use_reslice, 0, wxALL, 4);
    reference_status = new wxStaticText(this, wxID_ANY, "");
    cobb_status = new wxStaticText(this, wxID_ANY, "");
    sizer->Add(reference_status, 0, wxALL, 4);
    sizer->Add(cobb_status, 0, wxALL, 4);
    scroll_when_squeezed(this, sizer);

    use_reslice->Bind(wxEVT_BUTTON, &spine_page::OnUseReslice, this);
    reference->Bind(wxEVT_RADIOBOX, [this](wxCommandEvent&) { SpineChanged(); });
    // Two selected rows give the manual Cobb angle.
    vertebrae->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) {
        if (!refreshing_)
            SpineChanged();
    });
    vertebrae->Bind(wxEVT_LIST_ITEM_DESELECTED, [this](wxListEvent&) {
        if (!refreshing_)
            SpineChanged();
    });
    changed_ = std::make_unique<pmf_functor<spine_page>>(this, &spine_page::SpineChanged);
    res->RES_LANDMARKS->add_proc(changed_.get());
    SpineChanged();
}

spine_page::~spine_page() = default;

void spine_page::SpineChanged()
{
    refreshing_ = true;
    const landmarks marks = landmarks_from_session();
    std::vector<long> rows;
    for (long i = vertebrae->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
         i = vertebrae->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED))
        rows.push_back(i);
    std::optional<std::pair<int, int>> manual;
    if (rows.size() == 2)
        manual = std::pair{static_cast<int>(rows[0]), static_cast<int>(rows[1])};
    const spine_reference_mode mode =
        reference->GetSelection() == 1 ? spine_reference_mode::centre : spine_reference_mode::left_right;
    const spine_assessment_t a = assess_spine(marks, mode, manual);
    for (int v = 0; v < spine::vertebra_count; ++v) {
        for (int m = 0; m < spine::marks_per_vertebra; ++m)
            vertebrae->SetItem(v, 1 + m, find_spine(marks, v, m) ? "set" : "");
        const auto& tilt = a.tilt[static_cast<std::size_t>(v)];
        vertebrae->SetItem(v, 4, tilt ? wxString::Format("%.1f", *tilt) : wxString());
    }
    reference_status->SetLabel(a.reference_status);
    cobb_status->SetLabel(a.cobb_status);
    use_reslice->Enable(main_win && main_win->reslices().placed[0]);
    refreshing_ = false;
}

void spine_page::OnUseReslice(wxCommandEvent&)
{
    if (!main_win || !main_win->reslices().placed[0])
        return;
    landmarks marks = landmarks_from_session();
    if (has_spine_references(marks) &&
        interaction().ask("Create reference from reslice",
                          "You have already defined some reference landmarks.\nUsing the reslice as a reference will "
                          "delete these.\nDo you want to continue?",
                          question_t::yes_no, answer_t::no) != answer_t::yes)
        return;
    set_references_from_reslice(&marks, main_win->reslices().reslices[0].plane());
    landmarks_to_session(std::move(marks));
}

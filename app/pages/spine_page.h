// The Spine task page: the vertebrae with their three spine landmarks and
// tilts, the reference the tilts are measured from, and the Cobb angle,
// automatic or between two rows the user selects.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxButton;
class wxListCtrl;
class wxRadioBox;
class wxStaticText;

class spine_page : public wxScrolledWindow {
public:
    explicit spine_page(wxWindow* parent);
    ~spine_page() override;

    void SpineChanged();
    void OnUseReslice(wxCommandEvent&);

    wxListCtrl* vertebrae = nullptr;
    wxRadioBox* reference = nullptr;
    wxButton* use_reslice = nullptr;
    wxStaticText* reference_status = nullptr;
    wxStaticText* cobb_status = nullptr;

private:
    bool refreshing_ = false;
    std::unique_ptr<pmf_functor<spine_page>> changed_;
};

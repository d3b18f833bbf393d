// The Draw task page: the object list (name and colour; choose, rename),
// Clear, the outline and segmentation settings, and the statistics of the
// current object on the current frame. The statistics are measured once per
// change pass; the outlining itself is the review window's Draw tool.
#pragma once

#include <memory>

#include <wx/scrolwin.h>

#include "common/functor.h"

class wxButton;
class wxCheckBox;
class wxChoice;
class wxListCtrl;
class wxRadioBox;
class wxSpinCtrl;
class wxStaticText;
class wxListEvent;

class draw_page : public wxScrolledWindow {
public:
    explicit draw_page(wxWindow* parent);
    ~draw_page() override;

    void ObjectsChanged();   // list and statistics
    void SettingsChanged();  // controls from the resources

    void OnChooseObject(wxListEvent&);
    void OnRenameObject(wxListEvent&);
    void OnClear(wxCommandEvent&);
    void OnSegmentRegions(wxCommandEvent&);
    void OnSetting(wxCommandEvent&);
    void OnUpdateSurfaces(bool all);
    void OnSaveSurface(wxCommandEvent&);
    void OnCompoundData(wxCommandEvent&);  // colours the current object's surface with the data

    wxListCtrl* objects = nullptr;
    wxButton* clear = nullptr;
    wxCheckBox* segment_regions = nullptr;
    wxCheckBox* show_threshold = nullptr;  // the threshold colour map segmentation follows
    wxSpinCtrl* grey_lo = nullptr;
    wxSpinCtrl* grey_hi = nullptr;
    wxSpinCtrl* grey_barrier = nullptr;
    wxSpinCtrl* accuracy = nullptr;
    wxCheckBox* by_zoom = nullptr;
    wxSpinCtrl* jump = nullptr;
    wxRadioBox* holes = nullptr;
    wxCheckBox* connected = nullptr;
    wxCheckBox* ridges = nullptr;
    wxCheckBox* all_objects_3d = nullptr;
    wxCheckBox* outlines_only_3d = nullptr;
    wxChoice* view_3d = nullptr;  // RES_OUTLINE_VIEW_ANGLE
    wxSpinCtrl* frame_gap = nullptr;
    // Surface creation.
    wxChoice* resolution = nullptr;
    wxChoice* smoothing = nullptr;
    wxSpinCtrl* strength = nullptr;
    wxCheckBox* prioritise_objects = nullptr;
    wxCheckBox* prioritise_holes = nullptr;
    wxCheckBox* cover = nullptr;
    wxButton* update = nullptr;
    wxButton* update_all = nullptr;
    wxButton* save_surface = nullptr;
    wxSpinCtrl* compound_depth = nullptr;  // "Compounding depth (pixels):"
    wxRadioBox* compound_type = nullptr;   // "&Max", "M&in", "&Avg"
    wxButton* compound = nullptr;
    wxStaticText* area = nullptr;
    wxStaticText* perimeter = nullptr;
    wxStaticText* centre = nullptr;
    wxStaticText* volume = nullptr;
    wxStaticText* data = nullptr;

private:
    void fill_list(int length);
    bool refreshing_ = false;  // controls being set from the resources: their events write nothing
    bool list_filled_ = false;
    std::unique_ptr<pmf_functor<draw_page>> objects_changed_;
    std::unique_ptr<pmf_functor<draw_page>> settings_changed_;
};
